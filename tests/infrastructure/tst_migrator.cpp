#include "testsupport.h"

#include <infrastructure/database.h>
#include <infrastructure/migrations/command.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/migrations/schemascript.h>
#include <infrastructure/repositories/tablecheck.h>

#include <domain/metatypes.h>

#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

using namespace Nod::Infrastructure;
using TestSupport::exec;
using TestSupport::scalar;

namespace {

// Changes the schema, then fails: nothing of it may remain.
class FailingCommand final : public Command
{
    Q_OBJECT
public:
    using Command::Command;
    bool up() override
    {
        QSqlQuery query;
        query.exec(QStringLiteral("CREATE TABLE halfDone (x)"));
        query.exec(QStringLiteral("INSERT INTO halfDone VALUES (1)"));
        return false;
    }
};

QStringList versions()
{
    QStringList list;
    QSqlQuery query(QStringLiteral("SELECT version FROM schema_versions"));
    while (query.next()) {
        list << query.value(0).toString();
    }
    return list;
}

const QStringList NewerPath {
    QStringLiteral("M20170111_2100_createDocuments"),
    QStringLiteral("M20170111_2142_createAnnotations"),
    QStringLiteral("M20170226_0347_createMarkers"),
    QStringLiteral("M20180114"),
    QStringLiteral("M201709231700_CreateCategories"),
    QStringLiteral("M20171105"),
    QStringLiteral("M20171217_1800_ModifyDocuments"),
    QStringLiteral("M20180418_ModifyDocuments"),
    QStringLiteral("M20180524_0613"),
    QStringLiteral("M20180619_ModifyCategory"),
    QStringLiteral("M20181115_AlterDocument"),
    QStringLiteral("M20190102_UnifyId"),
    QStringLiteral("M20190731_CreateTag"),
};

// Everything a start leaves in the database: the schema in the order it was made, then every row of
// every table.
QStringList contents()
{
    QStringList lines;
    QStringList tables;
    QSqlQuery schema(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY rowid"));
    while (schema.next()) {
        lines << QStringLiteral("%1 %2 %3: %4")
                     .arg(schema.value(0).toString(), schema.value(1).toString(), schema.value(2).toString(),
                         schema.value(3).toString());
        if (schema.value(0).toString() == QLatin1String("table")) {
            tables << schema.value(1).toString();
        }
    }
    for (const QString &table : qAsConst(tables)) {
        QSqlQuery rows(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table));
        while (rows.next()) {
            QStringList values;
            for (int i = 0; i < rows.record().count(); ++i) {
                values << rows.value(i).toString();
            }
            lines << table + QStringLiteral(" row: ") + values.join(QLatin1Char('|'));
        }
    }
    return lines;
}

} // namespace

class MigratorTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        Nod::Domain::registerMetaTypes();
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        Database database;
        QVERIFY(database.open(QDir(m_dir->path()).filePath(QStringLiteral("database"))));
    }
    void cleanup()
    {
        Migrator::setNewDatabaseScript(nullptr);
        Database::close();
        m_dir.reset();
    }

    void freshDatabase_runsEveryCommandInOrder();
    void completeDatabase_needsNothing();
    void laterProgramVersion_runsNothing();
    void mismatchedPrefix_runsNothingAndLogs();
    void failingCommand_leavesNoTraceAndKeepsForeignKeys();
    void olderHistory_getsFourteenCommands();
    void newDatabase_isBuiltAtOnceAsStepByStep();
    void newDatabase_fromTheBuildsScript_equalsStepByStep();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void MigratorTest::freshDatabase_runsEveryCommandInOrder()
{
    TestSupport::LogCapture steps;
    Migrator migrator;
    QVERIFY(QSqlDatabase::database().tables().contains(QStringLiteral("schema_versions")));
    QCOMPARE(migrator.commandCount(), 13);
    QVERIFY(migrator.needsMigration());
    QSignalSpy finished(&migrator, &Migrator::commandFinished);
    QVERIFY(migrator.migrate());
    QCOMPARE(finished.count(), 14);
    for (int i = 0; i < finished.count(); ++i) {
        QCOMPARE(finished.at(i).at(0).toInt(), i);
    }
    QCOMPARE(versions(), NewerPath);
    QVERIFY(steps.contains(QStringLiteral("M20170111_2100_createDocuments::createTable Successed!")));
    QVERIFY(steps.contains(QStringLiteral("createResource Successed!")));
    QVERIFY(steps.contains(QStringLiteral("Commands count:  13 , need to execute count:  13")));
    QVERIFY(steps.contains(QStringLiteral("Migrate database SUCCESSED.")));

    QStringList tables = QSqlDatabase::database().tables();
    tables.sort();
    QStringList expected { QStringLiteral("Annotation"), QStringLiteral("Category"),
        QStringLiteral("DocumentTags"), QStringLiteral("IdSource"), QStringLiteral("MindNode"),
        QStringLiteral("Resource"), QStringLiteral("Tag"), QStringLiteral("documents"),
        QStringLiteral("markers"), QStringLiteral("schema_versions"), QStringLiteral("sqlite_sequence"),
        QStringLiteral("temp_anno"), QStringLiteral("temp_category") };
    expected.sort();
    QCOMPARE(tables, expected);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM IdSource")).toInt(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT id FROM IdSource")).toInt(), 0);
    for (const QString &table :
        { QStringLiteral("documents"), QStringLiteral("Annotation"), QStringLiteral("Category"),
            QStringLiteral("Tag"), QStringLiteral("Resource"), QStringLiteral("MindNode") }) {
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt(), 0);
    }
    QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
    // A new database took the newer path: localUrl stays unique.
    QVERIFY(scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'documents'"))
                .toString()
                .contains(QStringLiteral("UNIQUE")));

    TestSupport::LogCapture log;
    QVERIFY(checkTables() == false); // the sync tables do not exist
    QVERIFY(log.contains(QStringLiteral("Check table (Annotation) OK.")));
    QVERIFY(log.contains(QStringLiteral("Check table (Tag) OK.")));
    QVERIFY(log.contains(QStringLiteral("Check table (Resource) OK.")));
    QVERIFY(log.contains(QStringLiteral("Check table (Category) OK.")));
    QVERIFY(log.contains(QStringLiteral("Check table (documents) failed. Columns in table but not in object: "
                                        "categories, count, font, lastReadedPage, siderBarMinimized")));
    QVERIFY(log.contains(QStringLiteral("Check table (SyncState) failed. Columns in object but not in table: "
                                        "id, syncTime, updateCount")));
}

