#include "databasecopy.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Nod::Infrastructure {

namespace {

QString nextConnectionName()
{
    static QAtomicInteger<int> counter;
    return QStringLiteral("nodera-copy-%1").arg(counter.fetchAndAddRelaxed(1));
}

// VACUUM INTO does not sync its output; without this a power cut right after the rename could
// leave a backup that looks complete but is not.
bool syncFile(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#else
    Q_UNUSED(path)
    return true;
#endif
}

bool fail(QString *error, const QString &text)
{
    qWarning() << "copyDatabaseConsistently:" << text;
    if (error) {
        *error = text;
    }
    return false;
}

// Runs `work` on a private connection to `path` and removes the connection afterwards.
template <typename Work> bool withConnection(const QString &path, bool readOnly, QString *error, Work work)
{
    const QString name = nextConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (readOnly) {
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
        if (!db.open()) {
            fail(error, QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text()));
        } else {
            ok = work(db);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

bool copyDatabaseConsistently(const QString &source, const QString &target, QString *error)
{
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile()) {
        return fail(error, QStringLiteral("source is not a file: %1").arg(source));
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.exists()) {
        return fail(error, QStringLiteral("target exists: %1").arg(target));
    }
    const QString targetPath = targetInfo.absoluteFilePath();
    const QString temporary = QDir(targetInfo.absolutePath())
                                  .filePath(QStringLiteral(".%1.copying-%2")
                                                .arg(targetInfo.fileName())
                                                .arg(QCoreApplication::applicationPid()));
    QFile::remove(temporary);

    const bool written = withConnection(source, false, error, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("VACUUM INTO ?"));
        query.addBindValue(QDir::toNativeSeparators(temporary));
        if (!query.exec()) {
            return fail(error, QStringLiteral("VACUUM INTO failed: %1").arg(query.lastError().text()));
        }
        return true;
    });
    if (!written) {
        QFile::remove(temporary);
        return false;
    }

    const bool sound = withConnection(temporary, true, error, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA integrity_check")) || !query.next()) {
            return fail(error, QStringLiteral("cannot check the copy: %1").arg(query.lastError().text()));
        }
        if (query.value(0).toString() != QLatin1String("ok")) {
            return fail(error,
                QStringLiteral("the copy fails the integrity check: %1").arg(query.value(0).toString()));
        }
        return true;
    });
    if (!sound || !syncFile(temporary)) {
        QFile::remove(temporary);
        return sound ? fail(error, QStringLiteral("cannot flush %1").arg(temporary)) : false;
    }

    // QFile::rename refuses an existing target, so a file that appeared meanwhile is kept.
    if (!QFile::rename(temporary, targetPath)) {
        QFile::remove(temporary);
        return fail(error, QStringLiteral("cannot rename the copy to %1").arg(targetPath));
    }
    syncFile(targetInfo.absolutePath());
    return true;
}

} // namespace Nod::Infrastructure
