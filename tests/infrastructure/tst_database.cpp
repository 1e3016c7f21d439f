#include "testsupport.h"

#include <infrastructure/database.h>
#include <infrastructure/databasecopy.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/idsource.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/transaction.h>

#include <domain/metatypes.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace Nod::Infrastructure;
using TestSupport::exec;
using TestSupport::scalar;

class DatabaseTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void open_reportsFailureKind_data();
    void open_reportsFailureKind();
    void open_unreadableFile_isOpenFailed();
    void open_damagedPages_isCorrupted();
    void open_setsPragmasAndReplacesPreviousConnection();
    void execQuery_throwsWithQueryText();
    void execQuery_logsOnlySlowStatements();
    void transaction_commitsOrRollsBack();
    void nextId_isConsecutiveAndRollsBack();
    void failingStatement_leavesNoPartialChange();
    void copy_holdsEveryCommittedRowWhileOpen();
    void copy_refusesExistingTargetAndBadSource();

private:
    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void DatabaseTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    Nod::Domain::registerMetaTypes();
}

void DatabaseTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void DatabaseTest::cleanup()
{
    Database::close();
    m_dir.reset();
}

void DatabaseTest::open_reportsFailureKind_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("asDirectory");
    QTest::addColumn<int>("kind");

    QTest::newRow("text file") << QByteArray("this is not a database, just some notes\n") << false
                               << int(Database::Corrupted);
    QByteArray header("SQLite format 3");
    header.append('\0');
    header.append(QByteArray(4080, '\x7f'));
    QTest::newRow("damaged header") << header << false << int(Database::Corrupted);
    QTest::newRow("zero bytes") << QByteArray() << false << int(Database::None);
    QTest::newRow("directory") << QByteArray() << true << int(Database::OpenFailed);
}

void DatabaseTest::open_reportsFailureKind()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, asDirectory);
    QFETCH(int, kind);

    const QString file = path(QStringLiteral("database"));
    if (asDirectory) {
        QVERIFY(QDir().mkpath(file));
    } else {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    Database database;
    QCOMPARE(database.open(file), kind == Database::None);
    QCOMPARE(int(database.lastErrorKind()), kind);
    if (kind != Database::None) {
        // A failed open leaves no connection behind that later code could write through.
        QVERIFY(!QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false).isOpen());
        if (!asDirectory) {
            QFile in(file);
            QVERIFY(in.open(QIODevice::ReadOnly));
            QCOMPARE(in.readAll(), content);
        }
    } else {
        exec(QStringLiteral("CREATE TABLE t (x)"));
    }
}

