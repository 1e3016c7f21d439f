#include "filehashes.h"

#include "sqlhelpers.h"

#include <domain/hashgenerator.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QFuture>
#include <QFutureWatcher>
#include <QtConcurrent>

namespace Nod::Infrastructure {

QHash<int, QString> hashFilesInParallel(const QVector<DocumentFile> &files)
{
    std::function<QPair<int, QString>(const DocumentFile &)> hashOne = [](const DocumentFile &file) {
        if (!QFileInfo(file.path).isFile()) {
            return qMakePair(file.id, QString());
        }
        Domain::HashGenerator generator;
        return qMakePair(file.id, generator.generate(file.path));
    };
    QFuture<QPair<int, QString>> future = QtConcurrent::mapped(files, hashOne);
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QFutureWatcher<QPair<int, QString>> watcher;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished()) {
            loop.exec();
        }
    }
    future.waitForFinished();

    QHash<int, QString> hashes;
    for (const auto &result : future.results()) {
        hashes.insert(result.first, result.second);
    }
    return hashes;
}

void updateAllDocumentHashes()
{
    QVector<DocumentFile> files;
    QSqlQuery rows = run(QStringLiteral("SELECT id, localUrl FROM documents"));
    while (rows.next()) {
        files << DocumentFile { rows.value(0).toInt(), rows.value(1).toString() };
    }
    const QHash<int, QString> hashes = hashFilesInParallel(files);
    for (const DocumentFile &file : qAsConst(files)) {
        run(QStringLiteral(" UPDATE documents  SET hash = ?  WHERE id = ? "),
            { hashes.value(file.id, QStringLiteral("")), file.id });
    }
}

} // namespace Nod::Infrastructure
