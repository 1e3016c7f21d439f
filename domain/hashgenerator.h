#pragma once

#include <QObject>
#include <QString>

namespace Nod::Domain {

// Computes a document's content fingerprint: the MD5 of the file's bytes as 32 lowercase hex digits.
// Objects hold no state between calls and may be used on any thread, one object per thread.
class HashGenerator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HashGenerator)

public:
    explicit HashGenerator(QObject *parent = nullptr);

    // Empty when the file cannot be opened or read to its end.
    QString generate(const QString &path);

    static constexpr qint64 chunkSize = 8 * 1024 * 1024;

signals:
    // After each chunk, with the total number of bytes read so far.
    void progressChanged(qint64 bytesRead);
};

} // namespace Nod::Domain
