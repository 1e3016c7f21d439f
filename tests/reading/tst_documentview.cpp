#include "readingtestsupport.h"

#include <reading/abstracttool.h>

#include <backend/tileitem.h>

#include <QAction>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUndoStack>

#include <cmath>

using namespace ReadingTest;

// The reading view driven as a user drives it: keys, wheel and scroll bar, history, page modes,
// zoom, and what gets painted.
class TestDocumentView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keys_navigateAndHistoryReturns();
    void scrollBarMoves_mergeIntoOneStepBack();
    void ctrlWheel_gathersNotchesAndTreatsTouchpadProportionally();
    void zoom_inAndOutReturnsAndStaysBounded();
    void singlePageMode_wheelAtTheEdgesTurnsPages();
    void presentationMode_showsOnePageFittedOnBlackAndPaintsIt();
    void painting_hugeZoomStaysSharpAndScrollingBackRendersNothing();
    void handTool_dragScrollsTheView();

private:
    static void wheel(PDFDocumentView *view, QPoint angle, QPoint pixels, Qt::KeyboardModifiers modifiers);

    QTemporaryDir m_dir;
    QString m_tenPages;
};

void TestDocumentView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_tenPages = m_dir.filePath(QStringLiteral("ten.pdf"));
    QVERIFY(writePdf(m_tenPages, 10));
}

void TestDocumentView::wheel(
    PDFDocumentView *view, QPoint angle, QPoint pixels, Qt::KeyboardModifiers modifiers)
{
    const QPointF pos(view->viewport()->rect().center());
    QWheelEvent event(pos, QPointF(view->viewport()->mapToGlobal(pos.toPoint())), pixels, angle, Qt::NoButton,
        modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
}

void TestDocumentView::keys_navigateAndHistoryReturns()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    QSignalSpy changedPage(view, &PDFDocumentView::changedPage);
    QCOMPARE(view->currentPage(), 0);
    QCOMPARE(view->pageCount(), 10);

    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(view->currentPage(), 9);
    QCOMPARE(changedPage.last().at(0).toInt(), 9);
    // The last page's top is at the top of the viewport.
    QCOMPARE(view->visibleSceneRect().top(), reader.page(9)->sceneBoundingRect().top());

    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(view->currentPage(), 0);
    QTest::keyClick(view, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(view->currentPage(), 9);

    // Going to the page already shown records nothing; going past the end records a step that
    // leaves the view alone.
    const int steps = view->history()->count();
    view->goToPage(9);
    QCOMPARE(view->history()->count(), steps);
    view->goNext();
    QCOMPARE(view->currentPage(), 9);

    // A jump records where the view was, exactly.
    QTest::keyClick(view, Qt::Key_Home);
    const int valueBefore = view->verticalScrollBar()->value();
    view->jumpToPage(6);
    QCOMPARE(view->currentPage(), 6);
    QCOMPARE(view->visibleSceneRect().top(), reader.page(6)->sceneBoundingRect().top());
    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(view->currentPage(), 0);
    QCOMPARE(view->verticalScrollBar()->value(), valueBefore);

    // Scrolling by hand updates the current page once the view has moved.
    view->verticalScrollBar()->setValue(int(reader.page(4)->sceneBoundingRect().top()) + 10);
    view->viewport()->repaint();
    QCOMPARE(view->currentPage(), 4);
}

void TestDocumentView::scrollBarMoves_mergeIntoOneStepBack()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    QScrollBar *bar = view->verticalScrollBar();
    QCOMPARE(bar->value(), 0);

    // Page Down in one column keeps two lines of the previous screen.
    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(bar->value(), bar->pageStep() - 2 * bar->singleStep());
    QTest::keyClick(view, Qt::Key_Space);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QTest::keyClick(view, Qt::Key_Down);
    const int scrolled = bar->value();
    QVERIFY(scrolled > 2 * bar->pageStep());

    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(bar->value(), 0);
    QVERIFY(!view->previousViewAction()->isEnabled());
    QTest::keyClick(view, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(bar->value(), scrolled);
}

void TestDocumentView::ctrlWheel_gathersNotchesAndTreatsTouchpadProportionally()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    QSignalSpy zoomed(view, &PDFDocumentView::changedZoom);

    // Two quick notches zoom once, by 1.1 squared.
    wheel(view, QPoint(0, 120), QPoint(), Qt::ControlModifier);
    wheel(view, QPoint(0, 120), QPoint(), Qt::ControlModifier);
    QTRY_COMPARE(zoomed.count(), 1);
    QVERIFY(qFuzzyCompare(view->zoomLevel(), 1.21));
    QTest::qWait(250);
    QCOMPARE(zoomed.count(), 1);

    // A notch up and one down cancel out.
    wheel(view, QPoint(0, 120), QPoint(), Qt::ControlModifier);
    wheel(view, QPoint(0, -120), QPoint(), Qt::ControlModifier);
    QTest::qWait(300);
    QCOMPARE(zoomed.count(), 1);

    // A touchpad sends many small deltas with large pixel counts: the zoom follows the angle
    // (a tenth of a notch each), not the pixel count.
    for (int i = 0; i < 5; ++i) {
        wheel(view, QPoint(0, 12), QPoint(0, 40), Qt::ControlModifier);
    }
    QTRY_COMPARE(zoomed.count(), 2);
    QVERIFY(std::abs(view->zoomLevel() - 1.21 * std::pow(1.1, 0.5)) < 1e-9);

    // Without Ctrl the wheel scrolls.
    const int value = view->verticalScrollBar()->value();
    wheel(view, QPoint(0, -120), QPoint(), Qt::NoModifier);
    QVERIFY(view->verticalScrollBar()->value() > value);
}

