#include "infrastructure/testsupport.h"

#include <annotating/boxesmarkeritem.h>
#include <annotating/canvasmarkeritem.h>
#include <annotating/gripkit.h>
#include <annotating/handgrip.h>
#include <annotating/linemarkeritem.h>
#include <annotating/markerfactory.h>
#include <annotating/markeritemfactory.h>
#include <annotating/polygongripkit.h>
#include <annotating/polygonmarkeritem.h>
#include <domain/metatypes.h>

#include <QApplication>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QMenu>
#include <QStyleOptionGraphicsItem>
#include <QtTest>

#include <memory>

using namespace Nod::Presentation;
using Nod::Domain::Marker;
using Nod::Domain::TextRects;

namespace {

// The rectangle as the rectangle tools draw it: each corner three times, clockwise from top-left.
QPolygonF steppedRect(const QRectF &r)
{
    QPolygonF polygon;
    for (const QPointF &corner : { r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft() }) {
        polygon << corner << corner << corner;
    }
    return polygon;
}

// The page transform of a page shown at 150 % horizontally and 200 % vertically.
const QTransform kPageTransform = QTransform::fromScale(1.5, 2.0);
const QRectF kPageRect(0, 0, 600, 800); // page item coordinates

} // namespace

class MarkerItemsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QGraphicsScene> m_scene;
    std::unique_ptr<QGraphicsView> m_view;
    QGraphicsRectItem *m_page = nullptr;

    // A mark made from a stored Marker, placed on the page as the scene places an annotation.
    MarkerItem *show(const Marker &marker, const QPointF &position = QPointF(30, 40))
    {
        MarkerItem *item = MarkerItemFactory::create(marker, kPageTransform, m_page);
        item->setPos(position);
        item->setFlag(QGraphicsItem::ItemIsSelectable);
        item->setPageRect(kPageRect);
        return item;
    }

    // QTest moves the cursor without a button held; a drag needs the button in the event.
    static void dragTo(QWidget *widget, const QPoint &pos)
    {
        QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(widget, &move);
    }

    QPoint viewPoint(const QPointF &scenePoint) const { return m_view->mapFromScene(scenePoint); }

    // Presses a grip, moves it to `to` (scene coordinates) unless it is null, and releases it.
    // Returns where the pointer really ended, in scene coordinates.
    QPointF dragGrip(Handgrip *grip, const QPointF &to)
    {
        QWidget *viewport = m_view->viewport();
        const QPoint from = viewPoint(grip->scenePos());
        const QPoint end = to.isNull() ? from : viewPoint(to);
        QTest::mousePress(viewport, Qt::LeftButton, {}, from);
        if (end != from) {
            dragTo(viewport, (from + end) / 2);
            dragTo(viewport, end);
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, end);
        return m_view->mapToScene(end);
    }

