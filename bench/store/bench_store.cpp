// Fills a fresh database through the repositories and times the look-ups the services rely on.
// Prints one "name: value unit" line per figure.

#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/tablecheck.h>
#include <infrastructure/transaction.h>

#include <domain/metatypes.h>

#include <bench/benchsupport.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace Nod::Infrastructure;
using namespace Nod::Domain;

using Bench::print;

namespace {

constexpr int Documents = 10000;
constexpr int Annotations = 200000;
constexpr int BigTree = 10000; // nodes below the note of the first document, root included
constexpr int Batch = 1000;

Annotation pageAnnotation(int id, int documentId, int page, int parentId)
{
    Annotation annotation(id, documentId, page, QPointF(72.0 + id % 300, 100.0 + id % 500), parentId);
    annotation.setCanvas(Marker(QRectF(60, 90 + id % 500, 200, 40)));
    annotation.insertMarker(0,
        Marker(TextRects { QRectF(72, 100, 180, 12), QRectF(72, 114, 120, 12) }, Marker::NoLine,
            QPen(Qt::NoPen), QBrush(QColor(255, 230, 0, 96))));
    annotation.setNoteText(
        QStringLiteral("<html><body><p style=\"line-height:150%\">Note %1 about the passage "
                       "on this page, with a few words of comment.</p></body></html>")
            .arg(id));
    return annotation;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    registerMetaTypes();
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    });

    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("database"));
    {
        Database database;
        if (!database.open(path)) {
            return 1;
        }
        Migrator migrator;
        migrator.migrate();
    }

    DocumentRepository documents;
    AnnotationRepository annotations;
    QVector<int> documentIds;
    QVector<int> rootIds;

    QElapsedTimer timer;
    timer.start();
    for (int first = 0; first < Documents; first += Batch) {
        Transaction transaction;
        for (int i = first; i < first + Batch; ++i) {
            Document document(documents.nextId(), QStringLiteral("Document %1").arg(i));
            document.setLocalUrl(QStringLiteral("/library/shelf %1/document %2.pdf").arg(i % 50).arg(i));
            document.setHash(QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0')));
            document.setAddedAt(QDateTime::currentDateTime());
            documents.insert(document);
            Annotation root(annotations.nextId(), document.id(), 0);
            annotations.insert(root);
            documentIds << document.id();
            rootIds << root.id();
        }
        transaction.commit();
    }
    const double documentMs = timer.elapsed();
    print("insert_documents_with_notes_rate", Documents / (documentMs / 1000.0), "documents/s");

    // The first document's note carries a tree of BigTree nodes (ten levels of fan-out); the rest of
    // the annotations are spread over the other documents, 20 pages each.
    QVector<int> pageAnnotationIds;
    const int spread = Annotations - (BigTree - 1);
    timer.restart();
    int inserted = 0;
    {
        QVector<int> level { rootIds.first() };
        int made = 1;
        while (made < BigTree) {
            Transaction transaction;
            QVector<int> next;
            for (const int parent : qAsConst(level)) {
                QVector<int> children;
                for (int k = 0; k < 10 && made < BigTree; ++k, ++made) {
                    const int id = annotations.nextId();
                    annotations.insert(pageAnnotation(id, documentIds.first(), made % 300, parent));
                    children << id;
                    next << id;
                    ++inserted;
                }
                Annotation parentRow = annotations.find(parent).value();
                parentRow.setChildren(children);
                annotations.update(parentRow);
            }
            transaction.commit();
            level = next;
        }
    }
    for (int first = 0; first < spread; first += Batch) {
        Transaction transaction;
        for (int i = first; i < qMin(first + Batch, spread); ++i) {
            const int index = 1 + i % (Documents - 1);
            const int id = annotations.nextId();
            annotations.insert(
                pageAnnotation(id, documentIds.at(index), (i / Documents) % 20, rootIds.at(index)));
            pageAnnotationIds << id;
            ++inserted;
        }
        transaction.commit();
    }
    const double annotationMs = timer.elapsed();
    print("insert_annotations_rate", inserted / (annotationMs / 1000.0), "annotations/s");
    print("annotations_inserted", inserted, "rows");

    QRandomGenerator random(7);
    constexpr int Finds = 20000;
    timer.restart();
    int found = 0;
    for (int i = 0; i < Finds; ++i) {
        found += annotations.find(pageAnnotationIds.at(random.bounded(pageAnnotationIds.size()))).has_value();
    }
    print("find_annotation_by_id", timer.nsecsElapsed() / 1000.0 / Finds, "us");
    timer.restart();
    for (int i = 0; i < Finds; ++i) {
        found += documents.find(documentIds.at(random.bounded(documentIds.size()))).has_value();
    }
    print("find_document_by_id", timer.nsecsElapsed() / 1000.0 / Finds, "us");

    constexpr int Pages = 5000;
    timer.restart();
    int rows = 0;
    for (int i = 0; i < Pages; ++i) {
        rows += annotations.findByPage(documentIds.at(1 + random.bounded(Documents - 1)), random.bounded(20))
                    .size();
    }
    print("page_query", timer.nsecsElapsed() / 1000.0 / Pages, "us");
    print("page_query_rows_per_call", double(rows) / Pages, "rows");

    timer.restart();
    constexpr int NoteLookups = 5000;
    for (int i = 0; i < NoteLookups; ++i) {
        found += annotations.findDocumentNote(documentIds.at(random.bounded(Documents))).has_value();
    }
    print("document_note_query", timer.nsecsElapsed() / 1000.0 / NoteLookups, "us");

    timer.restart();
    const QSet<int> tree = descendants(QStringLiteral("Annotation"), rootIds.first());
    print("descendants_10000_node_note", timer.nsecsElapsed() / 1e6, "ms");
    print("descendants_count", tree.size(), "ids");

    timer.restart();
    constexpr int PathLookups = 2000;
    for (int i = 0; i < PathLookups; ++i) {
        const int n = random.bounded(Documents);
        found += documents
                     .findByLocalUrl(QStringLiteral("/library/shelf %1/document %2.pdf").arg(n % 50).arg(n))
                     .size();
    }
    print("find_document_by_path", timer.nsecsElapsed() / 1000.0 / PathLookups, "us");

    Database::close();
    print("database_file_size", QFileInfo(path).size() / 1048576.0, "MiB");
    timer.restart();
    Database database;
    const bool opened = database.open(path);
    print("open_and_quick_check", timer.nsecsElapsed() / 1e6, "ms");
    Database::close();
    return opened && found > 0 ? 0 : 1;
}