void TestDocumentView::zoom_inAndOutReturnsAndStaysBounded()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    for (int i = 0; i < 10; ++i) {
        view->zoomIn();
    }
    QVERIFY(qFuzzyCompare(view->zoomLevel(), std::pow(1.1, 10)));
    for (int i = 0; i < 10; ++i) {
        view->zoomOut();
    }
    QVERIFY(qFuzzyCompare(view->zoomLevel(), 1.0));
    QVERIFY(qFuzzyCompare(view->transform().m11(), 1.0));

    view->setZoomLevel(1e9);
    QCOMPARE(view->zoomLevel(), Base::View::MaximumZoom);
    view->setZoomLevel(1e-9);
    QCOMPARE(view->zoomLevel(), Base::View::MinimumZoom);

    // Fitting follows the current page: its width, then the whole page.
    view->goToPage(3);
    view->zoomFitWidth();
    QVERIFY(
        std::abs(reader.page(3)->sceneBoundingRect().width() * view->zoomLevel() - view->viewport()->width())
        < 20);
    view->zoomFitWindow();
    QVERIFY(reader.page(3)->sceneBoundingRect().height() * view->zoomLevel() <= view->viewport()->height());
    view->zoom100();
    QCOMPARE(view->zoomLevel(), 1.0);
}

void TestDocumentView::singlePageMode_wheelAtTheEdgesTurnsPages()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    qRegisterMetaType<PDFDocumentView::PageMode>();
    QSignalSpy modes(view, &PDFDocumentView::changedPageMode);
    view->goToPage(2);
    view->setSinglePageMode();
    QCOMPARE(modes.count(), 1);
    QCOMPARE(reader.scene->visiblePage(), 2);
    QVERIFY(reader.page(2)->isVisible());
    QVERIFY(!reader.page(1)->isVisible() && !reader.page(3)->isVisible());

    QScrollBar *bar = view->verticalScrollBar();
    while (bar->value() < bar->maximum()) {
        wheel(view, QPoint(0, -120), QPoint(), Qt::NoModifier);
    }
    QCOMPARE(view->currentPage(), 2);
    wheel(view, QPoint(0, -120), QPoint(), Qt::NoModifier);
    QCOMPARE(view->currentPage(), 3);
    QVERIFY(reader.page(3)->isVisible() && !reader.page(2)->isVisible());
    wheel(view, QPoint(0, 120), QPoint(), Qt::NoModifier);
    QCOMPARE(view->currentPage(), 2);
    // Back on page 2 at its bottom, where the reader left it.
    QCOMPARE(bar->value(), bar->maximum());

    // Page steps merge: next then previous is one step from page 2 to page 2.
    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(view->currentPage(), 3);
    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(view->currentPage(), 2);

    view->setOneColContPageMode();
    QCOMPARE(reader.scene->visiblePage(), -2);
    QVERIFY(reader.page(0)->isVisible() && reader.page(9)->isVisible());
    QCOMPARE(view->currentPage(), 2);
    QVERIFY(view->visibleSceneRect().intersects(reader.page(2)->sceneBoundingRect()));

    view->setTwoColContPageMode();
    QCOMPARE(reader.scene->pageLayout().columnCount(), 2);
    QCOMPARE(reader.scene->pageLayout().columnOf(reader.page(0)), 1);
    QVERIFY(view->visibleSceneRect().intersects(reader.page(2)->sceneBoundingRect()));
}

