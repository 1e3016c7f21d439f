// Times the mind map of a generated 500-page PDF with 2,000 annotations under the document note,
// short notes and one in ten with an image: building the map, the layout after one move, and
// painting the whole map zoomed out. No arguments.
#include <application/serviceregistry.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <domain/metatypes.h>
#include <mindmap/annonodeitem.h>
#include <mindmap/mindmodel.h>
#include <mindmap/mindscene.h>
#include <mindmap/mindview.h>
#include <mindmap/rootmindnodeitem.h>

#include <bench/benchdocument.h>
#include <bench/benchsupport.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QUndoStack>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Nod;

namespace {

constexpr int kPages = 500;
constexpr int kAnnotations = 2000;

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    Domain::registerMetaTypes();
    Bench::Workspace workspace;
    if (!workspace.open()) {
        return 1;
    }
    const QString path = workspace.filePath(QStringLiteral("bench.pdf"));
    if (!Bench::writeTextPdf(path, kPages)) {
        std::fprintf(stderr, "cannot write the document\n");
        return 1;
    }
    const int documentId = workspace.addDocument(path, QStringLiteral("bench.pdf"));
    Bench::fillAnnotations(documentId, kPages, kAnnotations, 3, 200);
    const QSharedPointer<Backend::Document> document = BackendManager::instance()->openDocument(path);
    if (!document) {
        std::fprintf(stderr, "cannot open the document\n");
        return 1;
    }

    QUndoStack stack;
    auto view = std::make_unique<Presentation::MindView>();
    view->resize(1200, 900);
    view->show();
    QCoreApplication::processEvents();

    // Model, scene, 2,000 nodes with their marks and notes, and the layout of the whole map.
    QElapsedTimer timer;
    timer.start();
    view->openDocument(document, documentId, &stack, 96, 96);
    Bench::print("mindmap_build_ms", double(timer.elapsed()), "ms");
    Presentation::MindScene *scene = view->mindScene();
    Presentation::MindModel *model = view->model();
    if (model->children(model->rootId()).size() != kAnnotations) {
        std::fprintf(stderr, "the map is incomplete\n");
        return 1;
    }

    // One node moved to the end of the column, then the one layout pass that follows.
    std::vector<double> passes;
    std::vector<double> moves;
    for (int i = 0; i < 20; ++i) {
        const int root = model->rootId();
        QElapsedTimer one;
        one.start();
        model->move({ root, i * 50, i * 50 }, root, kAnnotations - 1);
        const qint64 stored = one.nsecsElapsed();
        scene->rootNode()->flushLayout();
        passes.push_back((one.nsecsElapsed() - stored) / 1e6);
        moves.push_back(one.nsecsElapsed() / 1e6);
    }
    Bench::print("mindmap_relayout_ms", Bench::median(passes), "ms");
    Bench::print("mindmap_move_and_relayout_ms", Bench::median(moves), "ms");

    // Every node in sight at once: the whole column fitted into the window, further out than the
    // views' zoom range reaches.
    view->fitInView(scene->itemsBoundingRect(), Qt::KeepAspectRatio);
    scene->setDetailScale(view->transform().m11());
    QCoreApplication::processEvents();
    const QRectF shown = view->mapToScene(view->viewport()->rect()).boundingRect();
    for (int id : model->children(model->rootId())) {
        const Presentation::AnnoNodeItem *node = scene->annoNode(id);
        if (!shown.contains(node->mapRectToScene(node->boundingRect()))) {
            std::fprintf(stderr, "a node is out of sight\n");
            return 1;
        }
    }
    std::vector<double> paints;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer one;
        one.start();
        view->viewport()->repaint();
        paints.push_back(one.nsecsElapsed() / 1e6);
    }
    Bench::print("mindmap_zoomed_out_paint_ms", Bench::median(paints), "ms");

    // Zoomed in on a screenful of nodes: each shown node's excerpt arrives from the processing thread.
    view->resetTransform();
    view->setZoomLevel(1.0);
    scene->setDetailScale(1.0);
    view->centerOn(scene->annoNode(model->children(model->rootId()).at(100)));
    timer.restart();
    view->viewport()->repaint();
    const qint64 paintMs = timer.elapsed();
    QCoreApplication::processEvents();
    QElapsedTimer wait;
    wait.start();
    while (scene->excerptCount() == 0 && wait.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    Bench::print("mindmap_zoomed_in_paint_ms", double(paintMs), "ms");
    Bench::print(
        "mindmap_first_excerpt_ms", scene->excerptCount() > 0 ? double(timer.elapsed()) : -1.0, "ms");

    view.reset();
    return 0;
}
