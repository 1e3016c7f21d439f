#include "application/servicefixture.h"

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <domain/lastread.h>
#include <editor/editortoolbar.h>
#include <mindmap/annonodeitem.h>
#include <mindmap/mindmodel.h>
#include <mindmap/mindnodeitem.h>
#include <mindmap/mindscene.h>
#include <mindmap/mindview.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>
#include <reading/tab/outlinemodel.h>
#include <reading/tab/pdftocinfowidget.h>
#include <reading/tab/siderbarwidget.h>
#include <reading/tools/noteeditorhost.h>
#include <reviewing/scene.h>
#include <reviewing/summary.h>
#include <reviewing/view.h>

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>
#include <QUndoCommand>
#include <QUndoStack>

#include <cmath>
#include <memory>

using Nod::Domain::LastRead;
using Nod::Domain::SiderBarState;
using Nod::Domain::ViewSetting;
using Nod::Presentation::DocumentWidget;
using Nod::Presentation::OutlineModel;

namespace {
QString backendData(const QString &name) { return QStringLiteral(BACKEND_TEST_DATA "/") + name; }

bool writeNumberedPdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.drawText(QPointF(72, 100), QStringLiteral("Page %1").arg(i + 1));
    }
    return painter.end();
}
} // namespace

// A document tab over a real database: it restores the reading state stored with the document,
// stores it again when closed, and opens EPUBs without holding up the interface.
class DocumentWidgetTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;

    Nod::Application::DocumentService *documents() const { return m_fixture->registry()->documentService(); }

    int addDocument(const QString &path)
    {
        return documents()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), path, QFileInfo(path).fileName());
    }

    // What the database holds, decoded as the next start would read it.
    LastRead storedLastRead(int id) const
    {
        return LastRead::decode(
            TestSupport::scalar(QStringLiteral("SELECT siderBarState FROM documents WHERE id = %1").arg(id))
                .toByteArray());
    }

    std::unique_ptr<DocumentWidget> openShown(int id)
    {
        auto tab = std::make_unique<DocumentWidget>();
        tab->resize(1000, 700);
        tab->show();
        if (!QTest::qWaitForWindowExposed(tab.get()) || !tab->openDocument(documents()->document(id))) {
            return nullptr;
        }
        return tab;
    }

