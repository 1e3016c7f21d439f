#include <app/storage/applog.h>
#include <app/storage/house.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Common::Infrastructure::AppLog;
using Common::Infrastructure::House;

namespace {
const QStringList kRooms = { QStringLiteral("Documents"), QStringLiteral("Logs"), QStringLiteral("Crashes"),
    QStringLiteral("Backups"), QStringLiteral("Resources") };

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class HouseTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { House::instance()->setDatabaseCopier({}); }

    void setLocation_createsMissingRoomsAndAnnounces()
    {
        QTemporaryDir tmp;
        const QString path = tmp.path() + QStringLiteral("/deep/store");
        QVERIFY(QDir().mkpath(path + QStringLiteral("/Logs")));
        writeFile(path + QStringLiteral("/Logs/keep.txt"), "kept");

        QSignalSpy spy(House::instance(), &House::locationChanged);
        QVERIFY(House::instance()->setLocation(path));
        QCOMPARE(spy.count(), 1);
        for (const QString &room : kRooms) {
            QVERIFY2(QFileInfo(path + QLatin1Char('/') + room).isDir(), qPrintable(room));
        }
        QCOMPARE(readFile(path + QStringLiteral("/Logs/keep.txt")), QByteArray("kept"));
        QCOMPARE(House::instance()->location(), QDir::cleanPath(path));
        QCOMPARE(QDir::currentPath(), QDir::cleanPath(path));
    }

    void setLocation_failureChangesNothing()
    {
        QTemporaryDir tmp;
        QVERIFY(House::instance()->setLocation(tmp.path()));
        const QString before = House::instance()->location();

        writeFile(tmp.path() + QStringLiteral("/plainfile"), "x");
        QSignalSpy spy(House::instance(), &House::locationChanged);
        QVERIFY(!House::instance()->setLocation(tmp.path() + QStringLiteral("/plainfile/store")));
        QVERIFY(!House::instance()->setLocation(QString()));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(House::instance()->location(), before);
    }

    void paths_joinWithSeparator()
    {
        QTemporaryDir tmp;
        QVERIFY(House::instance()->setLocation(tmp.path()));
        const QString root = House::instance()->location();
        const QString sep = QDir::separator();
        QCOMPARE(House::instance()->databasePath(), root + sep + QStringLiteral("database"));
        QCOMPARE(House::instance()->roomPath(House::Logs, QStringLiteral("AppLog 2019-08-01.txt")),
            root + sep + QStringLiteral("Logs") + sep + QStringLiteral("AppLog 2019-08-01.txt"));
        QCOMPARE(House::instance()->roomPath(House::Backups), root + sep + QStringLiteral("Backups") + sep);
    }

    void backup_namedByTimeWithoutExtension()
    {
        QTemporaryDir tmp;
        QVERIFY(House::instance()->setLocation(tmp.path()));
        writeFile(House::instance()->databasePath(), "database bytes");

        QVERIFY(House::instance()->backupDatabase());
        const QStringList backups = QDir(House::instance()->roomPath(House::Backups)).entryList(QDir::Files);
        QCOMPARE(backups.size(), 1);
        QVERIFY(QDateTime::fromString(backups.first(), QStringLiteral("yyyy-MM-dd hh-mm-ss.zzz")).isValid());
        QVERIFY(!backups.first().contains(QLatin1String(".txt")));
        QCOMPARE(readFile(House::instance()->roomPath(House::Backups, backups.first())),
            QByteArray("database bytes"));
    }

    void backup_refusesExistingTarget()
    {
        QTemporaryDir tmp;
        QVERIFY(House::instance()->setLocation(tmp.path()));
        writeFile(House::instance()->databasePath(), "new");
        // Occupy every name the next two seconds could produce, as a second backup within the
        // same millisecond would find its own.
        const QDateTime now = QDateTime::currentDateTime();
        for (int ms = 0; ms < 2000; ++ms) {
            const QString name = now.addMSecs(ms).toString(QStringLiteral("yyyy-MM-dd hh-mm-ss.zzz"));
            writeFile(House::instance()->roomPath(House::Backups, name), "old");
        }
        QVERIFY(!House::instance()->backupDatabase());
        const QString name = now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss.zzz"));
        QCOMPARE(readFile(House::instance()->roomPath(House::Backups, name)), QByteArray("old"));
    }

