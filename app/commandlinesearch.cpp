#include "commandlinesearch.h"

#include "startup.h"

#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <domain/metatypes.h>
#include <indexing/searchindex.h>
#include <indexing/searchquery.h>
#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <climits>

namespace Nod::App {

namespace {

const char kOption[] = "--search";

QString tr(const char *text) { return QCoreApplication::translate("Nod::App", text); }

int fail(const QString &message, int code = 1)
{
    QTextStream(stderr) << tr("Nodera Reader: %1").arg(message) << '\n';
    return code;
}

QString placeOf(const Indexing::SearchHit &hit)
{
    if (hit.isNote()) {
        return QStringLiteral("note");
    }
    return hit.isPage() ? QString::number(hit.page + 1) : QStringLiteral("details");
}

} // namespace

int runSearchCommand(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            QTextStream(stderr) << message << '\n';
        }
    });
    Domain::registerMetaTypes();
    setApplicationIdentity();
    QGuiApplication app(argc, argv);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.size() != 2 || arguments.indexOf(QString::fromLatin1(kOption)) != 0) {
        return fail(tr("usage: NoderaReader --search \"QUERY\""), 2);
    }
    const Indexing::SearchQuery query = Indexing::SearchQuery::parse(arguments.at(1));
    if (!query.isValid()) {
        return fail(query.isEmpty() ? tr("the query has no words to search for") : query.errorString(), 2);
    }

    const QString location = Common::Infrastructure::Settings::instance()->general.storageLocation();
    Indexing::SearchIndex index;
    if (!index.open(QDir(location).filePath(QStringLiteral("search-index")), true)) {
        return fail(tr("the search index of %1 is not built yet; start Nodera Reader and let it index the "
                       "library, then search again")
                        .arg(location));
    }
    auto *house = Common::Infrastructure::House::instance();
    if (!QFileInfo(QDir(location).filePath(QStringLiteral("database"))).isFile()
        || !house->setLocation(location)) {
        return fail(tr("there is no library in %1").arg(location));
    }
    Infrastructure::Database database;
    if (!database.open(house->databasePath())) {
        return fail(tr("the library's database cannot be opened: %1").arg(house->databasePath()));
    }
    if (Infrastructure::Migrator().needsMigration()) {
        Infrastructure::Database::close();
        return fail(tr("the library needs an upgrade; start Nodera Reader once, then search again"));
    }
    {
        Application::ServiceRegistry registry;
        Application::ServiceRegistry::setInstance(&registry);
        Application::DocumentService *documents = registry.documentService();
        const int libraryCount = documents->documents().size();
        const int finished = index.finishedDocumentCount();
        if (finished < libraryCount) {
            QTextStream(stderr) << tr("Nodera Reader: the index holds %1 of %2 documents so far; hits may be "
                                      "missing")
                                       .arg(finished)
                                       .arg(libraryCount)
                                << '\n';
        }
        const Indexing::SearchResults results = index.search(query, INT_MAX);
        QTextStream out(stdout);
        out.setCodec("UTF-8");
        for (const Indexing::SearchHit &hit : results.hits) {
            const std::optional<Domain::Document> doc = documents->find(hit.documentId);
            if (!doc) {
                continue; // removed since it was indexed
            }
            out << QDir::toNativeSeparators(QDir(location).absoluteFilePath(doc->localUrl())) << '\t'
                << placeOf(hit) << '\t' << hit.snippetText() << '\n';
        }
        Application::ServiceRegistry::setInstance(nullptr);
    }
    Infrastructure::Database::close();
    return 0;
}

} // namespace Nod::App
