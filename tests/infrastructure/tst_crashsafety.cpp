#include "testsupport.h"

#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>

#include <domain/metatypes.h>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using namespace Nod::Infrastructure;
using TestSupport::scalar;

// A writer killed with SIGKILL at random moments must never leave a database that fails its check
// or lacks a change it reported as committed.
class CrashSafetyTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        Nod::Domain::registerMetaTypes();
    }
    void killedWriter_losesNothingCommitted();
    void killedFirstStart_leavesANewDatabaseToBuild_data();
    void killedFirstStart_leavesANewDatabaseToBuild();
};

void CrashSafetyTest::killedWriter_losesNothingCommitted()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = QDir(dir.path()).filePath(QStringLiteral("database"));
    QVERIFY(TestSupport::openMigrated(path));
    Database::close();

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qInfo("seed %u", seed);
    constexpr int Kills = 40;
    QSet<int> committed;
    int survived = 0;
    for (int round = 0; round < Kills; ++round) {
        QProcess writer;
        writer.setProgram(QStringLiteral(CRASHWRITER_PATH));
        writer.setArguments({ path });
        writer.start();
        QVERIFY2(writer.waitForStarted(5000), qPrintable(writer.errorString()));
        // Mostly while commits stream out, sometimes before the first one.
        const int delay = round % 8 == 0 ? random.bounded(0, 20) : random.bounded(20, 400);
        QThread::msleep(delay);
        QCOMPARE(writer.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(5000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        // Only whole lines were reported; a line cut by the kill was not.
        const QByteArray output = writer.readAllStandardOutput();
        const QList<QByteArray> lines = output.left(output.lastIndexOf('\n') + 1).split('\n');
        QSet<int> reported;
        for (const QByteArray &line : lines) {
            if (!line.isEmpty()) {
                reported.insert(line.toInt());
            }
        }

        Database database;
        QVERIFY2(database.open(path), "the database did not open after a kill");
        QCOMPARE(scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QSet<int> present;
        QSqlQuery rows(
            QStringLiteral("SELECT d.id FROM documents d JOIN Annotation a ON a.documentId = d.id AND "
                           "a.parentId = 0"));
        while (rows.next()) {
            present.insert(rows.value(0).toInt());
        }
        committed.unite(reported);
        for (const int id : qAsConst(committed)) {
            QVERIFY2(
                present.contains(id), qPrintable(QStringLiteral("committed document %1 is missing").arg(id)));
        }
        // Nothing half-done: every document has its note, and the counter is above every id.
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM documents")).toInt(), present.size());
        QVERIFY(scalar(QStringLiteral("SELECT id FROM IdSource")).toInt()
            >= scalar(QStringLiteral("SELECT max(id) FROM Annotation")).toInt());
        Database::close();
        ++survived;
    }
    qInfo(
        "kills survived: %d of %d, committed documents checked: %d", survived, Kills, int(committed.size()));
    QCOMPARE(survived, Kills);
    QVERIFY(committed.size() > Kills); // the kills did land between commits
}

void CrashSafetyTest::killedFirstStart_leavesANewDatabaseToBuild_data()
{
    QTest::addColumn<int>("killedBefore");
    QTest::newRow("after the first command") << 1;
    QTest::newRow("half-way") << 7;
    QTest::newRow("before the last command") << 12;
}

void CrashSafetyTest::killedFirstStart_leavesANewDatabaseToBuild()
{
    QFETCH(int, killedBefore);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = QDir(dir.path()).filePath(QStringLiteral("database"));
    QProcess start;
    start.start(QStringLiteral(CRASHWRITER_PATH), { path, QString::number(killedBefore) });
    QVERIFY(start.waitForFinished(20000));
    QCOMPARE(start.exitStatus(), QProcess::CrashExit);
    QCOMPARE(start.readAllStandardOutput(),
        QStringLiteral("killed before command %1\n").arg(killedBefore).toUtf8());

    // Nothing of the commands that ran: the next start finds a new database and builds it whole.
    Database database;
    QVERIFY(database.open(path));
    QCOMPARE(scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QCOMPARE(QSqlDatabase::database().tables(), QStringList { QStringLiteral("schema_versions") });
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM schema_versions")).toInt(), 0);
    Migrator migrator;
    QVERIFY(migrator.isNewDatabase());
    QVERIFY(migrator.migrate());
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM schema_versions")).toInt(), migrator.commandCount());
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM IdSource")).toInt(), 1);
    Database::close();
}

QTEST_MAIN(CrashSafetyTest)
#include "tst_crashsafety.moc"