    void backup_usesInstalledCopier()
    {
        QTemporaryDir tmp;
        QVERIFY(House::instance()->setLocation(tmp.path()));
        QString seenSource;
        House::instance()->setDatabaseCopier([&](const QString &source, const QString &) {
            seenSource = source;
            return false;
        });
        QVERIFY(!House::instance()->backupDatabase());
        QCOMPARE(QFileInfo(seenSource).absoluteFilePath(),
            QFileInfo(House::instance()->databasePath()).absoluteFilePath());
    }

    void emptyFolderRule_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("empty");
        QTest::newRow("nothing") << QStringList() << true;
        QTest::newRow("hidden only") << QStringList { QStringLiteral(".hidden"), QStringLiteral(".cache/") }
                                     << true;
        QTest::newRow("one file") << QStringList { QStringLiteral("notes.txt") } << false;
        QTest::newRow("one folder") << QStringList { QStringLiteral("sub/") } << false;
    }

    void emptyFolderRule()
    {
        QFETCH(QStringList, entries);
        QFETCH(bool, empty);
        QTemporaryDir tmp;
        for (const QString &entry : entries) {
            if (entry.endsWith(QLatin1Char('/'))) {
                QVERIFY(QDir(tmp.path()).mkdir(entry.chopped(1)));
            } else {
                writeFile(tmp.path() + QLatin1Char('/') + entry, "x");
            }
        }
        QCOMPARE(House::isEmptyFolder(tmp.path()), empty);
    }

    void moveTo_copiesDatabaseAndLeavesOldFolder()
    {
        QTemporaryDir oldDir;
        QTemporaryDir newDir;
        QVERIFY(House::instance()->setLocation(oldDir.path()));
        AppLog::install(House::instance()->roomPath(House::Logs, QStringLiteral("test.txt")));
        writeFile(House::instance()->databasePath(), "the database");
        writeFile(House::instance()->roomPath(House::Backups, QStringLiteral("old backup")), "b");

        QSignalSpy spy(House::instance(), &House::locationChanged);
        QVERIFY(House::instance()->moveTo(newDir.path()));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(House::instance()->location(), QDir::cleanPath(newDir.path()));
        QCOMPARE(readFile(newDir.path() + QStringLiteral("/database")), QByteArray("the database"));
        for (const QString &room : kRooms) {
            QCOMPARE(QDir(newDir.path() + QLatin1Char('/') + room)
                         .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                QStringList());
        }
        QCOMPARE(readFile(oldDir.path() + QStringLiteral("/database")), QByteArray("the database"));
        QVERIFY(QFile::exists(oldDir.path() + QStringLiteral("/Backups/old backup")));

        const QByteArray log = readFile(oldDir.path() + QStringLiteral("/Logs/test.txt"));
        AppLog::uninstall();
        QVERIFY2(
            log.contains("Info - Successed move house from: \"" + QDir::cleanPath(oldDir.path()).toUtf8()),
            log);
    }

    void moveTo_refusesNonEmptyOrMissingTarget()
    {
        QTemporaryDir oldDir;
        QTemporaryDir busy;
        QVERIFY(House::instance()->setLocation(oldDir.path()));
        writeFile(House::instance()->databasePath(), "db");
        writeFile(busy.path() + QStringLiteral("/file.pdf"), "x");

        QSignalSpy spy(House::instance(), &House::locationChanged);
        QVERIFY(!House::instance()->moveTo(busy.path()));
        QVERIFY(!House::instance()->moveTo(busy.path() + QStringLiteral("/missing")));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(House::instance()->location(), QDir::cleanPath(oldDir.path()));
        QVERIFY(!QFile::exists(busy.path() + QStringLiteral("/database")));
        QVERIFY(!QFile::exists(busy.path() + QStringLiteral("/missing")));
    }

    void moveTo_failedCopyKeepsLocation()
    {
        QTemporaryDir oldDir;
        QTemporaryDir newDir;
        QVERIFY(House::instance()->setLocation(oldDir.path()));
        // No database file yet: the copy fails.
        QSignalSpy spy(House::instance(), &House::locationChanged);
        QVERIFY(!House::instance()->moveTo(newDir.path()));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(House::instance()->location(), QDir::cleanPath(oldDir.path()));
    }
};

QTEST_GUILESS_MAIN(HouseTest)
#include "tst_house.moc"
