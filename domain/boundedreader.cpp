#include "boundedreader.h"

#include "siderbarstate.h"
#include "textrects.h"
#include "viewsetting.h"

#include <QBrush>
#include <QColor>
#include <QIODevice>
#include <QLineF>
#include <QPen>
#include <QPolygonF>
#include <QRectF>

#include <cmath>
#include <limits>

namespace Nod::Domain {

namespace {

constexpr qint64 colorSize = 1 + 5 * 2; // spec, alpha, red, green, blue, pad
constexpr qint64 transformSize = 9 * 8;
constexpr qint64 variantHeaderSize = 4 + 1; // type id, null flag
constexpr quint32 maxTypeNameSize = 64;

bool skip(QDataStream &stream, qint64 bytes)
{
    return BoundedReader::has(stream, bytes) && stream.skipRawData(int(bytes)) == bytes;
}

bool readU8(QDataStream &stream, quint8 &value)
{
    if (!BoundedReader::has(stream, 1)) {
        return false;
    }
    stream >> value;
    return stream.status() == QDataStream::Ok;
}

bool readU16(QDataStream &stream, quint16 &value)
{
    if (!BoundedReader::has(stream, 2)) {
        return false;
    }
    stream >> value;
    return stream.status() == QDataStream::Ok;
}

bool readU32(QDataStream &stream, quint32 &value)
{
    if (!BoundedReader::has(stream, 4)) {
        return false;
    }
    stream >> value;
    return stream.status() == QDataStream::Ok;
}

// Runs Qt's reader for a value that was first walked by a skip function, which proved that every
// count it holds is backed by bytes; Qt must then end exactly where the walk ended.
template <typename T> bool readChecked(QDataStream &stream, T &value, bool (*walk)(QDataStream &))
{
    QIODevice *device = stream.device();
    if (!device || device->isSequential()) {
        return false;
    }
    const qint64 start = device->pos();
    if (!walk(stream) || stream.status() != QDataStream::Ok) {
        return false;
    }
    const qint64 end = device->pos();
    if (!device->seek(start)) {
        return false;
    }
    stream >> value;
    return stream.status() == QDataStream::Ok && device->pos() == end;
}

} // namespace

qint64 BoundedReader::remaining(QDataStream &stream)
{
    QIODevice *device = stream.device();
    return device ? device->bytesAvailable() : 0;
}

bool BoundedReader::has(QDataStream &stream, qint64 bytes)
{
    return stream.status() == QDataStream::Ok && bytes >= 0 && remaining(stream) >= bytes;
}

bool BoundedReader::readCount(QDataStream &stream, quint32 &count, qint64 minElementSize)
{
    if (!readU32(stream, count)) {
        return false;
    }
    return qint64(count) * minElementSize <= remaining(stream);
}

bool BoundedReader::readInt(QDataStream &stream, qint32 &value)
{
    if (!has(stream, 4)) {
        return false;
    }
    stream >> value;
    return stream.status() == QDataStream::Ok;
}

bool BoundedReader::readDouble(QDataStream &stream, double &value)
{
    if (!has(stream, 8)) {
        return false;
    }
    stream >> value;
    return stream.status() == QDataStream::Ok;
}

bool BoundedReader::readPoint(QDataStream &stream, QPointF &value)
{
    double x = 0;
    double y = 0;
    if (!readDouble(stream, x) || !readDouble(stream, y)) {
        return false;
    }
    value = QPointF(x, y);
    return true;
}

bool BoundedReader::readRect(QDataStream &stream, QRectF &value)
{
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
    if (!readDouble(stream, x) || !readDouble(stream, y) || !readDouble(stream, w)
        || !readDouble(stream, h)) {
        return false;
    }
    value = QRectF(x, y, w, h);
    return true;
}

bool BoundedReader::skipColor(QDataStream &stream)
{
    // An unknown colour spec would reach code paths in QColor that assume a valid one.
    quint8 spec = 0;
    if (!readU8(stream, spec) || spec > QColor::ExtendedRgb) {
        return false;
    }
    return skip(stream, colorSize - 1);
}

bool BoundedReader::skipBrush(QDataStream &stream)
{
    quint8 style = 0;
    if (!readU8(stream, style) || !skipColor(stream)) {
        return false;
    }
    if (style == Qt::LinearGradientPattern || style == Qt::RadialGradientPattern
        || style == Qt::ConicalGradientPattern) {
        quint32 type = 0;
        quint32 spread = 0;
        quint32 coordinateMode = 0;
        quint32 interpolationMode = 0;
        if (!readU32(stream, type) || !readU32(stream, spread) || !readU32(stream, coordinateMode)
            || !readU32(stream, interpolationMode)) {
            return false;
        }
        if (type > QGradient::ConicalGradient || spread > QGradient::RepeatSpread
            || coordinateMode > QGradient::ObjectMode
            || interpolationMode > QGradient::ComponentInterpolation) {
            return false;
        }
        quint32 stops = 0;
        if (!readCount(stream, stops, 8 + colorSize)) {
            return false;
        }
        for (quint32 i = 0; i < stops; ++i) {
            if (!skip(stream, 8) || !skipColor(stream)) {
                return false;
            }
        }
        const qint64 geometry = type == QGradient::LinearGradient ? 2 * 16 // start, final stop
            : type == QGradient::RadialGradient                   ? 2 * 16 + 8 // centre, focal point, radius
                                                                  : 16 + 8; // centre, angle
        if (!skip(stream, geometry)) {
            return false;
        }
    } else if (style > Qt::DiagCrossPattern) {
        // Texture brushes would make Qt decode an arbitrary image; the marks never use them.
        return false;
    }
    return skip(stream, transformSize);
}

bool BoundedReader::skipPen(QDataStream &stream)
{
    quint16 style = 0;
    if (!readU16(stream, style)) {
        return false;
    }
    const int penStyle = style & Qt::MPenStyle;
    const int capStyle = style & Qt::MPenCapStyle;
    const int joinStyle = style & Qt::MPenJoinStyle;
    if ((style & ~(Qt::MPenStyle | Qt::MPenCapStyle | Qt::MPenJoinStyle)) != 0
        || penStyle > Qt::CustomDashLine || capStyle > Qt::RoundCap || joinStyle > Qt::SvgMiterJoin) {
        return false;
    }
    if (!skip(stream, 1 + 8)) { // cosmetic, width
        return false;
    }
    if (!skipBrush(stream) || !skip(stream, 8)) { // miter limit
        return false;
    }
    quint32 dashes = 0;
    if (!readCount(stream, dashes, 8)) {
        return false;
    }
    return skip(stream, qint64(dashes) * 8 + 8 + 1); // dashes, dash offset, default width
}

bool BoundedReader::readColor(QDataStream &stream, QColor &value)
{
    return readChecked(stream, value, &BoundedReader::skipColor);
}

bool BoundedReader::readPen(QDataStream &stream, QPen &value)
{
    return readChecked(stream, value, &BoundedReader::skipPen);
}

bool BoundedReader::readBrush(QDataStream &stream, QBrush &value)
{
    return readChecked(stream, value, &BoundedReader::skipBrush);
}

bool BoundedReader::readVariant(QDataStream &stream, QVariant &value, Types types)
{
    value = QVariant();
    if (stream.version() < QDataStream::Qt_5_0) {
        return false; // older streams number the types differently
    }
    quint32 type = 0;
    quint8 isNull = 0;
    if (!readU32(stream, type) || !readU8(stream, isNull)) {
        return false;
    }
    switch (type) {
    case QMetaType::UnknownType:
        return true;
    case QMetaType::Int: {
        qint32 v = 0;
        if (!readInt(stream, v)) {
            return false;
        }
        value = QVariant(v);
        return true;
    }
    case QMetaType::Double: {
        double v = 0;
        if (!readDouble(stream, v)) {
            return false;
        }
        value = QVariant(v);
        return true;
    }
    default:
        break;
    }
    if (types == Types::Scalars) {
        return false;
    }
    switch (type) {
    case QMetaType::QPointF: {
        QPointF v;
        if (!readPoint(stream, v)) {
            return false;
        }
        value = QVariant(v);
        return true;
    }
    case QMetaType::QRectF: {
        QRectF v;
        if (!readRect(stream, v)) {
            return false;
        }
        value = QVariant(v);
        return true;
    }
    case QMetaType::QLineF: {
        QPointF p1;
        QPointF p2;
        if (!readPoint(stream, p1) || !readPoint(stream, p2)) {
            return false;
        }
        value = QVariant(QLineF(p1, p2));
        return true;
    }
    case QMetaType::QPolygonF: {
        quint32 count = 0;
        if (!readCount(stream, count, 16)) {
            return false;
        }
        QPolygonF polygon;
        polygon.reserve(int(count));
        for (quint32 i = 0; i < count; ++i) {
            QPointF p;
            if (!readPoint(stream, p)) {
                return false;
            }
            polygon.append(p);
        }
        value = QVariant(polygon);
        return true;
    }
    case QMetaType::QPen: {
        QPen pen;
        if (!readPen(stream, pen)) {
            return false;
        }
        value = QVariant(pen);
        return true;
    }
    case QMetaType::QBrush: {
        QBrush brush;
        if (!readBrush(stream, brush)) {
            return false;
        }
        value = QVariant(brush);
        return true;
    }
    case QMetaType::User:
        break;
    default:
        return false;
    }

    quint32 nameSize = 0;
    if (!readU32(stream, nameSize) || nameSize == 0 || nameSize > maxTypeNameSize || !has(stream, nameSize)) {
        return false;
    }
    QByteArray name(int(nameSize), Qt::Uninitialized);
    if (stream.readRawData(name.data(), int(nameSize)) != int(nameSize) || !name.endsWith('\0')) {
        return false;
    }
    name.chop(1);
    if (name == "Nod::Domain::TextRects") {
        TextRects rects;
        if (!TextRects::read(stream, rects)) {
            return false;
        }
        value = QVariant::fromValue(rects);
        return true;
    }
    if (name == "Nod::Domain::ViewSetting") {
        ViewSetting setting;
        if (!ViewSetting::read(stream, setting)) {
            return false;
        }
        value = QVariant::fromValue(setting);
        return true;
    }
    if (name == "Nod::Domain::SiderBarState") {
        SiderBarState state;
        if (!SiderBarState::read(stream, state)) {
            return false;
        }
        value = QVariant::fromValue(state);
        return true;
    }
    return false;
}

bool BoundedReader::toInt(const QVariant &value, int &result)
{
    if (value.userType() == QMetaType::Int) {
        result = value.toInt();
        return true;
    }
    if (value.userType() == QMetaType::Double) {
        const double d = value.toDouble();
        if (std::isfinite(d) && d > double(std::numeric_limits<int>::min()) - 1.0
            && d < double(std::numeric_limits<int>::max()) + 1.0) {
            result = int(d);
            return true;
        }
    }
    return false;
}

bool BoundedReader::readRecord(QDataStream &stream, QHash<qint32, QVariant> &record, Types types)
{
    record.clear();
    quint32 count = 0;
    if (!readCount(stream, count, 4 + variantHeaderSize)) {
        return false;
    }
    for (quint32 i = 0; i < count; ++i) {
        qint32 key = 0;
        QVariant value;
        if (!readInt(stream, key) || !readVariant(stream, value, types)) {
            record.clear();
            return false;
        }
        record.insert(key, value);
    }
    return true;
}

StreamStatusGuard::StreamStatusGuard(QDataStream &stream)
    : m_stream(stream)
    , m_oldStatus(stream.status())
{
    m_stream.resetStatus();
}

StreamStatusGuard::~StreamStatusGuard()
{
    if (m_oldStatus != QDataStream::Ok) {
        m_stream.resetStatus();
        m_stream.setStatus(m_oldStatus);
    }
}

bool StreamStatusGuard::finish(bool ok)
{
    if (!ok && m_stream.status() == QDataStream::Ok) {
        m_stream.setStatus(QDataStream::ReadCorruptData);
    }
    return ok;
}

} // namespace Nod::Domain
