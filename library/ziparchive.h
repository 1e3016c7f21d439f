#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QString>

namespace Nod::Library {

// Read-only look into a zip file: the names of its entries and the bytes of small ones.
//
// The file is untrusted: every offset and size is checked against the file before it is used,
// the central directory and each entry read are bounded, and anything inconsistent ends the look
// with the archive treated as unreadable.
class ZipArchive final
{
public:
    explicit ZipArchive(const QString &path);
    Q_DISABLE_COPY_MOVE(ZipArchive)

    // Whether the central directory could be read.
    bool isValid() const { return m_valid; }
    // Names compare as the reading library compares them: ASCII case ignored.
    bool contains(const QString &name) const;
    // The entry's bytes, or a null array when it is missing, compressed by an unknown method,
    // damaged or larger than maxSize once expanded.
    QByteArray read(const QString &name, qint64 maxSize) const;

private:
    struct Entry
    {
        quint16 method = 0;
        quint32 crc = 0;
        quint64 compressedSize = 0;
        quint64 size = 0;
        quint64 localHeaderOffset = 0;
    };

    bool readDirectory();
    bool parseDirectory(const QByteArray &directory, quint64 entryCount);

    mutable QFile m_file;
    qint64 m_fileSize = 0;
    QHash<QByteArray, Entry> m_entries; // by lower-cased name
    bool m_valid = false;
};

} // namespace Nod::Library
