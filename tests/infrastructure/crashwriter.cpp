// Child process of tst_crashsafety: commits documents with their document notes through Transaction
// and the repositories, one per transaction, and prints each committed document id on its own line
// right after the commit returns. It runs until it is killed.
// With a second argument N it instead brings the database to the current schema and kills itself
// just before the migration's command N runs.

#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/transaction.h>

#include <domain/metatypes.h>

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>

using namespace Nod::Infrastructure;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Nod::Domain::registerMetaTypes();
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtInfoMsg && type != QtDebugMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    });
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        return 2;
    }
    Database database;
    if (!database.open(args.at(1))) {
        return 3;
    }
    if (args.size() > 2) {
        const int dieAt = args.at(2).toInt();
        Migrator migrator;
        QObject::connect(&migrator, &Migrator::commandFinished, [dieAt](int done) {
            if (done == dieAt) {
                std::printf("killed before command %d\n", done);
                std::fflush(stdout);
                std::raise(SIGKILL);
            }
        });
        migrator.migrate();
        return 4;
    }
    DocumentRepository documents;
    AnnotationRepository annotations;
    for (int round = 0;; ++round) {
        int documentId = 0;
        {
            Transaction transaction;
            documentId = documents.nextId();
            Nod::Domain::Document document(documentId, QStringLiteral("Document %1").arg(documentId));
            document.setLocalUrl(QStringLiteral("/library/%1.pdf").arg(documentId));
            document.setOverview(QString(200 + round % 300, QLatin1Char('o')));
            documents.insert(document);
            Nod::Domain::Annotation root(annotations.nextId(), documentId, 0);
            annotations.insert(root);
            transaction.commit();
        }
        std::printf("%d\n", documentId);
        std::fflush(stdout);
    }
}
