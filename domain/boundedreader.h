#pragma once

#include <QDataStream>
#include <QHash>
#include <QVariant>

class QBrush;
class QColor;
class QPen;

namespace Nod::Domain {

// Reads stored values from untrusted bytes. Qt's own container readers reserve whatever count the
// stream claims, so every count is checked against the bytes that are left before anything is
// allocated, and only the value types the stored encodings use are accepted. Every function returns
// false on truncated or malformed input and leaves the stream position unspecified.
class BoundedReader final
{
public:
    // Which QVariant types a record may hold.
    enum class Types {
        Scalars, // int, double
        Values, // the scalars, geometry, pen, brush and the domain's stream-encoded values
    };

    static qint64 remaining(QDataStream &stream);
    static bool has(QDataStream &stream, qint64 bytes);
    // Reads a quint32 count and checks that count elements of at least minElementSize bytes fit.
    static bool readCount(QDataStream &stream, quint32 &count, qint64 minElementSize);

    static bool readInt(QDataStream &stream, qint32 &value);
    static bool readDouble(QDataStream &stream, double &value);
    static bool readPoint(QDataStream &stream, QPointF &value);
    static bool readRect(QDataStream &stream, QRectF &value);
    static bool readColor(QDataStream &stream, QColor &value);
    static bool readPen(QDataStream &stream, QPen &value);
    static bool readBrush(QDataStream &stream, QBrush &value);
    static bool readVariant(QDataStream &stream, QVariant &value, Types types);
    // The int a stored number stands for: an int, or a finite double in int range, truncated. Qt's own
    // conversion of a NaN or huge double to int is undefined.
    static bool toInt(const QVariant &value, int &result);
    // A QHash<qint32, QVariant> as Qt streams it; pairs may come in any order, a later duplicate key wins.
    static bool readRecord(QDataStream &stream, QHash<qint32, QVariant> &record, Types types);

private:
    static bool skipColor(QDataStream &stream);
    static bool skipBrush(QDataStream &stream);
    static bool skipPen(QDataStream &stream);
};

// Brackets one value read the way Qt's own readers do: a stream that was already in error keeps that
// error; otherwise a failed read leaves the stream in error so that an enclosing reader stops too.
class StreamStatusGuard final
{
public:
    explicit StreamStatusGuard(QDataStream &stream);
    ~StreamStatusGuard();
    // Call with the result of the read; returns it.
    bool finish(bool ok);

private:
    QDataStream &m_stream;
    QDataStream::Status m_oldStatus;
    Q_DISABLE_COPY_MOVE(StreamStatusGuard)
};

// Every stored value is written and read at this stream version, so the bytes do not depend on the
// Qt release that runs the program.
constexpr int storedStreamVersion = QDataStream::Qt_5_12;

// Streams over a stored encoding, set to the stored version.
class StoredWriter final : public QDataStream
{
public:
    explicit StoredWriter(QByteArray *bytes)
        : QDataStream(bytes, QIODevice::WriteOnly)
    {
        setVersion(storedStreamVersion);
    }
};

class StoredReader final : public QDataStream
{
public:
    explicit StoredReader(const QByteArray &bytes)
        : QDataStream(bytes)
    {
        setVersion(storedStreamVersion);
    }
};

} // namespace Nod::Domain
