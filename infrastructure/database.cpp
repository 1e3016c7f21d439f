#include "database.h"

#include "databaseexception.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace Nod::Infrastructure {

namespace {

constexpr int SlowQueryMs = 99;

// SQLite result codes that mean the bytes are not a usable database, as opposed to a file that
// cannot be reached at all.
bool isCorruptionCode(const QString &nativeCode)
{
    const int code = nativeCode.toInt() & 0xff;
    return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
}

} // namespace

void Database::close()
{
    const QString name = QString::fromLatin1(QSqlDatabase::defaultConnection);
    if (!QSqlDatabase::contains(name)) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool Database::open(const QString &path)
{
    m_lastErrorKind = None;
    close();

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(path);
    if (!db.open()) {
        qWarning() << "Open database FAILDED. error code:" << db.lastError().text() << ", file:" << path;
        m_lastErrorKind = OpenFailed;
        db = QSqlDatabase();
        close();
        return false;
    }

    // SQLite opens lazily: a file that is not a database, or that cannot be read, only shows up
    // on the first statement. A check that cannot run is therefore a failure, never a pass.
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        const QSqlError error = check.lastError();
        if (isCorruptionCode(error.nativeErrorCode())) {
            qWarning() << "Quick check database FAILDED. error code:" << error.text();
            m_lastErrorKind = Corrupted;
        } else {
            qWarning() << "Open database FAILDED. error code:" << error.text() << ", file:" << path;
            m_lastErrorKind = OpenFailed;
        }
        check = QSqlQuery();
        db = QSqlDatabase();
        close();
        return false;
    }
    if (check.next() && check.value(0).toString() != QLatin1String("ok")) {
        qWarning() << "Quick check database FAILDED. error code:" << check.value(0).toString();
        m_lastErrorKind = Corrupted;
        check = QSqlQuery();
        db = QSqlDatabase();
        close();
        return false;
    }
    check.finish();

    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA synchronous = EXTRA"));
    pragma.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON"));

    qInfo() << "Open database SUCCESSED, file:" << path;
    return true;
}

bool execQuery(QSqlQuery &query)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = query.exec();
    const qint64 elapsed = timer.elapsed();
    if (elapsed > SlowQueryMs) {
        qInfo() << query.executedQuery() << "elapsed:" << elapsed << " ms";
    }
    if (ok) {
        return true;
    }
    qWarning() << query.lastError() << query.executedQuery();
    throw DatabaseException(query.lastError(), query.executedQuery());
}

QString writeProblem()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.isOpen()) {
        return QStringLiteral("the database is not open");
    }
    if (!db.transaction()) {
        return db.lastError().text();
    }
    QString problem;
    {
        QSqlQuery probe;
        if (!probe.exec(QStringLiteral("CREATE TABLE nodera_write_probe (x INTEGER)"))) {
            problem = probe.lastError().text();
        }
    }
    db.rollback();
    return problem;
}

QSet<QString> tableColumns(const QString &table)
{
    const QSqlRecord record = QSqlDatabase::database().record(table);
    QSet<QString> names;
    for (int i = 0; i < record.count(); ++i) {
        names.insert(record.fieldName(i));
    }
    return names;
}

} // namespace Nod::Infrastructure
