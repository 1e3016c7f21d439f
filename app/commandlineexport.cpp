#include "commandlineexport.h"

#include "startup.h"

#include <annotating/exchange/notesexporter.h>
#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <backend/renderparam.h>
#include <domain/hashgenerator.h>
#include <domain/metatypes.h>
#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

namespace Nod::App {

namespace {

const char kOption[] = "--export-notes";

int fail(const QString &message, int code = 1)
{
    QTextStream(stderr) << QCoreApplication::translate("Nod::App", "Nodera Reader: %1").arg(message) << '\n';
    return code;
}

// The library's entry for a file: by its path first, then by its content, as the library
// recognises a moved copy.
std::optional<Domain::Document> documentFor(Application::DocumentService *documents, const QFileInfo &file)
{
    const QVector<Domain::Document> byPath
        = documents->documentsWithPath(Application::DocumentService::localUrlOf(file));
    if (!byPath.isEmpty()) {
        return byPath.first();
    }
    const QString hash = Domain::HashGenerator().generate(file.absoluteFilePath());
    const QVector<Domain::Document> byHash
        = hash.isEmpty() ? QVector<Domain::Document>() : documents->documentsWithHash(hash);
    if (!byHash.isEmpty()) {
        return byHash.first();
    }
    return std::nullopt;
}

} // namespace

int runNotesExportCommand(int argc, char *argv[])
{
    // No window is shown, so no display is needed either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const QString startDirectory = QDir::currentPath();
    // A script reads standard error for what went wrong, not for the program's progress lines.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            QTextStream(stderr) << message << '\n';
        }
    });
    qRegisterMetaType<RenderParam>("RenderParam");
    Domain::registerMetaTypes();
    setApplicationIdentity();
    QGuiApplication app(argc, argv);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const int at = arguments.indexOf(QString::fromLatin1(kOption));
    if (arguments.size() != 3 || at != 0) {
        return fail(QCoreApplication::translate(
                        "Nod::App", "usage: NoderaReader --export-notes FILE.md|FILE.html DOCUMENT"),
            2);
    }
    const QString target = QDir::cleanPath(QDir(startDirectory).absoluteFilePath(arguments.at(1)));
    const QFileInfo source(QDir(startDirectory), arguments.at(2));
    const std::optional<Exchange::NotesFormat> format = Exchange::notesFormatOf(target);
    if (!format) {
        return fail(QCoreApplication::translate("Nod::App", "the notes file must end in .md or .html: %1")
                        .arg(target),
            2);
    }
    if (!source.isFile()) {
        return fail(
            QCoreApplication::translate("Nod::App", "no such document file: %1").arg(source.filePath()));
    }

    // The library is only read: nothing is created, upgraded or moved.
    const QString location = Common::Infrastructure::Settings::instance()->general.storageLocation();
    const QString databasePath = QDir(location).filePath(QStringLiteral("database"));
    if (!QFileInfo(databasePath).isFile()) {
        return fail(QCoreApplication::translate("Nod::App", "there is no library in %1").arg(location));
    }
    auto *house = Common::Infrastructure::House::instance();
    if (!house->setLocation(location)) {
        return fail(
            QCoreApplication::translate("Nod::App", "the library in %1 cannot be used").arg(location));
    }
    Infrastructure::Database database;
    if (!database.open(house->databasePath())) {
        return fail(QCoreApplication::translate("Nod::App", "the library's database cannot be opened: %1")
                        .arg(databasePath));
    }
    int code = 0;
    {
        if (Infrastructure::Migrator().needsMigration()) {
            Infrastructure::Database::close();
            return fail(QCoreApplication::translate(
                "Nod::App", "the library needs an upgrade; start Nodera Reader once, then export again"));
        }
        Application::ServiceRegistry registry;
        Application::ServiceRegistry::setInstance(&registry);
        const std::optional<Domain::Document> document
            = documentFor(registry.documentService(), QFileInfo(source.absoluteFilePath()));
        if (!document) {
            code = fail(QCoreApplication::translate("Nod::App", "the document is not in the library: %1")
                            .arg(QDir::toNativeSeparators(source.absoluteFilePath())));
        } else {
            Exchange::NotesExporter exporter;
            if (!exporter.exportNotes(document->id(), target, *format)) {
                code = fail(exporter.errorString());
            }
        }
        Application::ServiceRegistry::setInstance(nullptr);
    }
    Infrastructure::Database::close();
    return code;
}

} // namespace Nod::App