void MigratorTest::completeDatabase_needsNothing()
{
    {
        Migrator migrator;
        QVERIFY(migrator.migrate());
    }
    Migrator again;
    QVERIFY(!again.needsMigration());
    TestSupport::LogCapture log;
    QSignalSpy finished(&again, &Migrator::commandFinished);
    QVERIFY(again.migrate());
    QCOMPARE(finished.count(), 0);
    QVERIFY(log.lines().isEmpty());
}

void MigratorTest::laterProgramVersion_runsNothing()
{
    {
        Migrator migrator;
        QVERIFY(migrator.migrate());
    }
    exec(QStringLiteral("INSERT INTO schema_versions VALUES ('M20990101_Future')"));
    Migrator migrator;
    QVERIFY(!migrator.needsMigration());
    QVERIFY(migrator.migrate());
    QCOMPARE(versions().size(), 14);
}

void MigratorTest::mismatchedPrefix_runsNothingAndLogs()
{
    Migrator migrator;
    QVERIFY(migrator.commands().at(0)->execute());
    exec(QStringLiteral("INSERT INTO schema_versions VALUES ('M20170111_2142_somethingElse')"));
    TestSupport::LogCapture log;
    QSignalSpy finished(&migrator, &Migrator::commandFinished);
    QVERIFY(!migrator.migrate());
    QCOMPARE(finished.count(), 0);
    QVERIFY(!QSqlDatabase::database().tables().contains(QStringLiteral("markers")));
    QVERIFY(log.contains(QStringLiteral("M20170111_2142_somethingElse")));
    QVERIFY(log.contains(QStringLiteral("in database != Command (")));
}

void MigratorTest::failingCommand_leavesNoTraceAndKeepsForeignKeys()
{
    Migrator migrator; // creates schema_versions
    FailingCommand failing;
    QCOMPARE(failing.version(), QStringLiteral("FailingCommand"));
    QVERIFY(!failing.execute());
    QVERIFY(!QSqlDatabase::database().tables().contains(QStringLiteral("halfDone")));
    QVERIFY(versions().isEmpty());
    QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);

    // A failing step inside the catalogue stops the run there; the next start retries it.
    exec(QStringLiteral("CREATE TABLE documents_v2 (id INTEGER)"));
    QSignalSpy messages(&migrator, &Migrator::message);
    QVERIFY(!migrator.migrate());
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(),
        QStringLiteral("Migrating task(M20170111_2100_createDocuments) FAILD"));
    QVERIFY(versions().isEmpty());
    QVERIFY(!QSqlDatabase::database().tables().contains(QStringLiteral("documents")));
    exec(QStringLiteral("DROP TABLE documents_v2"));
    QVERIFY(migrator.migrate());
    QCOMPARE(versions(), NewerPath);
}

