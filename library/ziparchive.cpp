#include "ziparchive.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace Nod::Library {

namespace {

constexpr quint32 EndOfDirectorySignature = 0x06054b50u;
constexpr quint32 Zip64LocatorSignature = 0x07064b50u;
constexpr quint32 Zip64EndOfDirectorySignature = 0x06064b50u;
constexpr quint32 DirectoryEntrySignature = 0x02014b50u;
constexpr quint32 LocalHeaderSignature = 0x04034b50u;
constexpr int EndOfDirectorySize = 22;
constexpr int Zip64LocatorSize = 20;
constexpr int Zip64EndOfDirectorySize = 56;
constexpr int DirectoryEntrySize = 46;
constexpr int LocalHeaderSize = 30;
constexpr int MaxCommentSize = 0xffff;
// Far beyond any document's table of contents, small enough to hold in memory at once.
constexpr quint64 MaxDirectorySize = 64u << 20;

constexpr quint16 Stored = 0;
constexpr quint16 Deflated = 8;

quint16 le16(const QByteArray &data, qint64 at)
{
    const auto *p = reinterpret_cast<const uchar *>(data.constData() + at);
    return quint16(p[0] | (p[1] << 8));
}

quint32 le32(const QByteArray &data, qint64 at)
{
    return quint32(le16(data, at)) | (quint32(le16(data, at + 2)) << 16);
}

quint64 le64(const QByteArray &data, qint64 at)
{
    return quint64(le32(data, at)) | (quint64(le32(data, at + 4)) << 32);
}

// Lower-cases ASCII letters only, so that no byte of a UTF-8 sequence changes.
QByteArray foldCase(QByteArray name)
{
    for (char &c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return name;
}

// Raw deflate data expanded into at most maxSize bytes; ok is false when it is damaged or larger.
QByteArray inflateRaw(const QByteArray &compressed, qint64 maxSize, bool *ok)
{
    *ok = false;
    z_stream stream {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return {};
    }
    QByteArray out;
    char buffer[16384];
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        // Stops with an error once the input runs out before the end of the stream.
        status = inflate(&stream, Z_NO_FLUSH);
        const qint64 produced = qint64(sizeof buffer - stream.avail_out);
        if (status != Z_OK && status != Z_STREAM_END) {
            break;
        }
        if (out.size() + produced > maxSize) {
            status = Z_DATA_ERROR;
            break;
        }
        out.append(buffer, int(produced));
    }
    inflateEnd(&stream);
    *ok = status == Z_STREAM_END;
    return out;
}

} // namespace

ZipArchive::ZipArchive(const QString &path)
    : m_file(path)
{
    if (m_file.open(QIODevice::ReadOnly)) {
        m_fileSize = m_file.size();
        m_valid = readDirectory();
    }
    if (!m_valid) {
        m_entries.clear();
        m_file.close();
    }
}

bool ZipArchive::readDirectory()
{
    // The end record sits in the last 22 bytes plus a comment of at most 64 KiB.
    const qint64 tailSize = std::min<qint64>(m_fileSize, EndOfDirectorySize + MaxCommentSize);
    if (tailSize < EndOfDirectorySize || !m_file.seek(m_fileSize - tailSize)) {
        return false;
    }
    const QByteArray tail = m_file.read(tailSize);
    if (tail.size() != tailSize) {
        return false;
    }
    qint64 end = -1;
    for (qint64 at = tailSize - EndOfDirectorySize; at >= 0; --at) {
        if (le32(tail, at) == EndOfDirectorySignature) {
            end = at;
            break;
        }
    }
    if (end < 0) {
        return false;
    }
    const qint64 endOffset = m_fileSize - tailSize + end;
    quint64 entryCount = le16(tail, end + 10);
    quint64 directorySize = le32(tail, end + 12);
    quint64 directoryOffset = le32(tail, end + 16);

    const bool zip64 = entryCount == 0xffff || directorySize == 0xffffffffu || directoryOffset == 0xffffffffu;
    // Zip64: the real figures are in a record that a locator just before the end record names. An
    // archive of exactly 65535 entries has no locator and means what it says.
    if (zip64 && end >= Zip64LocatorSize && le32(tail, end - Zip64LocatorSize) == Zip64LocatorSignature) {
        const quint64 recordOffset = le64(tail, end - Zip64LocatorSize + 8);
        if (recordOffset > quint64(endOffset) || quint64(endOffset) - recordOffset < Zip64EndOfDirectorySize
            || !m_file.seek(qint64(recordOffset))) {
            return false;
        }
        const QByteArray record = m_file.read(Zip64EndOfDirectorySize);
        if (record.size() != Zip64EndOfDirectorySize || le32(record, 0) != Zip64EndOfDirectorySignature) {
            return false;
        }
        entryCount = le64(record, 32);
        directorySize = le64(record, 40);
        directoryOffset = le64(record, 48);
    }

    if (directorySize > MaxDirectorySize || directoryOffset > quint64(endOffset)
        || directorySize > quint64(endOffset) - directoryOffset
        || entryCount > directorySize / DirectoryEntrySize || !m_file.seek(qint64(directoryOffset))) {
        return false;
    }
    const QByteArray directory = m_file.read(qint64(directorySize));
    return directory.size() == qint64(directorySize) && parseDirectory(directory, entryCount);
}

