#include "testsupport.h"

#include <app/storage/house.h>
#include <infrastructure/database.h>
#include <infrastructure/databasecopy.h>
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

using namespace Nod::Infrastructure;
using Common::Infrastructure::House;

namespace {

// Opens `path` on its own connection and returns (integrity, documents, annotations).
QStringList inspect(const QString &path)
{
    QStringList facts;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            for (const QString &sql :
                { QStringLiteral("PRAGMA integrity_check"), QStringLiteral("SELECT count(*) FROM documents"),
                    QStringLiteral("SELECT count(*) FROM Annotation"),
                    QStringLiteral("SELECT count(*) FROM schema_versions") }) {
                facts << ((query.exec(sql) && query.next()) ? query.value(0).toString()
                                                            : QStringLiteral("error"));
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
    return facts;
}

} // namespace

// The storage folder's backup and move, with the database layer's copier installed as the program
// does at start-up, while the database is open in write-ahead-log mode.
class HouseCopyTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        Nod::Domain::registerMetaTypes();
        House::instance()->setDatabaseCopier([](const QString &source, const QString &target) {
            return copyDatabaseConsistently(source, target);
        });
    }
    void backupAndMove_holdEveryCommittedChange();
};

void HouseCopyTest::backupAndMove_holdEveryCommittedChange()
{
    QTemporaryDir dir;
    const QString home = QDir(dir.path()).filePath(QStringLiteral("home"));
    const QString away = QDir(dir.path()).filePath(QStringLiteral("away"));
    QVERIFY(QDir().mkpath(away));
    House *house = House::instance();
    QVERIFY(house->setLocation(home));
    QVERIFY(TestSupport::openMigrated(house->databasePath()));

    DocumentRepository documents;
    AnnotationRepository annotations;
    for (int i = 0; i < 300; ++i) {
        Transaction transaction;
        Nod::Domain::Document document(documents.nextId(), QStringLiteral("Book %1").arg(i));
        document.setLocalUrl(QStringLiteral("/books/%1.pdf").arg(i));
        documents.insert(document);
        annotations.insert(Nod::Domain::Annotation(annotations.nextId(), document.id(), 0));
        transaction.commit();
    }
    // The committed rows are still in the write-ahead log, not in the main file.
    QVERIFY(QFileInfo(house->databasePath() + QStringLiteral("-wal")).size() > 0);

    QVERIFY(house->backupDatabase());
    const QStringList backups = QDir(house->roomPath(House::Backups)).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(backups.size(), 1);
    QCOMPARE(inspect(house->roomPath(House::Backups, backups.first())),
        (QStringList {
            QStringLiteral("ok"), QStringLiteral("300"), QStringLiteral("300"), QStringLiteral("13") }));

    QVERIFY(house->moveTo(away));
    QCOMPARE(QDir(house->location()).absolutePath(), QDir(away).absolutePath());
    QCOMPARE(inspect(QDir(away).filePath(QStringLiteral("database"))),
        (QStringList {
            QStringLiteral("ok"), QStringLiteral("300"), QStringLiteral("300"), QStringLiteral("13") }));
    // Only the database travels; no stray temporary file is left in the new folder.
    QCOMPARE(QDir(away).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("database") });
    Database::close();
}

QTEST_MAIN(HouseCopyTest)
#include "tst_housecopy.moc"
