#include "databasestartup.h"

#include "addresses.h"
#include "progressdialog.h"

#include <app/storage/house.h>
#include <infrastructure/database.h>
#include <infrastructure/databasecopy.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/repositories/tablecheck.h>

#include <QDebug>
#include <QDir>
#include <QMessageBox>

#include <cstdlib>

namespace Nod::App {

using Common::Infrastructure::House;

namespace {

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
    QMessageBox box(QMessageBox::Critical, title,
        QStringLiteral("<p>%1</p><p><a href='%2'>%3</a></p>")
            .arg(QObject::tr("You should contact our service please."), QString::fromLatin1(kHelpPage),
                QObject::tr("I need help!")));
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

bool upgradeDatabase()
{
    bool current = true;
    Infrastructure::Migrator migrator;
    if (migrator.needsMigration()) {
        if (House::instance()->backupDatabase()) {
            qInfo() << "Backup database file Succesed.";
        } else {
            qCritical() << "Backup database file Failed.";
            QMessageBox box(
                QMessageBox::Warning, QObject::tr("Warning"), QObject::tr("Migrate database Failed!"));
            box.setTextFormat(Qt::RichText);
            box.setInformativeText(
                QObject::tr(
                    "Open <a href='file:///%1'>log folder</a>, send all files to us to solve this problem.")
                    .arg(QDir::fromNativeSeparators(House::instance()->roomPath(House::Logs))));
            box.exec();
        }
        Presentation::ProgressDialog dialog(
            QObject::tr("Migrating database ... "), QObject::tr("Finished"), 0, migrator.commandCount());
        QObject::connect(&migrator, &Infrastructure::Migrator::commandFinished, &dialog,
            &Presentation::ProgressDialog::setValue);
        try {
            current = migrator.migrate();
        } catch (const Infrastructure::DatabaseException &error) {
            // A failed commit of one command: it is not recorded, and the next start retries it.
            qCritical() << "Migrating database failed:" << error.what() << error.detail();
            current = false;
        }
    } else {
        // A schema brought up to date by an earlier start still gets the look-up indexes.
        Infrastructure::ensureIndexes();
    }
    Infrastructure::checkTables();
    return current;
}

} // namespace Nod::App
