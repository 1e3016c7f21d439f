#include "databasestartup.h"

#include "progressdialog.h"

#include <app/storage/house.h>
#include <infrastructure/database.h>
#include <infrastructure/databasecopy.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/migrations/schemascript.h>
#include <infrastructure/repositories/tablecheck.h>

#include <QDebug>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryFile>
#include <QUrl>

#include <cstdlib>

namespace Nod::App {

using Common::Infrastructure::House;

namespace {

QString folderLink(const QString &path);

// A fatal line in the log, then a clean exit: the user has been told, and there is nothing to dump.
[[noreturn]] void endProcess(const char *line)
{
    const QtMessageHandler handler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(handler);
    if (handler) {
        handler(QtFatalMsg, QMessageLogContext(), QString::fromLatin1(line));
    }
    std::exit(EXIT_FAILURE);
}
} // namespace

void openDatabase()
{
    Infrastructure::Database database;
    if (database.open(House::instance()->databasePath())) {
        return;
    }
    const QString title = database.lastErrorKind() == Infrastructure::Database::Corrupted
        ? QObject::tr("Database file corrupted!")
        : QObject::tr("Open database FAILED!");
    // What the user can act on: where the file is, the copies kept before upgrades, and the log.
    House *house = House::instance();
    QMessageBox box(QMessageBox::Critical, title,
        QStringLiteral("<p>%1</p><p>%2</p>")
            .arg(QObject::tr("You should contact our service please."),
                QObject::tr("The database is in %1; copies made before each upgrade are in %2, and the log "
                            "in %3 says what went wrong.")
                    .arg(folderLink(house->location()), folderLink(house->roomPath(House::Backups)),
                        folderLink(house->roomPath(House::Logs)))));
    box.setTextFormat(Qt::RichText);
    box.exec();
    endProcess("Create database FAILED.");
}

void installDatabaseCopier()
{
    House::instance()->setDatabaseCopier([](const QString &source, const QString &target) {
        QString error;
        if (Infrastructure::copyDatabaseConsistently(source, target, &error)) {
            return true;
        }
        qWarning() << "Database copy failed:" << error;
        return false;
    });
}

namespace {

QString folderLink(const QString &path)
{
    return QStringLiteral("<a href='%1'>%2</a>")
        .arg(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded),
            QDir::toNativeSeparators(path).toHtmlEscaped());
}

QString htmlList(const QStringList &lines)
{
    QString html = QStringLiteral("<ul>");
    for (const QString &line : lines) {
        html += QStringLiteral("<li>") + line.toHtmlEscaped() + QStringLiteral("</li>");
    }
    return html + QStringLiteral("</ul>");
}

void warn(const QString &title, const QString &text, const QString &informative)
{
    QMessageBox box(QMessageBox::Warning, title, text);
    box.setTextFormat(Qt::RichText);
    box.setInformativeText(informative);
    box.exec();
}

// Runs the pending schema commands; false (after telling the user) when one of them failed.
bool migrate(Infrastructure::Migrator &migrator)
{
    House *house = House::instance();
    // A database created empty by this start holds nothing a copy would keep.
    const bool fresh = migrator.isNewDatabase();
    const bool backedUp = !fresh && house->backupDatabase();
    if (fresh) {
        qInfo() << "Creating a new database.";
    } else if (backedUp) {
        qInfo() << "Backup database file Succesed.";
    } else {
        qCritical() << "Backup database file Failed.";
        warn(QObject::tr("Warning"), QObject::tr("Migrate database Failed!"),
            QObject::tr(
                "Open <a href='file:///%1'>log folder</a>, send all files to us to solve this problem.")
                .arg(QDir::fromNativeSeparators(house->roomPath(House::Logs))));
    }
    Presentation::ProgressDialog dialog(
        QObject::tr("Migrating database ... "), QObject::tr("Finished"), 0, migrator.commandCount());
    QObject::connect(&migrator, &Infrastructure::Migrator::commandFinished, &dialog,
        &Presentation::ProgressDialog::setValue);
    QString failure;
    QObject::connect(&migrator, &Infrastructure::Migrator::message, &dialog,
        [&failure](const QString &text) { failure = text; });
    bool done = false;
    try {
        done = migrator.migrate();
    } catch (const Infrastructure::DatabaseException &error) {
        // A failed commit of one command: it is not recorded, and the next start retries it.
        qCritical() << "Migrating database failed:" << error.what() << error.detail();
        failure = QString::fromLocal8Bit(error.what());
    }
    if (done) {
        return true;
    }
    if (failure.isEmpty()) {
        failure = QObject::tr("The database records schema versions this program does not know.");
    }
    dialog.reset();
    warn(QObject::tr("Warning"), QObject::tr("Migrate database Failed!"),
        QObject::tr("<p>%1</p><p>The failed step changed nothing; the next start tries it again. %2"
                    "Open the log folder %3, send all files to us to solve this problem.</p>")
            .arg(failure.toHtmlEscaped(),
                backedUp ? QObject::tr("The database as it was before is kept in %1. ")
                               .arg(folderLink(house->roomPath(House::Backups)))
                         : QString(),
                folderLink(house->roomPath(House::Logs))));
    return false;
}

// Tells the user when changes cannot be stored: found now rather than at the first lost change.
void reportReadOnly()
{
    QStringList problems;
    const QString database = Infrastructure::writeProblem();
    if (!database.isEmpty()) {
        problems << QObject::tr("The database file %1 cannot be written: %2")
                        .arg(QDir::toNativeSeparators(House::instance()->databasePath()), database);
    }
    const QString folder = House::instance()->location();
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("write-probe-XXXXXX")));
    if (!probe.open()) {
        problems
            << QObject::tr("The storage folder %1 cannot be written.").arg(QDir::toNativeSeparators(folder));
    }
    if (problems.isEmpty()) {
        return;
    }
    qCritical().noquote() << "Storage is read-only:" << problems.join(QLatin1Char(' '));
    warn(QObject::tr("Warning"), QObject::tr("The library is read-only."),
        QObject::tr("Documents and notes can be read, but no change will be saved.") + htmlList(problems));
}

} // namespace

bool upgradeDatabase()
{
    bool current = true;
    {
        Infrastructure::Migrator::setNewDatabaseScript(Infrastructure::newDatabaseScript());
        Infrastructure::Migrator migrator;
        if (migrator.needsMigration()) {
            current = migrate(migrator);
        } else {
            // A schema brought up to date by an earlier start still gets the look-up indexes.
            Infrastructure::ensureIndexes();
        }
    }
    Infrastructure::checkTables();
    const QStringList problems = Infrastructure::schemaProblems();
    if (!problems.isEmpty()) {
        House *house = House::instance();
        QMessageBox box(QMessageBox::Critical, QObject::tr("Database can't be used"),
            QObject::tr("The library's database lacks parts this program needs:") + htmlList(problems));
        box.setTextFormat(Qt::RichText);
        box.setInformativeText(
            QObject::tr("The program ends here and changes nothing more. Backups of the database are kept in "
                        "%1, the log in %2.")
                .arg(folderLink(house->roomPath(House::Backups)), folderLink(house->roomPath(House::Logs))));
        box.exec();
        endProcess("Check tables FAILED.");
    }
    reportReadOnly();
    return current;
}

} // namespace Nod::App
