#include "hashgenerator.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>

#include <memory>

namespace Nod::Domain {

HashGenerator::HashGenerator(QObject *parent)
    : QObject(parent)
{ }

QString HashGenerator::generate(const QString &path)
{
    QFile file(path);
    // Unbuffered: the chunks go straight from the file into our buffer. An empty path is refused here,
    // so that the failure is one line in the log rather than QFile's own complaint as well.
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qWarning() << "HashGenerator::generate"
                   << "can't open file: " << path;
        return QString();
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    // Progress goes by chunks, but the file is read in slices that stay in the processor's cache
    // between the read and the digest: a whole chunk would pass through memory twice.
    constexpr qint64 sliceSize = 256 * 1024;
    const std::unique_ptr<char[]> buffer(new char[sliceSize]);
    qint64 total = 0;
    qint64 inChunk = 0;
    while (true) {
        const qint64 read = file.read(buffer.get(), sliceSize);
        if (read < 0) {
            // A digest of part of the file would name a different document.
            qWarning() << "HashGenerator::generate"
                       << "can't read file: " << path << file.errorString();
            return QString();
        }
        if (read > 0) {
            hash.addData(buffer.get(), int(read));
            total += read;
            inChunk += read;
        }
        const bool atEnd = read == 0 || file.atEnd();
        if (inChunk > 0 && (inChunk >= chunkSize || atEnd)) {
            emit progressChanged(total);
            inChunk = 0;
        }
        if (atEnd) {
            break;
        }
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace Nod::Domain