bool ZipArchive::parseDirectory(const QByteArray &directory, quint64 entryCount)
{
    const qint64 size = directory.size();
    qint64 at = 0;
    for (quint64 i = 0; i < entryCount; ++i) {
        if (size - at < DirectoryEntrySize || le32(directory, at) != DirectoryEntrySignature) {
            return false;
        }
        Entry entry;
        entry.method = le16(directory, at + 10);
        entry.crc = le32(directory, at + 16);
        entry.compressedSize = le32(directory, at + 20);
        entry.size = le32(directory, at + 24);
        const int nameLength = le16(directory, at + 28);
        const int extraLength = le16(directory, at + 30);
        const int commentLength = le16(directory, at + 32);
        entry.localHeaderOffset = le32(directory, at + 42);
        const qint64 next = at + DirectoryEntrySize + nameLength + extraLength + commentLength;
        if (next > size) {
            return false;
        }
        const QByteArray name = directory.mid(at + DirectoryEntrySize, nameLength);

        // Sizes and offset too large for their fields are in the Zip64 extra block, in this order.
        qint64 extra = at + DirectoryEntrySize + nameLength;
        const qint64 extraEnd = extra + extraLength;
        while (extraEnd - extra >= 4) {
            const quint16 id = le16(directory, extra);
            const quint16 length = le16(directory, extra + 2);
            const qint64 dataEnd = extra + 4 + length;
            if (dataEnd > extraEnd) {
                return false;
            }
            if (id == 0x0001) {
                qint64 field = extra + 4;
                for (quint64 *value : { &entry.size, &entry.compressedSize, &entry.localHeaderOffset }) {
                    if (*value == 0xffffffffu) {
                        if (dataEnd - field < 8) {
                            return false;
                        }
                        *value = le64(directory, field);
                        field += 8;
                    }
                }
            }
            extra = dataEnd;
        }
        if (entry.localHeaderOffset >= quint64(m_fileSize)) {
            return false;
        }
        const QByteArray key = foldCase(name);
        if (!m_entries.contains(key)) { // the reading library finds the first of duplicates
            m_entries.insert(key, entry);
        }
        at = next;
    }
    return true;
}

bool ZipArchive::contains(const QString &name) const { return m_entries.contains(foldCase(name.toUtf8())); }

QByteArray ZipArchive::read(const QString &name, qint64 maxSize) const
{
    const auto it = m_entries.constFind(foldCase(name.toUtf8()));
    if (!m_valid || it == m_entries.constEnd() || maxSize < 0 || it->size > quint64(maxSize)) {
        return {};
    }
    const Entry &entry = *it;
    if (entry.method != Stored && entry.method != Deflated) {
        return {};
    }
    // Deflate can grow incompressible data a little; anything beyond that is not this entry.
    const quint64 compressedLimit = entry.method == Stored ? entry.size : entry.size + entry.size / 8 + 1024;
    if ((entry.method == Stored && entry.compressedSize != entry.size)
        || entry.compressedSize > compressedLimit || !m_file.seek(qint64(entry.localHeaderOffset))) {
        return {};
    }
    const QByteArray header = m_file.read(LocalHeaderSize);
    if (header.size() != LocalHeaderSize || le32(header, 0) != LocalHeaderSignature) {
        return {};
    }
    const quint64 dataOffset
        = entry.localHeaderOffset + LocalHeaderSize + le16(header, 26) + le16(header, 28);
    if (dataOffset > quint64(m_fileSize) || entry.compressedSize > quint64(m_fileSize) - dataOffset
        || !m_file.seek(qint64(dataOffset))) {
        return {};
    }
    const QByteArray raw = m_file.read(qint64(entry.compressedSize));
    if (raw.size() != qint64(entry.compressedSize)) {
        return {};
    }
    bool expanded = true;
    QByteArray data = raw;
    if (entry.method == Deflated) {
        data = inflateRaw(raw, qint64(entry.size), &expanded);
    }
    if (!expanded || quint64(data.size()) != entry.size) {
        return {};
    }
    const uLong crc
        = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
    if (crc != entry.crc) {
        return {};
    }
    return data.isNull() ? QByteArray("") : data;
}

} // namespace Nod::Library
