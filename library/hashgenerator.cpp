#include "hashgenerator.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>

#include <memory>

namespace Nod::Library {

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
    const std::unique_ptr<char[]> buffer(new char[chunkSize]);
    qint64 total = 0;
    while (!file.atEnd()) {
        const qint64 read = file.read(buffer.get(), chunkSize);
        if (read < 0) {
            // A digest of part of the file would name a different document.
            qWarning() << "HashGenerator::generate"
                       << "can't read file: " << path << file.errorString();
            return QString();
        }
        if (read == 0) {
            break;
        }
        hash.addData(buffer.get(), int(read));
        total += read;
        emit progressChanged(total);
    }
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace Nod::Library
