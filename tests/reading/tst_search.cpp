#include "backend/testdocuments.h"
#include "support/servicefixture.h"

#include <annotating/noteitem.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <domain/marker.h>
#include <editor/textdocument.h>
#include <reading/annotationindex.h>
#include <reading/basepage.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/searching.h>
#include <reading/searchline.h>
#include <reading/tab/documentwidget.h>

#include <QGraphicsPathItem>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QSqlQuery>
#include <QTextCursor>
#include <QThreadPool>
#include <QToolButton>

#include <memory>

using Nod::Domain::Marker;
using Nod::Presentation::DocumentWidget;
using Nod::Presentation::NoteItem;
using Nod::Presentation::SearchLine;

namespace {

constexpr int FixturePages = 12;
constexpr int HeavyPage = 5;

// Where "kiwi" stands on the fixture: page index and height in points.
const QList<QPair<int, int>> KiwiSpots { { 1, 300 }, { 4, 200 }, { 4, 500 }, { 5, 760 }, { 7, 400 },
    { 10, 150 } };

void fillWithText(QPainter &painter, int lines)
{
    QFont font = painter.font();
    font.setPixelSize(5);
    painter.setFont(font);
    for (int line = 0; line < lines; ++line) {
        painter.drawText(QPointF(20, 20 + line * 5.5),
            QStringLiteral("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
                           "incididunt ut labore et dolore magna aliqua ut enim ad minim veniam %1")
                .arg(line));
    }
    font.setPixelSize(14);
    painter.setFont(font);
}

// Twelve pages with "kiwi" at KiwiSpots; one page is crowded with text, so that its search takes
// longer than its neighbours'.
bool writeKiwiPdf(const QString &path)
{
    return TestDocuments::writePdf(
        path, QPageSize::Letter, 14, FixturePages, [](QPainter &painter, int page) {
            painter.drawText(QPointF(72, 60), QStringLiteral("Page %1 banana").arg(page + 1));
            if (page == HeavyPage) {
                fillWithText(painter, 125);
            }
            for (const auto &spot : KiwiSpots) {
                if (spot.first == page) {
                    painter.drawText(QPointF(100, spot.second), QStringLiteral("a kiwi here"));
                }
            }
        });
}

bool writeCrowdedPdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans")));
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            writer.newPage();
        }
        fillWithText(painter, 120);
    }
    return painter.end();
}

// A highlight as the user sees it: its page and its top in page points.
QPair<int, int> spotOf(const QGraphicsPathItem *highlight)
{
    const auto *page = static_cast<const Base::Page *>(highlight->parentItem());
    const QRectF inPoints = page->pageTransform().inverted().mapRect(highlight->path().boundingRect());
    return { page->pageNumber(), int(inPoints.center().y()) };
}

QList<QPair<int, int>> spotsOf(const Searching *searching)
{
    QList<QPair<int, int>> spots;
    for (const QGraphicsPathItem *highlight : searching->highlights()) {
        spots.append(spotOf(highlight));
    }
    return spots;
}

// The spots in the order a search from `page` shows them.
QList<QPair<int, int>> expectedFrom(int page)
{
    QList<QPair<int, int>> spots;
    for (int i = 0; i < FixturePages; ++i) {
        for (const auto &spot : KiwiSpots) {
            if (spot.first == (page + i) % FixturePages) {
                spots.append(spot);
            }
        }
    }
    return spots;
}

bool nearSpot(const QPair<int, int> &actual, const QPair<int, int> &expected)
{
    // The centre of a 14-pixel line of text lies a few points above its base line.
    return actual.first == expected.first && qAbs(actual.second - expected.second) <= 10;
}

bool sameSpots(const QList<QPair<int, int>> &actual, const QList<QPair<int, int>> &expected)
{
    if (actual.size() != expected.size()) {
        return false;
    }
    for (int i = 0; i < actual.size(); ++i) {
        if (!nearSpot(actual.at(i), expected.at(i))) {
            return false;
        }
    }
    return true;
}

QMessageBox *noResultsBox()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("noResultsBox") && widget->isVisible()) {
            return qobject_cast<QMessageBox *>(widget);
        }
    }
    return nullptr;
}

} // namespace