void DatabaseTest::open_unreadableFile_isOpenFailed()
{
    {
        // A folder that does not exist cannot hold a new database either.
        Database database;
        QVERIFY(!database.open(path(QStringLiteral("no such folder/database"))));
        QCOMPARE(database.lastErrorKind(), Database::OpenFailed);
    }
    if (::geteuid() == 0) {
        QSKIP("file permissions do not apply to root");
    }
    const QString file = path(QStringLiteral("database"));
    {
        Database database;
        QVERIFY(database.open(file));
        exec(QStringLiteral("CREATE TABLE t (x)"));
        Database::close();
    }
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
    Database database;
    QVERIFY(!database.open(file));
    QCOMPARE(database.lastErrorKind(), Database::OpenFailed);
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void DatabaseTest::open_damagedPages_isCorrupted()
{
    const QString file = path(QStringLiteral("database"));
    {
        Database database;
        QVERIFY(database.open(file));
        exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
        exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, text TEXT)"));
        exec(QStringLiteral("CREATE INDEX t_text ON t(text)"));
        exec(QStringLiteral("WITH RECURSIVE n(i) AS (VALUES(1) UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                            "INSERT INTO t SELECT i, printf('row %08d', i) FROM n"));
        Database::close();
    }
    // Keep the header and the schema page, scramble the pages behind them.
    QFile damaged(file);
    QVERIFY(damaged.open(QIODevice::ReadWrite));
    QVERIFY(damaged.size() > 8 * 4096);
    damaged.seek(3 * 4096);
    damaged.write(QByteArray(4 * 4096, '\x5a'));
    damaged.close();

    Database database;
    QVERIFY(!database.open(file));
    QCOMPARE(database.lastErrorKind(), Database::Corrupted);
}

void DatabaseTest::open_setsPragmasAndReplacesPreviousConnection()
{
    const QString missing = path(QStringLiteral("sub/../first"));
    Database database;
    QVERIFY(database.open(missing));
    QCOMPARE(database.lastErrorKind(), Database::None);
    QCOMPARE(scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
    QCOMPARE(scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 3);
    exec(QStringLiteral("CREATE TABLE marker (name TEXT)"));
    exec(QStringLiteral("INSERT INTO marker VALUES ('first')"));

    QVERIFY(database.open(path(QStringLiteral("second"))));
    QVERIFY(!QSqlDatabase::database().tables().contains(QStringLiteral("marker")));
    exec(QStringLiteral("CREATE TABLE marker (name TEXT)"));
    exec(QStringLiteral("INSERT INTO marker VALUES ('second')"));

    QVERIFY(database.open(path(QStringLiteral("first"))));
    QCOMPARE(
        scalar(QStringLiteral("SELECT group_concat(name) FROM marker")).toString(), QStringLiteral("first"));
}

void DatabaseTest::execQuery_throwsWithQueryText()
{
    Database database;
    QVERIFY(database.open(path(QStringLiteral("database"))));
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT * FROM nowhere"));
    try {
        execQuery(query);
        QFAIL("no exception");
    } catch (const DatabaseException &e) {
        QCOMPARE(e.detail(), QStringLiteral("SELECT * FROM nowhere"));
    }
    QCOMPARE(tableColumns(QStringLiteral("nowhere")), QSet<QString>());
    exec(QStringLiteral("CREATE TABLE t (a, b)"));
    QCOMPARE(tableColumns(QStringLiteral("t")), (QSet<QString> { QStringLiteral("a"), QStringLiteral("b") }));
}

void DatabaseTest::execQuery_logsOnlySlowStatements()
{
    Database database;
    QVERIFY(database.open(path(QStringLiteral("database"))));
    TestSupport::LogCapture log;
    QSqlQuery fast;
    fast.prepare(QStringLiteral("SELECT 1"));
    QVERIFY(execQuery(fast));
    QVERIFY(!log.contains(QStringLiteral("elapsed:")));

    // Long enough on any machine: well over the 99 ms threshold.
    QSqlQuery slow;
    slow.prepare(
        QStringLiteral("WITH RECURSIVE n(i) AS (VALUES(1) UNION ALL SELECT i + 1 FROM n WHERE i < 3000000) "
                       "SELECT count(*) FROM n"));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(execQuery(slow));
    if (timer.elapsed() <= 100) {
        QSKIP("this machine ran the slow statement in under 100 ms");
    }
    QVERIFY(log.contains(QStringLiteral("WITH RECURSIVE n(i)")));
    QVERIFY(log.contains(QStringLiteral("elapsed:")));
}

void DatabaseTest::transaction_commitsOrRollsBack()
{
    Database database;
    QVERIFY(database.open(path(QStringLiteral("database"))));
    exec(QStringLiteral("CREATE TABLE t (x INTEGER)"));
    {
        Transaction transaction;
        exec(QStringLiteral("INSERT INTO t VALUES (1)"));
        QVERIFY(transaction.commit());
    }
    {
        Transaction transaction;
        exec(QStringLiteral("INSERT INTO t VALUES (2)"));
    }
    try {
        Transaction transaction;
        exec(QStringLiteral("INSERT INTO t VALUES (3)"));
        throw std::runtime_error("service failed");
    } catch (const std::runtime_error &) { }
    QCOMPARE(scalar(QStringLiteral("SELECT group_concat(x) FROM t")).toString(), QStringLiteral("1"));

    // Nested guards: an inner rollback undoes only its own rows and drops its announcements; the
    // rest waits for the outermost commit, or goes with the outermost rollback.
    QStringList announced;
    for (const bool commitOuter : { false, true }) {
        Transaction outer;
        exec(QStringLiteral("INSERT INTO t VALUES (10)"));
        {
            Transaction kept;
            exec(QStringLiteral("INSERT INTO t VALUES (11)"));
            kept.commit();
            Transaction::afterCommit([&] { announced << QStringLiteral("kept"); });
        }
        try {
            Transaction failed;
            exec(QStringLiteral("INSERT INTO t VALUES (12)"));
            Transaction::afterCommit([&] { announced << QStringLiteral("failed"); });
            {
                Transaction deeper;
                exec(QStringLiteral("INSERT INTO t VALUES (13)"));
                deeper.commit();
            }
            throw std::runtime_error("step failed");
        } catch (const std::runtime_error &) { }
        exec(QStringLiteral("INSERT INTO t VALUES (14)"));
        QVERIFY(announced.isEmpty());
        if (commitOuter) {
            QVERIFY(outer.commit());
        }
    }
    QCOMPARE(announced, QStringList { QStringLiteral("kept") });
    QCOMPARE(
        scalar(QStringLiteral("SELECT group_concat(x) FROM t")).toString(), QStringLiteral("1,10,11,14"));
    QVERIFY(!Transaction::isOpen());
    Transaction::afterCommit([&] { announced << QStringLiteral("at once"); });
    QCOMPARE(announced.size(), 2);
}

void DatabaseTest::nextId_isConsecutiveAndRollsBack()
{
    Database database;
    QVERIFY(database.open(path(QStringLiteral("database"))));
    QCOMPARE(IdSource::nextId(), -1); // no table yet
    exec(QStringLiteral("CREATE TABLE IdSource (id INTEGER)"));
    QCOMPARE(IdSource::nextId(), -1); // no row: nothing to hand out
    exec(QStringLiteral("INSERT INTO IdSource VALUES (41)"));
    {
        Transaction transaction;
        QCOMPARE(IdSource::nextId(), 42);
        QCOMPARE(IdSource::nextId(), 43);
        transaction.commit();
    }
    {
        Transaction transaction;
        QCOMPARE(IdSource::nextId(), 44);
    }
    QCOMPARE(IdSource::nextId(), 44);
}

void DatabaseTest::failingStatement_leavesNoPartialChange()
{
    QVERIFY(TestSupport::openMigrated(path(QStringLiteral("database"))));
    exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Annotation WHEN NEW.pageIndex = 13 "
                        "BEGIN SELECT RAISE(ABORT, 'page 13 refused'); END"));
    DocumentRepository documents;
    AnnotationRepository annotations;
    const int idBefore = scalar(QStringLiteral("SELECT id FROM IdSource")).toInt();
    try {
        Transaction transaction;
        Nod::Domain::Document document(1, QStringLiteral("Book"));
        document.setLocalUrl(QStringLiteral("/books/book.pdf"));
        documents.insert(document);
        Nod::Domain::Annotation root(annotations.nextId(), 1, 0);
        annotations.insert(root);
        Nod::Domain::Annotation page(annotations.nextId(), 1, 12, QPointF(1, 2), root.id());
        annotations.insert(page);
        Nod::Domain::Annotation refused(annotations.nextId(), 1, 13, QPointF(1, 2), root.id());
        annotations.insert(refused);
        transaction.commit();
        QFAIL("the trigger did not fire");
    } catch (const DatabaseException &e) {
        QVERIFY(QString::fromUtf8(e.what()).contains(QStringLiteral("page 13 refused")));
    }
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM documents")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Annotation")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT id FROM IdSource")).toInt(), idBefore);
    // The connection is usable afterwards.
    Transaction transaction;
    Nod::Domain::Document other(2, QStringLiteral("Other"));
    other.setLocalUrl(QStringLiteral("/books/other.pdf"));
    documents.insert(other);
    QVERIFY(transaction.commit());
}