private slots:
    void initTestCase() { Nod::Domain::registerMetaTypes(); }

    void init()
    {
        MarkerItem::setBackgroundMode(Nod::Domain::BackgroundMode());
        m_scene = std::make_unique<QGraphicsScene>(0, 0, 700, 900);
        m_page = m_scene->addRect(kPageRect);
        m_page->setPos(20, 10);
        m_view = std::make_unique<QGraphicsView>(m_scene.get());
        m_view->resize(760, 960);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup()
    {
        m_view.reset();
        m_scene.reset();
    }

    void factories_roundTripEveryShapeInPageCoordinates_data()
    {
        QTest::addColumn<Marker>("marker");
        QTest::addColumn<QRectF>("shownBounds"); // item coordinates, before the pen
        QPen pen(QColor(200, 10, 10), 2);
        QBrush brush(QColor(255, 255, 0, 128));
        QTest::newRow("polygon") << Marker(steppedRect(QRectF(10, 20, 100, 50)), Marker::AllEdges, pen,
            Qt::NoBrush) << QRectF(15, 40, 150, 100);
        QTest::newRow("text boxes") << Marker(
            TextRects({ QRectF(0, 0, 40, 10), QRectF(0, 12, 20, 10) }), Marker::Underline, pen, brush)
                                    << QRectF(0, 0, 60, 44);
        QTest::newRow("line") << Marker(QLineF(5, 30, 85, 30), pen) << QRectF(7.5, 60, 120, 0);
        QTest::newRow("canvas") << Marker(QRectF(0, 0, 80, 40)) << QRectF(0, 0, 120, 80);
    }

    void factories_roundTripEveryShapeInPageCoordinates()
    {
        QFETCH(Marker, marker);
        QFETCH(QRectF, shownBounds);
        MarkerItem *item = show(marker);
        QVERIFY(item);
        // Shown at the page's scale, not in page units.
        const QRectF bounds = item->boundingRect();
        const qreal slack = marker.pen().widthF() + 0.01;
        QVERIFY2(qAbs(bounds.left() - shownBounds.left()) <= slack
                && qAbs(bounds.right() - shownBounds.right()) <= slack
                && qAbs(bounds.top() - shownBounds.top()) <= slack
                && qAbs(bounds.bottom() - shownBounds.bottom()) <= slack,
            qPrintable(QStringLiteral("bounds %1,%2 %3x%4")
                           .arg(bounds.x())
                           .arg(bounds.y())
                           .arg(bounds.width())
                           .arg(bounds.height())));
        const Marker back = MarkerFactory::create(item, kPageTransform.inverted());
        QVERIFY(back == marker);
        QCOMPARE(back.shape().userType(), marker.shape().userType());

        // Applying what the item shows changes nothing; applying a moved shape changes it once.
        QSignalSpy shapeChanged(item, &MarkerItem::shapeChanged);
        QVERIFY(MarkerItemFactory::apply(item, back, kPageTransform));
        QCOMPARE(shapeChanged.count(), 0);
        const QTransform moved = QTransform::fromTranslate(3, 4);
        const Marker shifted = MarkerFactory::create(item, kPageTransform.inverted() * moved);
        QVERIFY(MarkerItemFactory::apply(item, shifted, kPageTransform));
        QCOMPARE(shapeChanged.count(), 1);
        QVERIFY(MarkerFactory::create(item, kPageTransform.inverted()) == shifted);
        QVERIFY(!MarkerItemFactory::apply(
            item, Marker(QVariant(QStringLiteral("x")), Marker::NoLine, {}, {}), kPageTransform));
    }

    void factories_refuseWhatIsNotAMark()
    {
        TestSupport::LogCapture log;
        QCOMPARE(MarkerItemFactory::create(Marker(), kPageTransform, m_page), nullptr);
        QVERIFY(log.contains(QStringLiteral("Nod::Presentation::MarkerItemFactory::create")));
        QGraphicsRectItem notAMark(0, 0, 5, 5);
        QVERIFY(MarkerFactory::create(&notAMark, QTransform()).isNull());
        QVERIFY(log.contains(QStringLiteral("Nod::Presentation::MarkerFactory::create")));
    }

    void polygonGrips_stepTheCornerAndKeepToTheShape()
    {
        auto *item = static_cast<PolygonMarkerItem *>(
            show(Marker(steppedRect(QRectF(0, 0, 100, 60)), Marker::NoLine, Qt::NoPen, QColor(Qt::yellow))));
        const QPolygonF before = item->polygon();
        QSignalSpy shapeChanged(item, &MarkerItem::shapeChanged);
        item->setSelected(true);
        QVERIFY(item->gripkit());
        QCOMPARE(item->gripkit()->handgrips().size(), 8);
        // A yellow highlight gets blue grips.
        QCOMPARE(item->gripkit()->color().rgb(), QColor(Qt::blue).rgb());

        // Released where it was pressed: nothing changes.
        dragGrip(item->gripkit()->handgrip(0), QPointF());
        QCOMPARE(shapeChanged.count(), 0);
        QCOMPARE(item->polygon(), before);

        // The top-left grip dragged into the middle steps the top-left corner and nothing else.
        const QPointF end
            = item->mapFromScene(dragGrip(item->gripkit()->handgrip(0), item->mapToScene(75, 60)));
        QCOMPARE(shapeChanged.count(), 1);
        const QPolygonF after = item->polygon();
        QCOMPARE(after[1], end);
        QCOMPARE(after[0], QPointF(0, end.y()));
        QCOMPARE(after[2], QPointF(end.x(), 0));
        for (int i = 3; i < 12; ++i) {
            QCOMPARE(after[i], before[i]);
        }
        // The stored shape follows, in page units.
        const QPolygonF stored
            = MarkerFactory::create(item, kPageTransform.inverted()).shape().value<QPolygonF>();
        QCOMPARE(stored[1], kPageTransform.inverted().map(end));

        // A corner dragged outside the shape stops on its bounding rectangle.
        dragGrip(item->gripkit()->handgrip(7), item->mapToScene(400, 300));
        QCOMPARE(item->polygon()[7], QPointF(150, 120));

        // An edge dragged outside moves the edge, but not off the page.
        dragGrip(item->gripkit()->handgrip(4), m_page->mapToScene(kPageRect.right() + 50, 100));
        const qreal pageRight = item->mapFromParent(kPageRect.topRight()).x();
        QCOMPARE(item->polygon()[5].x(), pageRight);
        QCOMPARE(item->polygon()[6].x(), pageRight);
        QCOMPARE(static_cast<PolygonGripkit *>(item->gripkit())->polygon(), item->polygon());
    }

    void rectangleGrips_normaliseAndKeepToThePage()
    {
        auto *canvas = static_cast<CanvasMarkerItem *>(show(Marker(QRectF(0, 0, 100, 50))));
        canvas->setSelected(true);
        QSignalSpy shapeChanged(canvas, &MarkerItem::shapeChanged);
        dragGrip(canvas->gripkit()->handgrip(7), QPointF());
        QCOMPARE(shapeChanged.count(), 0);

        // The top-left corner pulled past the bottom-right one turns the rectangle over.
        const QPointF end
            = canvas->mapFromScene(dragGrip(canvas->gripkit()->handgrip(0), canvas->mapToScene(200, 160)));
        QCOMPARE(shapeChanged.count(), 1);
        QCOMPARE(canvas->rect(), QRectF(QPointF(150, 100), end).normalized());
        QVERIFY(canvas->rect().isValid());
        auto *kit = static_cast<Gripkit *>(canvas->gripkit());
        QCOMPARE(kit->handgrip(0)->pos(), canvas->rect().topLeft());
        QCOMPARE(kit->handgrip(7)->pos(), canvas->rect().bottomRight());

        // Past the page's corner: held on the page.
        dragGrip(
            canvas->gripkit()->handgrip(7), m_page->mapToScene(kPageRect.bottomRight() + QPointF(80, 80)));
        QCOMPARE(canvas->mapToParent(canvas->rect().bottomRight()), kPageRect.bottomRight());
        dragGrip(canvas->gripkit()->handgrip(0), m_page->mapToScene(-40, -40));
        QCOMPARE(canvas->mapToParent(canvas->rect().topLeft()), kPageRect.topLeft());
        QCOMPARE(shapeChanged.count(), 3);
    }

    void lineGrips_moveTheEndsOnThePage()
    {
        auto *line = static_cast<LineMarkerItem *>(show(Marker(QLineF(0, 10, 100, 10), QPen(Qt::red, 2))));
        line->setSelected(true);
        // A red line gets cyan grips.
        QCOMPARE(line->gripkit()->color().rgb(), QColor(Qt::cyan).rgb());
        QSignalSpy shapeChanged(line, &MarkerItem::shapeChanged);
        dragGrip(line->gripkit()->handgrip(9), QPointF());
        QCOMPARE(shapeChanged.count(), 0);
        dragGrip(line->gripkit()->handgrip(9), m_page->mapToScene(kPageRect.right() + 100, 20));
        QCOMPARE(shapeChanged.count(), 1);
        QCOMPARE(line->line().p1(), QPointF(0, 20));
        QCOMPARE(line->mapToParent(line->line().p2()).x(), kPageRect.right());
        line->setSelected(false);
        QCOMPARE(line->gripkit(), nullptr);
    }

    void userRequests_areAnnouncedOutsideTheItemsHandlers()
    {
        auto *highlight = static_cast<BoxesMarkerItem *>(
            show(Marker(TextRects({ QRectF(0, 0, 60, 10) }), Marker::NoLine, Qt::NoPen, QColor(Qt::yellow))));
        QPointer<MarkerItem> guard(highlight);
        QSignalSpy removeRequested(highlight, &MarkerItem::removeRequested);
        QSignalSpy toggleRequested(highlight, &MarkerItem::toggleViewRequested);
        QSignalSpy hovered(highlight, &MarkerItem::hoveredChanged);

        const QPoint inside = viewPoint(highlight->mapToScene(highlight->boundingRect().center()));
        QTest::mouseMove(m_view->viewport(), inside);
        QTRY_COMPARE(hovered.count(), 1);
        QCOMPARE(hovered.first().first().toBool(), true);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, inside);
        QCOMPARE(toggleRequested.count(), 1);

        // Delete twice from the keyboard: one request, after the key handler has returned, so the
        // receiver may delete the item.
        connect(highlight, &MarkerItem::removeRequested, highlight, [highlight] { delete highlight; });
        QApplication::setActiveWindow(m_view.get());
        m_view->setFocus();
        highlight->setFocus();
        QCOMPARE(m_scene->focusItem(), highlight);
        QTest::keyClick(m_view.get(), Qt::Key_Delete);
        QTest::keyClick(m_view.get(), Qt::Key_Delete);
        QCOMPARE(removeRequested.count(), 0);
        QTRY_VERIFY(guard.isNull());
        QCOMPARE(removeRequested.count(), 1);

        // The menu's Remove, with the item deleted by the receiver.
        MarkerItem *line = show(Marker(QLineF(0, 200, 100, 200), QPen(Qt::blue, 4)));
        QPointer<MarkerItem> lineGuard(line);
        connect(line, &MarkerItem::removeRequested, line, [line] { delete line; });
        const QPoint onLine = viewPoint(line->mapToScene(75, 400));
        QContextMenuEvent menuEvent(
            QContextMenuEvent::Mouse, onLine, m_view->viewport()->mapToGlobal(onLine));
        QCoreApplication::sendEvent(m_view->viewport(), &menuEvent);
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions.last()->text(), QStringLiteral("&Remove"));
        actions.last()->trigger();
        menu->close();
        QTRY_VERIFY(lineGuard.isNull());
    }

    void shapeSetters_announceOnlyChanges()
    {
        auto *polygon = static_cast<PolygonMarkerItem *>(
            show(Marker(steppedRect(QRectF(0, 0, 10, 10)), Marker::NoLine, Qt::NoPen, QColor(Qt::yellow))));
        QSignalSpy shapeChanged(polygon, &MarkerItem::shapeChanged);
        const QPolygonF other = steppedRect(QRectF(0, 0, 20, 20));
        polygon->setPolygon(other);
        polygon->setPolygon(other);
        polygon->setPolygon(QPolygonF());
        QCOMPARE(shapeChanged.count(), 1);
        auto *canvas = static_cast<CanvasMarkerItem *>(show(Marker(QRectF(0, 0, 10, 10))));
        QSignalSpy canvasChanged(canvas, &MarkerItem::shapeChanged);
        canvas->setRect(QRectF(0, 0, 15, 15 + 1e-14));
        canvas->setRect(QRectF(0, 0, 15, 15));
        canvas->setRect(QRectF(5, 5, -3, 4));
        QCOMPARE(canvasChanged.count(), 1);
    }

    void lineGroup_keepsItsLinesInOrderAsTheyCome_andGo()
    {
        auto *canvas = static_cast<CanvasMarkerItem *>(show(Marker(QRectF(0, 0, 120, 12))));
        QVector<LineMarkerItem *> lines;
        for (int i = 0; i < 3; ++i) {
            lines << static_cast<LineMarkerItem *>(MarkerItemFactory::create(
                Marker(QLineF(0, 3 * i, 120, 3 * i), QPen(Qt::red)), kPageTransform));
        }
        canvas->insertChild(0, lines[2]);
        canvas->insertChild(0, lines[0]);
        canvas->insertChild(1, lines[1]);
        canvas->insertChild(9, lines[1]); // already there: ignored
        QCOMPARE(canvas->childCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(canvas->indexOf(lines[i]), i);
            QCOMPARE(lines[i]->parentItem(), canvas);
        }
        // A line deleted by its owner leaves no gap.
        delete lines[1];
        QCOMPARE(canvas->childCount(), 2);
        QCOMPARE(canvas->childAt(1), static_cast<MarkerItem *>(lines[2]));
        QCOMPARE(canvas->indexOf(lines[2]), 1);
        // The lines keep to the page through their canvas.
        lines[2]->setFlag(QGraphicsItem::ItemIsSelectable);
        lines[2]->setSelected(true);
        auto *kit = lines[2]->gripkit();
        dragGrip(kit->handgrip(8), m_page->mapToScene(-70, 300));
        QCOMPARE(lines[2]->mapToScene(lines[2]->line().p1()).x(), m_page->mapToScene(0, 0).x());
        delete canvas; // with its lines
        QCOMPARE(m_page->childItems().size(), 0);
    }

    void painting_lightensOnlyOnScreenOverDarkBackgrounds()
    {
        auto *highlight = static_cast<BoxesMarkerItem *>(show(
            Marker(TextRects({ QRectF(0, 0, 10, 10) }), Marker::NoLine, Qt::NoPen, QColor(255, 255, 0))));
        const auto paintOverBlack = [highlight](QWidget *widget) {
            QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::black);
            QPainter painter(&image);
            QStyleOptionGraphicsItem option;
            highlight->paint(&painter, &option, widget);
            painter.end();
            return image.pixelColor(1, 1);
        };
        QWidget screen;
        QCOMPARE(paintOverBlack(&screen), QColor(Qt::black));
        MarkerItem::setBackgroundMode(Nod::Domain::BackgroundMode(1, Qt::black));
        QCOMPARE(paintOverBlack(&screen), QColor(255, 255, 0));
        QCOMPARE(paintOverBlack(nullptr), QColor(Qt::black)); // printing
    }
};

QTEST_MAIN(MarkerItemsTest)
#include "tst_markeritems.moc"
