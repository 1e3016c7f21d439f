#include "readingtestsupport.h"

#include <QTemporaryDir>

using namespace ReadingTest;

// Where PageLayout puts the pages of a real document, at 72 dpi (a letter page is 612 × 792).
class TestPageLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void twoColumnsWithFirstColumnOne_pageZeroStandsAloneOnTheRight();
    void mixedOrientationInOneColumn_centredInTheWidestPage();
    void noteArea_widensPagesAndTheirColumn();
    void nonContinuous_allPagesShareTheCentre();

private:
    QTemporaryDir m_dir;
    QString m_mixed;
};

void TestPageLayout::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_mixed = m_dir.filePath(QStringLiteral("mixed.pdf"));
    QVERIFY(writePdf(m_mixed, 4, { 1 }));
}

void TestPageLayout::twoColumnsWithFirstColumnOne_pageZeroStandsAloneOnTheRight()
{
    const auto document = open(m_mixed);
    PDFDocumentScene scene(document, 1, nullptr, 72, 72);
    QSignalSpy changed(
        &scene, static_cast<void (PDFDocumentScene::*)()>(&PDFDocumentScene::pageLayoutChanged));
    PageLayout &layout = scene.pageLayout();
    layout.setColumnCount(2, 1);
    layout.relayout();
    QCOMPARE(changed.count(), 1);

    QCOMPARE(layout.rowOf(scene.pageAt(0)), 0);
    QCOMPARE(layout.columnOf(scene.pageAt(0)), 1);
    QCOMPARE(layout.rowOf(scene.pageAt(1)), 1);
    QCOMPARE(layout.columnOf(scene.pageAt(1)), 0);
    QCOMPARE(layout.rowOf(scene.pageAt(2)), 1);
    QCOMPARE(layout.columnOf(scene.pageAt(2)), 1);
    QCOMPARE(layout.rowOf(scene.pageAt(3)), 2);

    // Column 0 holds the landscape page 1 (792 wide): it sits right against the gap; column 1
    // starts after it and the spacing, its pages aligned left.
    const QRectF p0 = scene.pageAt(0)->sceneBoundingRect();
    const QRectF p1 = scene.pageAt(1)->sceneBoundingRect();
    const QRectF p2 = scene.pageAt(2)->sceneBoundingRect();
    const QRectF p3 = scene.pageAt(3)->sceneBoundingRect();
    QCOMPARE(p1.size(), QSizeF(792, 612));
    QCOMPARE(p1.left(), 0.0);
    QCOMPARE(p0.left(), 792.0 + 10.0);
    QCOMPARE(p2.left(), 792.0 + 10.0);
    QCOMPARE(p3.right(), 792.0); // column 0, aligned right
    // Rows: page 1 (612 high) is centred in row 1, whose height is page 2's 792.
    QCOMPARE(p0.top(), 0.0);
    QCOMPARE(p2.top(), 792.0 + 6.0);
    QCOMPARE(p1.top(), 792.0 + 6.0 + 90.0);
    QCOMPARE(p3.top(), 2 * (792.0 + 6.0));
    QCOMPARE(scene.sceneRect(), QRectF(-5, -3, 792 + 612 + 20, 3 * (792 + 6)));

    // Going back to one column re-places every page by the same rule.
    layout.setColumnCount(1, 0);
    layout.relayout();
    QCOMPARE(layout.columnOf(scene.pageAt(3)), 0);
    QCOMPARE(layout.rowOf(scene.pageAt(3)), 3);
}

void TestPageLayout::mixedOrientationInOneColumn_centredInTheWidestPage()
{
    const auto document = open(m_mixed);
    PDFDocumentScene scene(document, 1, nullptr, 72, 72);
    const QRectF portrait = scene.pageAt(0)->sceneBoundingRect();
    const QRectF landscape = scene.pageAt(1)->sceneBoundingRect();
    QCOMPARE(landscape.width(), 792.0);
    QCOMPARE(landscape.left(), 0.0);
    QCOMPARE(portrait.center().x(), landscape.center().x());
    QCOMPARE(portrait.left(), (792.0 - 612.0) / 2);
    QCOMPARE(landscape.top(), portrait.bottom() + 6.0);
    QCOMPARE(scene.sceneRect().width(), 792.0 + 10.0);
}

void TestPageLayout::noteArea_widensPagesAndTheirColumn()
{
    const auto document = open(m_mixed);
    PDFDocumentScene scene(document, 1, nullptr, 72, 72);
    const double area = 612.0 * 0.3 / 0.7;

    scene.setNoteAreaMode(Base::Page::RightNoteArea);
    QCOMPARE(scene.pageAt(0)->boundingRect(), QRectF(0, 0, 612 + area, 792));
    scene.setNoteAreaMode(Base::Page::LeftNoteArea);
    QCOMPARE(scene.pageAt(0)->boundingRect(), QRectF(-area, 0, 612 + area, 792));

    scene.setNoteAreaMode(Base::Page::BothNoteAreas);
    const QRectF bounds = scene.pageAt(0)->boundingRect();
    QVERIFY(qFuzzyCompare(bounds.left(), -area / 2));
    QVERIFY(qFuzzyCompare(bounds.width(), 612 + area));
    // The page itself keeps its size; the page with its notes is what the layout centres.
    QCOMPARE(scene.pageAt(0)->pageRect(), QRectF(0, 0, 612, 792));
    const double landscapeWidth = 792.0 + 792.0 * 0.3 / 0.7;
    QVERIFY(qFuzzyCompare(scene.sceneRect().width(), landscapeWidth + 10));
    QVERIFY(qFuzzyCompare(scene.pageAt(0)->sceneBoundingRect().center().x(),
        scene.pageAt(1)->sceneBoundingRect().center().x()));
    QVERIFY(qFuzzyCompare(
        scene.pageAt(0)->sceneBoundingRect().left() + 1, (landscapeWidth - 612 - area) / 2 + 1));
}

void TestPageLayout::nonContinuous_allPagesShareTheCentre()
{
    const auto document = open(m_mixed);
    PDFDocumentScene scene(document, 1, nullptr, 72, 72);
    PageLayout &layout = scene.pageLayout();
    layout.setColumnCount(2, 1);
    layout.setContinuous(false);
    QCOMPARE(layout.columnCount(), 1);
    QCOMPARE(layout.firstColumn(), 0);
    layout.relayout();
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(scene.pageAt(i)->sceneBoundingRect().center(), QPointF(0, 0));
    }
    QCOMPARE(scene.sceneRect(), QRectF(-396, -396, 792, 792));
}

QTEST_MAIN(TestPageLayout)
#include "tst_pagelayout.moc"