void TestDocumentView::presentationMode_showsOnePageFittedOnBlackAndPaintsIt()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    view->goToPage(5);
    view->setPresentationMode();
    QCOMPARE(view->backgroundBrush().color(), QColor(Qt::black));
    QCOMPARE(reader.scene->visiblePage(), 5);
    const QRectF shown = view->mapFromScene(reader.page(5)->sceneBoundingRect()).boundingRect();
    QVERIFY(view->viewport()->rect().adjusted(-2, -2, 2, 2).contains(shown.toRect()));
    QVERIFY(
        shown.height() > view->viewport()->height() - 30 || shown.width() > view->viewport()->width() - 30);

    // The page really renders: its black box shows.
    QVERIFY(reader.waitSharp(5));
    const QImage image = view->viewport()->grab().toImage();
    const QPointF box = view->mapFromScene(reader.page(5)->mapToScene(QPointF(150, 250)));
    QCOMPARE(QColor(image.pixel(box.toPoint())), QColor(Qt::black));

    QTest::keyClick(view, Qt::Key_PageDown);
    QCOMPARE(view->currentPage(), 6);
    QVERIFY(reader.waitSharp(6));
}

void TestDocumentView::painting_hugeZoomStaysSharpAndScrollingBackRendersNothing()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    QVERIFY(reader.waitSharp(0));

    // At 40x a whole letter page would be billions of bytes; the page still shows, sharp.
    view->setZoomLevel(40);
    view->centerOn(reader.page(0)->mapToScene(QPointF(72, 250)));
    QVERIFY(reader.waitSharp(0, 30000));
    QVERIFY(TileItem::cacheTotalCost() <= TileItem::pixmapCacheLimit());
    QImage image = view->viewport()->grab().toImage();
    // The view is centred on the box's left edge: white on the left, black on the right.
    const QPoint centre = view->viewport()->rect().center();
    QCOMPARE(QColor(image.pixel(centre + QPoint(-100, 0))), QColor(Qt::white));
    QCOMPARE(QColor(image.pixel(centre + QPoint(100, 0))), QColor(Qt::black));

    // Back to 1x, scroll down three pages and back: page 0 shows at once from the cache.
    view->setZoomLevel(1);
    QVERIFY(reader.waitSharp(0));
    view->verticalScrollBar()->setValue(int(reader.page(3)->sceneBoundingRect().top()));
    QVERIFY(reader.waitSharp(3));
    // Page 0 left the viewport: whatever it still had in flight winds down.
    QTRY_VERIFY(!reader.page(0)->hasActiveRenders());
    view->verticalScrollBar()->setValue(0);
    view->viewport()->repaint();
    QVERIFY(reader.page(0)->isSharp());
    QVERIFY(!reader.page(0)->hasActiveRenders());
}

void TestDocumentView::handTool_dragScrollsTheView()
{
    Reader reader(m_tenPages);
    PDFDocumentView *view = reader.view.get();
    QCOMPARE(view->armedTool()->type(), int(DocumentTool::AbstractTool::Move));
    QScrollBar *bar = view->verticalScrollBar();
    const QPoint start = view->viewport()->rect().center();
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, start - QPoint(0, 120), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QCOMPARE(bar->value(), 120);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, start - QPoint(0, 120));
    QCOMPARE(view->viewport()->cursor().shape(), Qt::OpenHandCursor);
}

QTEST_MAIN(TestDocumentView)
#include "tst_documentview.moc"