// The find bar of a real document tab over a real database: what is found, in which order, how
// Next and Previous step, and that no worker outlives the tab or a reload.
class SearchTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;

    std::unique_ptr<DocumentWidget> openTab(const QString &path)
    {
        auto *documents = m_fixture->registry()->documentService();
        const int id = m_fixture->newDocument(path);
        auto tab = std::make_unique<DocumentWidget>();
        tab->resize(900, 700);
        tab->show();
        QApplication::setActiveWindow(tab.get());
        if (!QTest::qWaitForWindowExposed(tab.get()) || !tab->openDocument(documents->document(id))) {
            return nullptr;
        }
        return tab;
    }

    // Types the word into the bar the tab's find keys show and presses Return.
    static void typeSearch(DocumentWidget *tab, const QString &word)
    {
        QApplication::setActiveWindow(tab);
        QTest::keySequence(tab->readingView(), QKeySequence::Find);
        SearchLine *bar = tab->readingView()->searchLine();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->lineEdit()->hasFocus());
        QTest::keyClicks(bar->lineEdit(), word);
        QTest::keyClick(bar->lineEdit(), Qt::Key_Return);
    }

    static QString countText(DocumentWidget *tab)
    {
        return tab->readingView()->searchLine()->findChild<QLabel *>(QStringLiteral("searchCount"))->text();
    }

    static QToolButton *button(DocumentWidget *tab, const char *name)
    {
        return tab->readingView()->searchLine()->findChild<QToolButton *>(QLatin1String(name));
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_fixture->install();
    }

    void cleanup()
    {
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
        m_fixture.reset();
    }

    void findBar_startsAtCurrentPageStepsBothWaysAndWraps()
    {
        const QString path = m_fixture->path(QStringLiteral("kiwi.pdf"));
        QVERIFY(writeKiwiPdf(path));
        std::unique_ptr<DocumentWidget> tab = openTab(path);
        QVERIFY(tab);
        PDFDocumentView *view = tab->readingView();
        Searching *searching = view->searching();
        view->goToPage(6);
        QCOMPARE(view->currentPage(), 6);
        QSignalSpy started(searching, &Searching::started);

        typeSearch(tab.get(), QStringLiteral("kiwi"));
        QTRY_VERIFY(!searching->isRunning());
        // A search that outlasts the progress dialog's delay (on a loaded machine) shows the dialog
        // window-modal over the tab, and the find keys answer only once the tab's window is active
        // again with the focus back in the bar, as the window manager leaves it when the dialog goes.
        tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tab.get()));
        QTRY_VERIFY(view->searchLine()->lineEdit()->hasFocus());
        const QList<QPair<int, int>> order = expectedFrom(6);
        QVERIFY(sameSpots(spotsOf(searching), order));
        // The first hit shown is the first on or after the current page.
        QCOMPARE(searching->currentIndex(), 0);
        QVERIFY(nearSpot(spotOf(searching->currentHighlight()), { 7, 400 }));
        QCOMPARE(countText(tab.get()), QStringLiteral("1/6 "));
        QVERIFY(button(tab.get(), "next")->isEnabled());
        QVERIFY(button(tab.get(), "previous")->isEnabled());
        QCOMPARE(searching->currentHighlight()->brush(), Searching::currentResultBrush());

        // The standard find-next keys step forwards, past the last hit to the first.
        for (int i = 1; i <= order.size(); ++i) {
            QTest::keySequence(view->searchLine()->lineEdit(), QKeySequence::FindNext);
            QCOMPARE(searching->currentIndex(), i % order.size());
            QVERIFY(nearSpot(spotOf(searching->currentHighlight()), order.at(i % order.size())));
        }
        // Previous on the first hit goes to the last one.
        QTest::mouseClick(button(tab.get(), "previous"), Qt::LeftButton);
        QCOMPARE(searching->currentIndex(), order.size() - 1);
        QCOMPARE(countText(tab.get()), QStringLiteral("6/6 "));
        // The page of the current hit is brought into view.
        QTRY_COMPARE(view->currentPage(), order.last().first);
        int current = 0;
        for (const QGraphicsPathItem *highlight : searching->highlights()) {
            current += highlight->brush() == Searching::currentResultBrush() ? 1 : 0;
        }
        QCOMPARE(current, 1);

        // The same word again steps instead of searching again.
        const QList<QGraphicsPathItem *> highlights = searching->highlights();
        QTest::keyClick(view->searchLine()->lineEdit(), Qt::Key_Return);
        QCOMPARE(searching->currentIndex(), 0);
        QCOMPARE(started.count(), 1);
        QCOMPARE(searching->highlights(), highlights);

        // Once the content changed and the results were cleared, the same word searches anew.
        tab->clearAllWidgetResults();
        QVERIFY(!view->searchLine()->isVisible());
        QCOMPARE(searching->total(), 0);
        const auto items = view->scene()->items();
        QVERIFY(std::none_of(items.begin(), items.end(),
            [](QGraphicsItem *item) { return item->type() == QGraphicsPathItem::Type; }));
        typeSearch(tab.get(), QStringLiteral("kiwi"));
        QCOMPARE(started.count(), 2);
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(searching->total(), order.size());
    }

    void wordWithoutHits_showsTheBoxAndKeepsStepsDisabled()
    {
        const QString path = m_fixture->path(QStringLiteral("kiwi.pdf"));
        QVERIFY(writeKiwiPdf(path));
        std::unique_ptr<DocumentWidget> tab = openTab(path);
        QVERIFY(tab);
        Searching *searching = tab->readingView()->searching();
        QSignalSpy started(searching, &Searching::started);

        // Nothing typed, or blanks only: nothing happens.
        typeSearch(tab.get(), QString());
        typeSearch(tab.get(), QStringLiteral("   "));
        QCOMPARE(started.count(), 0);
        QVERIFY(!noResultsBox());

        tab->readingView()->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("zebra"));
        QTRY_VERIFY(noResultsBox());
        QMessageBox *box = noResultsBox();
        QCOMPARE(box->windowTitle(), QStringLiteral("Can not find anythig"));
        QCOMPARE(box->text(), QStringLiteral("No results for \"zebra\""));
        QCOMPARE(searching->total(), 0);
        QVERIFY(!button(tab.get(), "next")->isEnabled());
        QVERIFY(!button(tab.get(), "previous")->isEnabled());
        QCOMPARE(countText(tab.get()), QString());
        box->close();
        QTRY_VERIFY(!noResultsBox());

        // A word that is there, then one that is not: the old hits go and the steps are disabled.
        tab->readingView()->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("banana"));
        QTRY_COMPARE(searching->total(), FixturePages);
        QVERIFY(button(tab.get(), "next")->isEnabled());
        tab->readingView()->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("zebra"));
        QTRY_VERIFY(noResultsBox());
        QVERIFY(!button(tab.get(), "next")->isEnabled());
        noResultsBox()->close();
    }

    void resultsFollowThePagesWhateverTheThreadTiming()
    {
        const QString path = m_fixture->path(QStringLiteral("kiwi.pdf"));
        QVERIFY(writeKiwiPdf(path));
        std::unique_ptr<DocumentWidget> tab = openTab(path);
        QVERIFY(tab);
        PDFDocumentView *view = tab->readingView();
        // The crowded page is searched first and finishes after its neighbours on more threads.
        view->goToPage(HeavyPage);
        const QList<QPair<int, int>> expected = expectedFrom(HeavyPage);
        for (int threads : { 1, 2, 4, 8, 8, 4 }) {
            QThreadPool::globalInstance()->setMaxThreadCount(threads);
            // A reload drops the page texts built by the last run, so every run builds them anew.
            QVERIFY(view->pdfScene()->reloadDocument());
            QTRY_VERIFY(!view->pdfScene()->isReloading());
            view->goToPage(HeavyPage);
            view->searchLine()->lineEdit()->clear();
            typeSearch(tab.get(), QStringLiteral("kiwi"));
            QTRY_VERIFY(!view->searching()->isRunning());
            QVERIFY2(sameSpots(spotsOf(view->searching()), expected), qPrintable(QString::number(threads)));
            QVERIFY(nearSpot(spotOf(view->searching()->currentHighlight()), { HeavyPage, 760 }));
        }
    }

    void notesBesideThePages_areSearchedOnlyWhileShown()
    {
        const QString path = m_fixture->path(QStringLiteral("kiwi.pdf"));
        QVERIFY(writeKiwiPdf(path));
        std::unique_ptr<DocumentWidget> tab = openTab(path);
        QVERIFY(tab);
        PDFDocumentView *view = tab->readingView();
        Searching *searching = view->searching();
        AnnotationIndex *index = view->pdfScene()->annotations();
        auto *notes = m_fixture->registry()->noteService();
        // One note on a page without the word in its text, one far on a page never shown so far.
        const Marker area(
            QPolygonF(QRectF(0, 0, 60, 20)), Marker::AllEdges, QPen(Qt::yellow), QBrush(Qt::yellow));
        const int near = index->createAnnotation(2, QPointF(100, 100), area);
        const int far = index->createAnnotation(9, QPointF(100, 100), area);
        QVERIFY(near && far);
        QVERIFY(notes->changeNote(near, QStringLiteral("<p>Peel the <b>Kiwi</b> first.</p>")));
        QVERIFY(notes->changeNote(far, QStringLiteral("<p>no fruit here</p><p>kiwi and KIWI</p>")));
        const auto noteHits = [searching] {
            QList<int> ids;
            for (const QGraphicsPathItem *highlight : searching->highlights()) {
                if (const auto *note = qgraphicsitem_cast<const NoteItem *>(highlight->parentItem())) {
                    ids.append(highlight->path().isEmpty() ? -1 : note->annotationId());
                } else {
                    ids.append(0);
                }
            }
            return ids;
        };

        // A new document shows its notes on the right. Each note follows its page's text, in page
        // order from the current page; the far note is found in its stored text and gets its items.
        QCOMPARE(view->pdfScene()->readingPageAt(0)->noteAreaMode(), int(Base::Page::RightNoteArea));
        QVERIFY(!index->noteItem(far));
        typeSearch(tab.get(), QStringLiteral("kiwi"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(noteHits(), QList<int>({ 0, near, 0, 0, 0, 0, far, 0 }));
        // Stepping to the far note brings it into sight.
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(view->searchLine()->lineEdit(), Qt::Key_Return);
        }
        QCOMPARE(searching->currentIndex(), 6);
        QCOMPARE(countText(tab.get()), QStringLiteral("7/8 "));
        const QRectF shown = view->mapToScene(view->viewport()->rect()).boundingRect();
        QVERIFY(shown.intersects(searching->currentHighlight()->sceneBoundingRect()));

        // Removing an annotation changes what the tab shows: every view's results go, and the same
        // word searches afresh without the removed note; stepping goes on safely.
        QVERIFY(index->removeAnnotation(far));
        QCOMPARE(searching->total(), 0);
        QVERIFY(!searching->currentHighlight());
        typeSearch(tab.get(), QStringLiteral("kiwi"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(searching->total(), 7);
        QCOMPARE(noteHits(), QList<int>({ 0, near, 0, 0, 0, 0, 0 }));
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(view->searchLine()->lineEdit(), Qt::Key_Return);
            QVERIFY(searching->currentHighlight());
        }

        // Hidden: the results go, and a new search finds the page text only.
        auto *menu = tab->findChild<QMenu *>(QStringLiteral("noteAreaMenu"));
        QVERIFY(menu);
        menu->actions().at(0)->trigger();
        QCOMPARE(view->pdfScene()->readingPageAt(0)->noteAreaMode(), int(Base::Page::NoNoteArea));
        QCOMPARE(searching->total(), 0);
        typeSearch(tab.get(), QStringLiteral("kiwi"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(noteHits(), QList<int>({ 0, 0, 0, 0, 0, 0 }));
    }

    void notes_areReadFromTheStoreWithoutMakingTheirDocuments()
    {
        const QString path = m_fixture->path(QStringLiteral("kiwi.pdf"));
        QVERIFY(writeKiwiPdf(path));
        std::unique_ptr<DocumentWidget> tab = openTab(path);
        QVERIFY(tab);
        PDFDocumentView *view = tab->readingView();
        view->setSinglePageMode();
        QTRY_VERIFY(!view->pdfScene()->readingPageAt(3)->isVisible());
        Searching *searching = view->searching();
        AnnotationIndex *index = view->pdfScene()->annotations();
        auto *notes = m_fixture->registry()->noteService();
        const Marker area(
            QPolygonF(QRectF(0, 0, 60, 20)), Marker::AllEdges, QPen(Qt::yellow), QBrush(Qt::yellow));
        // On the page shown; on two pages never shown; and one that
        // the document note's children list no longer reaches.
        const int shown = index->createAnnotation(0, QPointF(100, 100), area);
        const int hidden = index->createAnnotation(3, QPointF(100, 100), area);
        const int stored = index->createAnnotation(8, QPointF(100, 100), area);
        const int lost = index->createAnnotation(6, QPointF(100, 100), area);
        QVERIFY(shown && hidden && stored && lost);
        QVERIFY(notes->changeNote(shown, QStringLiteral("<p>a ripe plum</p>")));
        QVERIFY(notes->changeNote(hidden, QStringLiteral("<p>a pear</p>")));
        QVERIFY(notes->changeNote(stored, QStringLiteral("<p>stewed <i>quince</i></p>")));
        QVERIFY(notes->changeNote(lost, QStringLiteral("<p>Quince jelly</p>")));
        Nod::Domain::Annotation root = notes->documentNote(view->pdfScene()->documentId());
        QVector<int> listed = root.children();
        QVERIFY(listed.removeAll(lost) == 1);
        root.setChildren(listed);
        QSqlQuery cut;
        cut.prepare(QStringLiteral("UPDATE Annotation SET children = ? WHERE id = ?"));
        cut.addBindValue(root.childrenData());
        cut.addBindValue(root.id());
        QVERIFY(cut.exec());
        QTRY_VERIFY(index->noteItem(shown) && index->noteItem(shown)->hasDocument());
        QVERIFY(!index->noteItem(hidden) && !index->noteItem(stored));
        const auto noteHits = [searching] {
            QList<int> ids;
            for (const QGraphicsPathItem *highlight : searching->highlights()) {
                if (const auto *note = qgraphicsitem_cast<const NoteItem *>(highlight->parentItem())) {
                    ids.append(note->annotationId());
                }
            }
            return ids;
        };

        // Both stored notes are found, the unreached one too; a note without the word is read from
        // the store and gets no item, so no document, on the way.
        typeSearch(tab.get(), QStringLiteral("quince"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(noteHits(), QList<int>({ lost, stored }));
        QVERIFY(!index->noteItem(hidden));

        // An edit not stored yet is searched as it reads now, not as it is stored.
        NoteItem *edited = index->noteItem(shown);
        QTextCursor cursor(edited->textDocument());
        cursor.select(QTextCursor::Document);
        cursor.insertText(QStringLiteral("an apricot"));
        view->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("apricot"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(noteHits(), QList<int>({ shown }));
        view->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("plum"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(noteHits(), QList<int>());
        QVERIFY(notes->annotation(shown).noteText().contains(QLatin1String("plum")));
        QVERIFY(!index->noteItem(hidden));
        view->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("pear"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(noteHits(), QList<int>({ hidden }));
    }

    void closingOrReloading_leavesNoWorkerRunning()
    {
        const QString path = m_fixture->path(QStringLiteral("crowded.pdf"));
        QVERIFY(writeCrowdedPdf(path, 150));
        std::unique_ptr<DocumentWidget> tab = openTab(path);
        QVERIFY(tab);
        PDFDocumentView *view = tab->readingView();

        typeSearch(tab.get(), QStringLiteral("magna"));
        Searching::ResultFuture future = view->searching()->future();
        QVERIFY(!future.isFinished());
        QVERIFY(view->pdfScene()->reloadDocument());
        QTRY_VERIFY(!view->pdfScene()->isReloading());
        QVERIFY(future.isFinished());
        QCOMPARE(view->searching()->total(), 0);
        QVERIFY(!view->searching()->isRunning());

        view->searchLine()->lineEdit()->clear();
        typeSearch(tab.get(), QStringLiteral("dolor"));
        future = view->searching()->future();
        QVERIFY(!future.isFinished());
        tab.reset();
        QVERIFY(future.isFinished());
        QVERIFY(future.isCanceled());
    }
};

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
