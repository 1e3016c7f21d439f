#include "database.h"

#include "databaseexception.h"

#include <QAtomicInt>
#include <QDebug>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextCodec>
#include <QThread>

#include <sqlite3.h>

namespace Nod::Infrastructure {

namespace {

constexpr int SlowQueryMs = 99;

QAtomicInt s_readerCounter;

// SQLite result codes that mean the bytes are not a usable database, as opposed to a file that
// cannot be reached at all.
bool isCorruptionCode(const QString &nativeCode)
{
    const int code = nativeCode.toInt() & 0xff;
    return code == 11 /* SQLITE_CORRUPT */ || code == 26 /* SQLITE_NOTADB */;
}

// The connection's own SQLite handle, or none under another driver.
sqlite3 *sqliteHandle()
{
    const QSqlDatabase db = QSqlDatabase::database();
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// How many of the bytes form whole UTF-8 characters.
int wholeUtf8(const QByteArray &bytes)
{
    int lead = bytes.size() - 1;
    while (lead >= 0 && bytes.size() - lead < 4 && (uchar(bytes.at(lead)) & 0xc0) == 0x80) {
        --lead;
    }
    if (lead < 0) {
        return bytes.size();
    }
    const uchar first = uchar(bytes.at(lead));
    const int length = first < 0x80 ? 1 : (first & 0xe0) == 0xc0 ? 2 : (first & 0xf0) == 0xe0 ? 3 : 4;
    return bytes.size() - lead < length ? lead : bytes.size();
}

QString decodeText(const QByteArray &bytes, const QString &encoding, bool cut)
{
    if (!encoding.startsWith(QLatin1String("UTF-16"), Qt::CaseInsensitive)) {
        return QString::fromUtf8(bytes.constData(), cut ? wholeUtf8(bytes) : bytes.size());
    }
    const bool little = encoding.endsWith(QLatin1String("le"), Qt::CaseInsensitive);
    QTextCodec *codec = QTextCodec::codecForName(little ? "UTF-16LE" : "UTF-16BE");
    QString text = codec->toUnicode(bytes.constData(), bytes.size() & ~1);
    if (cut && !text.isEmpty() && QChar(text.back()).isHighSurrogate()) {
        text.chop(1);
    }
    return text;
}

QString databaseEncoding()
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("PRAGMA encoding"));
    execQuery(query);
    return query.next() ? query.value(0).toString() : QStringLiteral("UTF-8");
}

// The same through the driver, which reads the whole cell; for cells that are not text or blobs.
std::optional<Domain::TextBeginning> selectTextBeginning(
    const QString &table, const QString &column, qint64 rowId, qint64 wholeUpTo, int beginningBytes)
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(column, table));
    query.addBindValue(rowId);
    execQuery(query);
    if (!query.next()) {
        return std::nullopt;
    }
    Domain::TextBeginning result;
    result.text = query.value(0).toString();
    const QByteArray bytes = result.text.toUtf8();
    result.storedBytes = bytes.size();
    result.whole = result.storedBytes <= wholeUpTo;
    if (!result.whole) {
        result.text = decodeText(bytes.left(beginningBytes), QStringLiteral("UTF-8"), true);
    }
    return result;
}

} // namespace

std::optional<Domain::TextBeginning> readTextBeginning(
    const QString &table, const QString &column, qint64 rowId, qint64 wholeUpTo, int beginningBytes)
{
    sqlite3 *db = sqliteHandle();
    sqlite3_blob *blob = nullptr;
    if (!db
        || sqlite3_blob_open(
               db, "main", table.toUtf8().constData(), column.toUtf8().constData(), rowId, 0, &blob)
            != SQLITE_OK) {
        // A null or numeric cell, or no such row.
        sqlite3_blob_close(blob);
        return selectTextBeginning(table, column, rowId, wholeUpTo, beginningBytes);
    }
    Domain::TextBeginning result;
    result.storedBytes = sqlite3_blob_bytes(blob);
    result.whole = result.storedBytes <= wholeUpTo;
    QByteArray bytes(
        int(result.whole ? result.storedBytes : qMin<qint64>(result.storedBytes, beginningBytes)),
        Qt::Uninitialized);
    const int status = sqlite3_blob_read(blob, bytes.data(), bytes.size(), 0);
    sqlite3_blob_close(blob);
    if (status != SQLITE_OK) {
        const QString detail = QStringLiteral("read %1.%2 of row %3").arg(table, column).arg(rowId);
        const QSqlError error(QString(), QString::fromUtf8(sqlite3_errstr(status)), QSqlError::StatementError,
            QString::number(status));
        qWarning() << error << detail;
        throw DatabaseException(error, detail);
    }
    result.text = decodeText(bytes, databaseEncoding(), !result.whole);
    return result;
}

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

bool execScript(const QString &statements, QString *error)
{
    sqlite3 *db = sqliteHandle();
    if (!db) {
        if (error) {
            *error = QStringLiteral("no open SQLite connection");
        }
        return false;
    }
    char *message = nullptr;
    if (sqlite3_exec(db, statements.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK) {
        return true;
    }
    if (error) {
        *error = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
    }
    sqlite3_free(message);
    return false;
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

QString databaseFile()
{
    const QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
    const QString file = db.isValid() ? db.databaseName() : QString();
    return file == QLatin1String(":memory:") ? QString() : file;
}

QHash<qint64, QString> readTexts(
    const QString &file, const QString &table, const QString &column, const QVector<qint64> &rowIds)
{
    QHash<qint64, QString> texts;
    if (rowIds.isEmpty()) {
        return texts;
    }
    // One name per thread and call: connections may only be used on the thread that made them.
    const QString name = QStringLiteral("nodera-reader-%1-%2")
                             .arg(quintptr(QThread::currentThreadId()))
                             .arg(s_readerCounter.fetchAndAddRelaxed(1));
    QSqlError failure;
    QString detail;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            failure = db.lastError();
            detail = QStringLiteral("open %1 to read").arg(file);
        } else {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(column, table));
            for (const qint64 rowId : rowIds) {
                query.addBindValue(rowId);
                if (!query.exec()) {
                    failure = query.lastError();
                    detail = query.lastQuery();
                    break;
                }
                if (query.next()) {
                    texts.insert(rowId, query.value(0).toString());
                }
                query.finish();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (failure.isValid()) {
        qWarning() << failure << detail;
        throw DatabaseException(failure, detail);
    }
    return texts;
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
