// Times single service operations on a large document tree and a large library, each committed with
// the connection's own durability, and again without waiting for the disk to tell the commit's share.
// Prints one "name: value unit" line per figure.

#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/tagservice.h>
#include <domain/metatypes.h>
#include <infrastructure/database.h>
#include <infrastructure/idsource.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/resourcerepository.h>
#include <infrastructure/repositories/tagrepository.h>
#include <infrastructure/transaction.h>

#include <bench/benchsupport.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace Nod::Application;
using namespace Nod::Infrastructure;
using Nod::Domain::Annotation;
using Nod::Domain::Document;
using Nod::Domain::Marker;
using Nod::Domain::Tag;

using Bench::median;
using Bench::print;

namespace {

constexpr int TreeSize = 10000;
constexpr int Documents = 10000;
constexpr int Categories = 100;
constexpr int Rounds = 40;

void pragma(const char *statement)
{
    QSqlQuery query;
    query.exec(QString::fromLatin1(statement));
}

// Milliseconds of `timed`, the median over the rounds; `between` runs untimed after each round.
double measure(const std::function<void()> &timed, const std::function<void()> &between = {})
{
    std::vector<double> times;
    for (int round = 0; round < Rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        timed();
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (between) {
            between();
        }
    }
    return median(times);
}

struct Library
{
    int documentId = 0;
    int rootId = 0;
    int branchId = 0; // a child of the root with children of its own
};

// One document whose tree holds TreeSize nodes (most of them children of the root, some below a
// branch), and a library of Documents documents spread over Categories categories. Written in one
// transaction straight through the repositories: the set-up is not what is measured.
Library fill()
{
    Library library;
    DocumentRepository documents;
    AnnotationRepository annotations;
    TagRepository categories(QStringLiteral("Category"));
    Transaction transaction;
    std::vector<QSet<int>> members(Categories);
    for (int i = 0; i < Documents; ++i) {
        Document document(documents.nextId(), QStringLiteral("Document %1").arg(i));
        document.setLocalUrl(QStringLiteral("/library/document-%1.pdf").arg(i));
        document.setHash(QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0')));
        documents.insert(document);
        annotations.insert(Annotation(annotations.nextId(), document.id(), 0));
        members[i % Categories].insert(document.id());
        if (i % 7 == 0) {
            members[(i / 7) % Categories].insert(document.id());
        }
        if (i == 0) {
            library.documentId = document.id();
        }
    }
    for (int c = 0; c < Categories; ++c) {
        Tag tag(categories.nextId(), QStringLiteral("Category %1").arg(c), 0);
        tag.setItems(members[c]);
        categories.insert(tag);
    }

    Annotation root = *annotations.findDocumentNote(library.documentId);
    library.rootId = root.id();
    QVector<int> rootChildren;
    Annotation branch(annotations.nextId(), library.documentId, 0, QPointF(1, 1), root.id());
    branch.setCanvas(Marker(QRectF(0, 0, 10, 10)));
    library.branchId = branch.id();
    QVector<int> branchChildren;
    rootChildren.append(branch.id());
    for (int i = 2; i < TreeSize; ++i) {
        const bool underBranch = i % 10 == 0;
        Annotation node(annotations.nextId(), library.documentId, i / 10, QPointF(72, i % 700),
            underBranch ? branch.id() : root.id());
        node.setCanvas(Marker(QRectF(60, i % 700, 200, 30)));
        node.setNoteText(QStringLiteral("<p>note %1</p>").arg(i));
        annotations.insert(node);
        (underBranch ? branchChildren : rootChildren).append(node.id());
    }
    branch.setChildren(branchChildren);
    annotations.insert(branch);
    root.setChildren(rootChildren);
    annotations.update(root);
    transaction.commit();
    return library;
}

struct Figures
{
    double newAnnotation = 0;
    double move = 0;
    double removeLeaf = 0;
};

Figures timeTreeOperations(NoteService &notes, const Library &library)
{
    Figures figures;
    auto request = [&] {
        NewAnnotation r;
        r.id = notes.nextId();
        r.documentId = library.documentId;
        r.pageIndex = 5;
        r.canvas = Marker(QRectF(10, 10, 100, 20));
        r.parentId = library.rootId;
        r.index = notes.annotation(library.rootId).children().size();
        return r;
    };
    NewAnnotation pending = request();
    figures.newAnnotation = measure([&] { notes.newAnnotation(pending); }, [&] { pending = request(); });

    // Move the last child of the root under the branch and back again.
    const int last = notes.annotation(library.rootId).children().size() - 1;
    bool there = false;
    figures.move = measure([&] {
        if (!there) {
            notes.handle(MoveRequest { library.rootId, last, library.branchId, 0 });
        } else {
            notes.handle(MoveRequest { library.branchId, 0, library.rootId, last });
        }
        there = !there;
    });

    figures.removeLeaf = measure(
        [&] {
            notes.handle(
                RemoveRequest { notes.annotation(library.rootId).children().size() - 1, library.rootId });
        },
        [&] { notes.newAnnotation(request()); });
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Nod::Domain::registerMetaTypes();
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    });

