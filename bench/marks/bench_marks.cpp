// Times the marks of one crowded page: making 200 marks (text highlights with a box per character,
// stepped rectangles, line groups) from their stored Markers, and moving the mouse over the page in
// a shown view, each move including the repaint it causes (the mean and the slowest move). Takes no
// arguments; prints one "name: value unit" line per figure.

#include <annotating/compositemarkeritem.h>
#include <annotating/markeritem.h>
#include <annotating/markeritemfactory.h>
#include <domain/marker.h>
#include <domain/metatypes.h>

#include <bench/benchsupport.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMouseEvent>

#include <vector>

using Nod::Domain::Marker;
using Nod::Domain::TextRects;
using namespace Nod::Presentation;

namespace {

constexpr int kMarks = 200;
const QRectF kPage(0, 0, 612, 792);
const QTransform kPageTransform = QTransform::fromScale(1.5, 1.5);

QPolygonF steppedRect(const QRectF &r)
{
    QPolygonF polygon;
    for (const QPointF &corner : { r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft() }) {
        polygon << corner << corner << corner;
    }
    return polygon;
}

// The canvas and the marks of annotation `i`, with positions in page coordinates.
struct StoredMark
{
    QPointF position;
    Marker canvas;
    std::vector<Marker> markers;
};

StoredMark storedMark(int i)
{
    const qreal y = 20 + (i % 50) * 15;
    const qreal x = 30 + (i / 50) * 140;
    StoredMark mark;
    mark.position = QPointF(x, y);
    if (i % 10 < 7) {
        // Two lines of text, one box per character.
        TextRects boxes;
        for (int line = 0; line < 2; ++line) {
            for (int c = 0; c < 30; ++c) {
                boxes << QRectF(c * 4, line * 7, 4, 6);
            }
        }
        mark.canvas = Marker(boxes, Marker::NoLine, Qt::NoPen, QColor(255, 255, 0, 128));
    } else if (i % 10 < 9) {
        mark.canvas
            = Marker(steppedRect(QRectF(0, 0, 110, 12)), Marker::AllEdges, QPen(Qt::red, 2), Qt::NoBrush);
    } else {
        mark.canvas = Marker(QRectF(0, 0, 120, 12));
        for (int line = 0; line < 3; ++line) {
            mark.markers.push_back(Marker(QLineF(0, 3 + line * 3, 120, 3 + line * 3), QPen(Qt::red, 2)));
        }
    }
    return mark;
}

void moveMouse(QWidget *viewport, const QPoint &pos)
{
    QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(viewport, &move);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    Nod::Domain::registerMetaTypes();
    MarkerItem::setBackgroundMode(Nod::Domain::BackgroundMode());

    QGraphicsScene scene;
    QGraphicsRectItem *page = scene.addRect(kPageTransform.mapRect(kPage), QPen(Qt::black), Qt::white);

    int hoverChanges = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kMarks; ++i) {
        const StoredMark stored = storedMark(i);
        MarkerItem *canvas = MarkerItemFactory::create(stored.canvas, kPageTransform, page);
        canvas->setPos(kPageTransform.map(stored.position));
        canvas->setFlag(QGraphicsItem::ItemIsSelectable);
        QObject::connect(canvas, &MarkerItem::hoveredChanged, [&hoverChanges] { ++hoverChanges; });
        auto *composite = static_cast<CompositeMarkerItem *>(canvas);
        for (const Marker &marker : stored.markers) {
            MarkerItem *child = MarkerItemFactory::create(marker, kPageTransform);
            child->setFlag(QGraphicsItem::ItemIsSelectable);
            composite->insertChild(composite->childCount(), child);
        }
    }
    Bench::print("create_marks_ms", timer.nsecsElapsed() / 1e6, "ms");

    QGraphicsView view(&scene);
    view.resize(1000, 1250);
    view.show();
    app.processEvents();

    // Down the page and back, through every column of marks.
    QWidget *viewport = view.viewport();
    std::vector<double> moves;
    for (int pass = 0; pass < 4; ++pass) {
        for (int step = 0; step < 200; ++step) {
            const qreal x = 40 + (pass * 140 + (step % 20) * 7) * 1.5;
            const qreal y = (20 + step * 3.8) * 1.5;
            const QPoint pos = view.mapFromScene(QPointF(x, y));
            timer.restart();
            moveMouse(viewport, pos);
            // Twice: the scene's update posts the viewport's repaint while the first round runs.
            app.processEvents();
            app.processEvents();
            moves.push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    double total = 0;
    for (double move : moves) {
        total += move;
    }
    Bench::print("hover_move_ms", total / moves.size(), "ms");
    Bench::print("hover_changes", hoverChanges, "count");
    Bench::print("hover_move_max_ms", *std::max_element(moves.begin(), moves.end()), "ms");
    return 0;
}