void MigratorTest::olderHistory_getsFourteenCommands()
{
    {
        Migrator migrator;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(migrator.commands().at(i)->execute());
        }
    }
    const QString oldPath = QStringLiteral("M20170714_1500_ModifyDocuments");
    exec(QStringLiteral("INSERT INTO schema_versions VALUES ('%1')").arg(oldPath));
    exec(QStringLiteral("ALTER TABLE documents ADD COLUMN hash char(40)"));
    exec(QStringLiteral("ALTER TABLE documents ADD COLUMN addedAt DATETIME"));
    exec(QStringLiteral("ALTER TABLE documents ADD COLUMN hided BOOLEAN default false"));
    exec(QStringLiteral("create unique index documents_hash on documents(hash)"));

    Migrator migrator;
    QCOMPARE(migrator.commandCount(), 14);
    QCOMPARE(migrator.commands().at(3)->version(), oldPath);
    QCOMPARE(migrator.commands().at(4)->version(), QStringLiteral("M20170725_1000_ModifyDocuments"));
    QVERIFY(migrator.migrate());
    QCOMPARE(versions().size(), 14);
    QVERIFY(!migrator.needsMigration());
    // The rebuilt documents table no longer makes localUrl unique.
    QVERIFY(!scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'documents'"))
                 .toString()
                 .contains(QStringLiteral("UNIQUE")));
}

void MigratorTest::newDatabase_isBuiltAtOnceAsStepByStep()
{
    // Step by step, each command committed on its own, as for a database that holds something.
    QStringList stepByStep;
    {
        Migrator migrator;
        QVERIFY(migrator.isNewDatabase());
        for (Command *command : migrator.commands()) {
            QVERIFY(command->execute());
        }
        ensureIndexes();
        QVERIFY(!Migrator().isNewDatabase());
        stepByStep = contents();
    }
    QVERIFY(stepByStep.size() > 30);

    Database database;
    QVERIFY(database.open(QDir(m_dir->path()).filePath(QStringLiteral("new"))));
    Migrator migrator;
    QVERIFY(migrator.isNewDatabase());
    TestSupport::LogCapture log;
    QSignalSpy finished(&migrator, &Migrator::commandFinished);
    QVERIFY(migrator.migrate());
    QCOMPARE(finished.count(), 14);
    QVERIFY(!migrator.isNewDatabase());
    QCOMPARE(contents(), stepByStep);
    QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
    QCOMPARE(log.lines().filter(QStringLiteral(" finished.")).size(), 13);

    // Anything but an empty versions table is a database of its own: kept, and upgraded in steps.
    QVERIFY(database.open(QDir(m_dir->path()).filePath(QStringLiteral("other"))));
    exec(QStringLiteral("CREATE TABLE notes_of_mine (x)"));
    QVERIFY(!Migrator().isNewDatabase());
}

// The script the build took from the commands makes the same database; a script that fails, or that
// records other versions, leaves nothing behind and the commands build it.
void MigratorTest::newDatabase_fromTheBuildsScript_equalsStepByStep()
{
    QStringList stepByStep;
    {
        Migrator migrator;
        QVERIFY(migrator.migrate());
        stepByStep = contents();
        QCOMPARE(schemaScript(), QString::fromUtf8(newDatabaseScript()));
    }

    const QByteArray broken = QByteArray(newDatabaseScript()) + "CREATE TABLE unfinished (";
    const QByteArray otherVersions
        = QByteArray(newDatabaseScript()) + "INSERT INTO schema_versions VALUES('M1');";
    const struct
    {
        const char *name;
        const char *script;
        bool used;
    } cases[] = { { "build's", newDatabaseScript(), true }, { "broken", broken.constData(), false },
        { "other versions", otherVersions.constData(), false } };
    for (const auto &c : cases) {
        Database database;
        QVERIFY(database.open(QDir(m_dir->path()).filePath(QString::fromLatin1(c.name))));
        Migrator::setNewDatabaseScript(c.script);
        Migrator migrator;
        QVERIFY(migrator.isNewDatabase());
        TestSupport::LogCapture log;
        QSignalSpy finished(&migrator, &Migrator::commandFinished);
        QVERIFY2(migrator.migrate(), c.name);
        QCOMPARE(finished.last().at(0).toInt(), 13);
        QCOMPARE(contents(), stepByStep);
        QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
        QCOMPARE(log.lines().filter(QStringLiteral("Built the new database from its script.")).size(),
            c.used ? 1 : 0);
        QCOMPARE(log.lines().filter(QStringLiteral(" finished.")).size(), c.used ? 0 : 13);
        QVERIFY(!migrator.needsMigration());
    }
}

QTEST_MAIN(MigratorTest)
#include "tst_migrator.moc"