    QTemporaryDir dir;
    Database database;
    if (!dir.isValid() || !database.open(dir.filePath(QStringLiteral("database")))) {
        std::fprintf(stderr, "bench_services: cannot create a database in %s\n", qPrintable(dir.path()));
        return 1;
    }
    Migrator migrator;
    if (!migrator.migrate()) {
        std::fprintf(stderr, "bench_services: migration failed\n");
        return 1;
    }

    QElapsedTimer fillTimer;
    fillTimer.start();
    const Library library = fill();
    print("fill_s", fillTimer.elapsed() / 1000.0, "s");

    auto annotations = std::make_shared<AnnotationRepository>();
    ResourceService images(std::make_shared<ResourceRepository>());
    NoteService notes(annotations, &images);

    // Counting runs once per document; later calls answer from the cache.
    QElapsedTimer timer;
    timer.start();
    const int count = notes.annotationCount(library.documentId);
    print("annotation_count_first_ms", timer.nsecsElapsed() / 1e6, "ms");
    print("annotation_count", count, "rows");

    // The connection runs with synchronous=EXTRA: every commit waits for the disk.
    const Figures durable = timeTreeOperations(notes, library);
    print("new_annotation_ms", durable.newAnnotation, "ms");
    print("move_across_parents_ms", durable.move, "ms");
    print("remove_leaf_ms", durable.removeLeaf, "ms");

    print("annotation_count_cached_us", 1000 * measure([&] { notes.annotationCount(library.documentId); }),
        "us");

    timer.restart();
    TagService categories(std::make_shared<TagRepository>(QStringLiteral("Category")));
    print("category_service_load_ms", timer.nsecsElapsed() / 1e6, "ms");
    int probe = 1;
    print("tags_of_document_us",
        1000 * measure([&] { categories.tagsOfDocument(probe); }, [&] { probe += 97; }), "us");

    // The bare price of a durable commit: one counter step in its own transaction.
    auto commitOnce = [] {
        Transaction transaction;
        IdSource::nextId();
        transaction.commit();
    };
    const double durableCommit = measure(commitOnce);
    pragma("PRAGMA synchronous = OFF");
    const double relaxedCommit = measure(commitOnce);
    pragma("PRAGMA synchronous = EXTRA");
    print("commit_ms", durableCommit, "ms");
    print("commit_no_sync_ms", relaxedCommit, "ms");

    // Each operation commits once, so the wait for the disk is the commit's difference.
    const double sync = std::max(0.0, durableCommit - relaxedCommit);
    print("sync_share_new_annotation", 100.0 * sync / durable.newAnnotation, "%");
    print("sync_share_move", 100.0 * sync / durable.move, "%");
    print("sync_share_remove_leaf", 100.0 * sync / durable.removeLeaf, "%");
    Database::close();
    return 0;
}