void DatabaseTest::copy_holdsEveryCommittedRowWhileOpen()
{
    const QString source = path(QStringLiteral("database"));
    Database database;
    QVERIFY(database.open(source));
    exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, payload BLOB)"));
    // Enough rows that most of them still sit in the write-ahead log when the copy is made.
    for (int batch = 0; batch < 20; ++batch) {
        Transaction transaction;
        for (int i = 0; i < 50; ++i) {
            QSqlQuery insert;
            insert.prepare(QStringLiteral("INSERT INTO t (payload) VALUES (?)"));
            insert.addBindValue(QByteArray(512, char('a' + batch)));
            execQuery(insert);
        }
        transaction.commit();
    }
    QVERIFY(QFile::exists(source + QStringLiteral("-wal")));

    const QString target = path(QStringLiteral("Backups/copy"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("Backups"))));
    QString error;
    QVERIFY2(copyDatabaseConsistently(source, target, &error), qPrintable(error));
    QCOMPARE(QDir(path(QStringLiteral("Backups"))).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("copy") });

    // The source stays open and writable.
    exec(QStringLiteral("INSERT INTO t (payload) VALUES ('after')"));

    {
        QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        copy.setDatabaseName(target);
        QVERIFY(copy.open());
        QSqlQuery query(copy);
        QVERIFY(query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
        QVERIFY(query.exec(QStringLiteral("SELECT count(*), min(id), max(id) FROM t")) && query.next());
        QCOMPARE(query.value(0).toInt(), 1000);
        QCOMPARE(query.value(1).toInt(), 1);
        QCOMPARE(query.value(2).toInt(), 1000);
        copy.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void DatabaseTest::copy_refusesExistingTargetAndBadSource()
{
    const QString source = path(QStringLiteral("database"));
    Database database;
    QVERIFY(database.open(source));
    exec(QStringLiteral("CREATE TABLE t (x)"));

    const QString target = path(QStringLiteral("existing"));
    {
        QFile existing(target);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("keep me");
    }
    QString error;
    QVERIFY(!copyDatabaseConsistently(source, target, &error));
    QVERIFY(!error.isEmpty());
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));

    const QString garbage = path(QStringLiteral("garbage"));
    {
        QFile out(garbage);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(8192, 'x'));
    }
    QVERIFY(!copyDatabaseConsistently(garbage, path(QStringLiteral("fromGarbage")), &error));
    QVERIFY(!copyDatabaseConsistently(
        path(QStringLiteral("missing")), path(QStringLiteral("fromMissing")), &error));
    const QStringList left = QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : left) {
        QVERIFY2(
            !name.startsWith(QLatin1Char('.')) && !name.startsWith(QLatin1String("from")), qPrintable(name));
    }
}

QTEST_MAIN(DatabaseTest)
#include "tst_database.moc"