private slots:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        Nod::Application::ServiceRegistry::setInstance(m_fixture->registry());
    }

    void cleanup()
    {
        Nod::Application::ServiceRegistry::setInstance(nullptr);
        m_fixture.reset();
    }

    void readingState_isStoredOnCloseAndRestoredOnOpen()
    {
        const QString path = m_fixture->path(QStringLiteral("ten.pdf"));
        QVERIFY(writeNumberedPdf(path, 10));
        const int id = addDocument(path);

        {
            // Never read before: first page, zoom 1, side bar collapsed.
            std::unique_ptr<DocumentWidget> tab = openShown(id);
            QVERIFY(tab);
            PDFDocumentView *view = tab->readingView();
            QCOMPARE(view->currentPage(), 0);
            QCOMPARE(view->zoomLevel(), 1.0);
            QTRY_VERIFY(tab->siderBar()->isShrunk());
            QCOMPARE(tab->pageBox()->suffix(), QStringLiteral(" / 10"));

            view->setFocus();
            QTest::keyClick(view, Qt::Key_End);
            QTRY_COMPARE(view->currentPage(), 9);
            QTRY_COMPARE(tab->pageBox()->value(), 10);
            QTest::keyClick(view, Qt::Key_Equal, Qt::ControlModifier);
            QCOMPARE(view->zoomLevel(), 1.1);
            QMenu *noteAreaMenu = tab->findChild<QToolButton *>(QStringLiteral("noteArea"))->menu();
            for (QAction *action : noteAreaMenu->actions()) {
                if (action->data().toInt() == ViewSetting::BothSideMargin) {
                    action->trigger();
                }
            }
            QCOMPARE(tab->noteAreaMode(), 3);
            QTest::mouseClick(tab->siderBar()->toggleButton(), Qt::LeftButton);
            QTRY_VERIFY(!tab->siderBar()->isShrunk());
            const double sideShare = double(tab->splitter()->sizes().at(0))
                / (tab->splitter()->width() - tab->splitter()->handleWidth());
            QVERIFY(sideShare > 0.05 && sideShare < 0.6);

            tab->closeDocument();
            const LastRead stored = storedLastRead(id);
            QCOMPARE(stored.pageIndex(), 9);
            QCOMPARE(stored.viewSetting().scaleMode(), ViewSetting::ScaleFactor);
            QVERIFY(qFuzzyCompare(stored.viewSetting().scaleFactor(), 1.1));
            QCOMPARE(stored.viewSetting().marginMode(), ViewSetting::BothSideMargin);
            QVERIFY(!stored.siderBarState().isShrunk());
            QCOMPARE(stored.siderBarState().sizes().size(), 2);
            QVERIFY(std::abs(stored.siderBarState().sizes().at(0) - sideShare) < 1e-9);
        }

        // Reopened, the tab shows the same page, zoom, note area and side bar.
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        QCOMPARE(tab->readingView()->currentPage(), 9);
        QVERIFY(qFuzzyCompare(tab->readingView()->zoomLevel(), 1.1));
        QCOMPARE(tab->noteAreaMode(), 3);
        QCOMPARE(tab->readingView()->pdfScene()->readingPageAt(0)->noteAreaMode(), 3);
        QTRY_VERIFY(!tab->siderBar()->isShrunk());
        const double restoredShare = double(tab->splitter()->sizes().at(0))
            / (tab->splitter()->width() - tab->splitter()->handleWidth());
        QVERIFY2(std::abs(restoredShare - storedLastRead(id).siderBarState().sizes().at(0)) < 0.01,
            qPrintable(QString::number(restoredShare)));
    }

    void undoAndRedo_answerTheDesktopKeysAndCtrlY()
    {
        const QString path = m_fixture->path(QStringLiteral("one.pdf"));
        QVERIFY(writeNumberedPdf(path, 1));
        std::unique_ptr<DocumentWidget> tab = openShown(addDocument(path));
        QVERIFY(tab);
        QUndoStack *stack = tab->undoStack();
        stack->push(new QUndoCommand(QStringLiteral("first")));
        stack->push(new QUndoCommand(QStringLiteral("second")));
        QWidget *view = tab->readingView();
        view->setFocus();
        QVERIFY(QTest::qWaitForWindowActive(tab.get()));
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(stack->index(), 0);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(stack->index(), 1);
        QTest::keyClick(view, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(stack->index(), 2);
    }

    void tabNeverShown_keepsWhatItRestored_andOutOfRangeStateIsClamped()
    {
        const QString path = m_fixture->path(QStringLiteral("four.pdf"));
        QVERIFY(writeNumberedPdf(path, 4));
        const int id = addDocument(path);
        const SiderBarState siderBar(false, { 0.25, 0.75 });
        QVERIFY(documents()->changeLastRead(id,
            LastRead(2, QPointF(),
                ViewSetting(ViewSetting::ScaleFactor, 2.0, ViewSetting::NoRotation, ViewSetting::NoMargin),
                siderBar)));

        // A background tab of a restored session is closed before it was ever laid out.
        {
            DocumentWidget tab;
            QVERIFY(tab.openDocument(documents()->document(id)));
            tab.closeDocument();
        }
        LastRead stored = storedLastRead(id);
        QCOMPARE(stored.pageIndex(), 2);
        QCOMPARE(stored.viewSetting().scaleFactor(), 2.0);
        QCOMPARE(stored.siderBarState(), siderBar);

        // A page past the end and a zoom that is no number open on the last page at zoom 1.
        QVERIFY(documents()->changeLastRead(id,
            LastRead(500, QPointF(),
                ViewSetting(
                    ViewSetting::ScaleFactor, std::nan(""), ViewSetting::NoRotation, ViewSetting::NoMargin),
                siderBar)));
        {
            std::unique_ptr<DocumentWidget> tab = openShown(id);
            QVERIFY(tab);
            QCOMPARE(tab->readingView()->currentPage(), 3);
            QCOMPARE(tab->readingView()->zoomLevel(), 1.0);
            tab->closeDocument();
        }
        stored = storedLastRead(id);
        QCOMPARE(stored.pageIndex(), 3);
        QCOMPARE(stored.viewSetting().scaleFactor(), 1.0);
    }

    void unreadableFiles_openNoTab()
    {
        const TestSupport::LogCapture log;
        const QString gone = m_fixture->path(QStringLiteral("gone.pdf"));
        QVERIFY(writeNumberedPdf(gone, 1));
        const int missing = addDocument(gone);
        QVERIFY(QFile::remove(gone));
        DocumentWidget tab;
        QVERIFY(!tab.openDocument(documents()->document(missing)));
        QVERIFY(log.contains(QStringLiteral("Open file failed.")));
        // Nothing was opened, so nothing is stored over the old state.
        tab.closeDocument();
        QCOMPARE(storedLastRead(missing), LastRead());

        const int garbage = addDocument(backendData(QStringLiteral("empty.pdf")));
        DocumentWidget other;
        QVERIFY(!other.openDocument(documents()->document(garbage)));
    }

    void outline_showsOpenEntriesAndNavigatesThroughTheHistory()
    {
        const int id = addDocument(backendData(QStringLiteral("text.pdf")));
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        OutlineModel *model = tab->outlineWidget()->model();
        QTRY_COMPARE(model->rowCount(), 3);
        QTreeView *tree = tab->outlineWidget()->treeView();
        const QModelIndex chapterOne = model->index(0, 0);
        const QModelIndex chapterTwo = model->index(1, 0);
        QCOMPARE(chapterOne.data().toString(), QStringLiteral("Chapter One"));
        QVERIFY(tree->isExpanded(chapterOne));
        QVERIFY(!tree->isExpanded(chapterTwo));

        // "Section B" leads to the third page; "Previous View" comes back to the first.
        const QModelIndex sectionB = model->index(0, 0, chapterTwo);
        QCOMPARE(sectionB.data().toString(), QStringLiteral("Section B"));
        tree->selectionModel()->select(sectionB, QItemSelectionModel::ClearAndSelect);
        QTRY_COMPARE(tab->readingView()->currentPage(), 2);
        tab->readingView()->previousViewAction()->trigger();
        QTRY_COMPARE(tab->readingView()->currentPage(), 0);
    }

    void epub_opensOffTheInterfaceThread_andACloseMeanwhileStoresNothing()
    {
        const int id = addDocument(backendData(QStringLiteral("book.epub")));
        auto tab = std::make_unique<DocumentWidget>();
        QSignalSpy opened(tab.get(), &DocumentWidget::documentOpened);
        QVERIFY(tab->openDocument(documents()->document(id)));
        QVERIFY(!tab->isOpened());
        QVERIFY(opened.wait(20000));
        QVERIFY(tab->isOpened());
        QVERIFY(tab->readingView()->pageCount() > 0);

        // A tab closed while its book is still being laid out stores nothing and waits for nothing.
        QVERIFY(documents()->changeLastRead(id, LastRead(1, QPointF(), ViewSetting(), SiderBarState())));
        auto closing = std::make_unique<DocumentWidget>();
        QVERIFY(closing->openDocument(documents()->document(id)));
        closing->closeDocument();
        closing.reset();
        QCOMPARE(storedLastRead(id).pageIndex(), 1);

        // A book that cannot be laid out says so in its tab.
        const int broken = addDocument(backendData(QStringLiteral("truncated.epub")));
        DocumentWidget failing;
        QSignalSpy failed(&failing, &DocumentWidget::openFailed);
        QVERIFY(failing.openDocument(documents()->document(broken)));
        QVERIFY(failed.wait(20000));
        QVERIFY(!failing.isOpened());
        QVERIFY(failing.findChild<QWidget *>(QStringLiteral("loadingPanel"))->isVisibleTo(&failing));
    }

    void views_switchShareZoomAndJumpToEachOther()
    {
        const QString path = m_fixture->path(QStringLiteral("ten.pdf"));
        QVERIFY(writeNumberedPdf(path, 10));
        const int id = addDocument(path);
        Nod::Application::NoteService *notes = m_fixture->registry()->noteService();
        const Nod::Domain::Annotation root = notes->documentNote(id);
        Nod::Application::NewAnnotation record;
        record.id = notes->nextId();
        record.documentId = id;
        record.pageIndex = 6;
        record.position = QPointF(100, 200);
        record.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 120, 40)), Nod::Domain::Marker::AllEdges,
            QPen(Qt::NoPen), QBrush(Qt::yellow));
        record.noteText = QStringLiteral("far mark");
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = root.id();
        notes->newAnnotation(record);
        const int annoId = record.id;

        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        QMenu *menu = tab->findChild<QToolButton *>(QStringLiteral("viewSwitch"))->menu();
        QList<int> offered;
        for (QAction *action : menu->actions()) {
            offered.append(action->data().toInt());
        }
        QCOMPARE(offered, QList<int>({ 0, 1, 2 }));

        // One change goes round the ring once.
        QSignalSpy readingZoom(tab->readingView(), &Base::View::changedZoom);
        tab->readingView()->setZoomLevel(2.0);
        QCOMPARE(tab->summaryView()->zoomLevel(), 2.0);
        QCOMPARE(tab->mindView()->zoomLevel(), 2.0);
        QCOMPARE(readingZoom.count(), 1);
        tab->mindView()->setZoomLevel(1.5);
        QCOMPARE(tab->readingView()->zoomLevel(), 1.5);
        QCOMPARE(tab->summaryView()->zoomLevel(), 1.5);

        QAction *zoomIn = tab->findChild<QAction *>(QStringLiteral("zoomIn"));
        tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        QCOMPARE(tab->currentView(), int(DocumentWidget::SummaryView));
        QVERIFY(!zoomIn->isEnabled());

        // A double click on the row's excerpt shows the mark in the reader.
        Reviewing::View *summary = tab->summaryView();
        Nod::Presentation::MarkerItem *row = summary->summaryScene()->annotations()->canvasItem(annoId);
        QVERIFY(row);
        summary->centerOn(row);
        QTest::mouseDClick(summary->viewport(), Qt::LeftButton, {},
            summary->mapFromScene(row->sceneBoundingRect().center()));
        QTRY_COMPARE(tab->currentView(), int(DocumentWidget::ReadingView));
        QVERIFY(zoomIn->isEnabled());
        PDFDocumentView *reader = tab->readingView();
        QTRY_COMPARE(reader->currentPage(), 6);
        Nod::Presentation::MarkerItem *mark = reader->pdfScene()->annotations()->canvasItem(annoId);
        QVERIFY(mark);
        QVERIFY(
            reader->viewport()->rect().contains(reader->mapFromScene(mark->sceneBoundingRect().center())));

        // The mark's own request shows its row in the summary.
        emit reader->pdfScene()->toggleView(annoId);
        QCOMPARE(tab->currentView(), int(DocumentWidget::SummaryView));
        const QRectF shown = summary->mapToScene(summary->viewport()->rect()).boundingRect();
        QVERIFY(shown.intersects(summary->summaryScene()->summaryOf(annoId)->sceneBoundingRect()));

        // The map, built when shown, jumps back the same way; Ctrl+/ returns to the reader.
        tab->findChild<QAction *>(QStringLiteral("mindmapAction"))->trigger();
        QCOMPARE(tab->currentView(), int(DocumentWidget::MindmapView));
        QTRY_VERIFY(tab->mindView()->mindScene());
        tab->readingView()->goToPage(0);
        emit tab->mindView()->toggleView(annoId);
        QCOMPARE(tab->currentView(), int(DocumentWidget::ReadingView));
        QTRY_COMPARE(reader->currentPage(), 6);
        tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        QTest::keyClick(tab->summaryView(), Qt::Key_Slash, Qt::ControlModifier);
        QCOMPARE(tab->currentView(), int(DocumentWidget::ReadingView));
    }

    // In the summary and in the map, as in the reader, a focused note gets the editor's bar over it;
    // a format applied from the bar is stored when the note is left.
    void noteEditorBar_followsTheNoteInTheSummaryAndTheMap()
    {
        const QString path = m_fixture->path(QStringLiteral("two.pdf"));
        QVERIFY(writeNumberedPdf(path, 2));
        const int id = addDocument(path);
        Nod::Application::NoteService *notes = m_fixture->registry()->noteService();
        const int rootId = notes->documentNote(id).id();
        auto addNote = [&](const QString &text) {
            Nod::Application::NewAnnotation record;
            record.id = notes->nextId();
            record.documentId = id;
            record.pageIndex = 1;
            record.position = QPointF(100, 200);
            record.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 120, 40)),
                Nod::Domain::Marker::AllEdges, QPen(Qt::NoPen), QBrush(Qt::yellow));
            record.noteText = text;
            record.createdAt = QDateTime::currentDateTime();
            record.parentId = rootId;
            notes->newAnnotation(record);
            return record.id;
        };
        const int summaryNote = addNote(QStringLiteral("summary note"));
        const int mindNote = addNote(QStringLiteral("map note"));
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        // The bar stays while another window is active, so the tab's window must be.
        tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tab.get()));

        auto boldFromTheBar = [&](QGraphicsView *view, Nod::Presentation::NoteEditorHost *host,
                                  Nod::Presentation::NoteItem *note, int annoId) {
            QVERIFY(note);
            view->centerOn(note);
            QTest::mouseClick(
                view->viewport(), Qt::LeftButton, {}, view->mapFromScene(note->sceneBoundingRect().center()));
            QTRY_VERIFY(note->hasFocus());
            Nod::Presentation::EditorToolBar *bar = host->toolBar();
            QVERIFY(bar->isVisible());
            QCOMPARE(bar->parentWidget(), view->viewport());
            QCOMPARE(bar->annotationId(), annoId);
            QCOMPARE(host->note(), note);
            QTest::keyClick(view->viewport(), Qt::Key_A, Qt::ControlModifier);
            QTest::mouseClick(bar->widgetForAction(bar->boldAction()), Qt::LeftButton);
            QVERIFY(note->hasFocus());
            view->clearFocus();
            QVERIFY(!note->hasFocus());
            QVERIFY(!bar->isVisible());
            const QString stored = TestSupport::scalar(
                QStringLiteral("SELECT noteText FROM Annotation WHERE id = %1").arg(annoId))
                                       .toString();
            QVERIFY2(stored.contains(QLatin1String("font-weight")), qPrintable(stored));
        };

        tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        Reviewing::View *summary = tab->summaryView();
        boldFromTheBar(summary, tab->summaryNoteEditor(),
            summary->summaryScene()->annotations()->noteItem(summaryNote), summaryNote);
        if (QTest::currentTestFailed()) {
            return;
        }
        QVERIFY(!tab->noteEditor()->toolBar()->isVisible());
        QVERIFY(!tab->mindNoteEditor()->toolBar()->isVisible());

        tab->findChild<QAction *>(QStringLiteral("mindmapAction"))->trigger();
        QTRY_VERIFY(tab->mindView()->mindScene());
        Nod::Presentation::AnnoNodeItem *node = tab->mindView()->mindScene()->annoNode(mindNote);
        QVERIFY(node);
        boldFromTheBar(tab->mindView(), tab->mindNoteEditor(), node->noteItem(), mindNote);
        if (QTest::currentTestFailed()) {
            return;
        }

        // A reload rebuilds the map's nodes; their notes still bring the bar.
        tab->mindView()->mindScene()->reinitializeScene();
        node = tab->mindView()->mindScene()->annoNode(mindNote);
        QVERIFY(node);
        QTest::mouseClick(tab->mindView()->viewport(), Qt::LeftButton, {},
            tab->mindView()->mapFromScene(node->noteItem()->sceneBoundingRect().center()));
        QTRY_VERIFY(tab->mindNoteEditor()->toolBar()->isVisible());
        QCOMPARE(tab->mindNoteEditor()->note(), node->noteItem());
    }
};

QTEST_MAIN(DocumentWidgetTest)
#include "tst_documentwidget.moc"
