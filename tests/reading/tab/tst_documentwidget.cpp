#include "support/tabfixture.h"

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/documentloader.h>
#include <backend/page.h>
#include <backend/pdfaction.h>
#include <domain/lastread.h>
#include <editor/colorpane.h>
#include <editor/editortoolbar.h>
#include <mindmap/annonodeitem.h>
#include <mindmap/mindmodel.h>
#include <mindmap/mindnodeitem.h>
#include <mindmap/mindscene.h>
#include <mindmap/mindview.h>
#include <reading/abstracttool.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/printing.h>
#include <reading/readingpageitem.h>
#include <reading/searching.h>
#include <reading/tab/documentwidget.h>
#include <reading/tab/outlinemodel.h>
#include <reading/tab/pdftocinfowidget.h>
#include <reading/tab/siderbarwidget.h>
#include <reading/tools/noteeditorhost.h>
#include <reviewing/scene.h>
#include <reviewing/summary.h>
#include <reviewing/view.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGraphicsPathItem>
#include <QGraphicsProxyWidget>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSplitter>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUndoCommand>
#include <QUndoStack>
#include <QWheelEvent>

#include <cmath>
#include <functional>
#include <memory>

using Nod::Domain::LastRead;
using Nod::Domain::SiderBarState;
using Nod::Domain::ViewSetting;
using Nod::Presentation::DocumentWidget;
using Nod::Presentation::OutlineModel;

namespace {
QString backendData(const QString &name) { return QStringLiteral(BACKEND_TEST_DATA "/") + name; }

} // namespace

// A document tab over a real database: it restores the reading state stored with the document,
// stores it again when closed, and opens EPUBs without holding up the interface.
class DocumentWidgetTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;

    Nod::Application::DocumentService *documents() const { return m_fixture->registry()->documentService(); }

    int addDocument(const QString &path) { return m_fixture->newDocument(path); }

    // What the database holds, decoded as the next start would read it.
    LastRead storedLastRead(int id) const
    {
        return LastRead::decode(
            TestSupport::scalar(QStringLiteral("SELECT siderBarState FROM documents WHERE id = %1").arg(id))
                .toByteArray());
    }

    // A yellow rectangle mark on a page, with its note, stored as the tools would store it.
    int addMark(int documentId, int page, const QString &text)
    {
        Nod::Application::NoteService *notes = m_fixture->registry()->noteService();
        Nod::Application::NewAnnotation record;
        record.id = notes->nextId();
        record.documentId = documentId;
        record.pageIndex = page;
        record.position = QPointF(100, 200);
        record.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 120, 40)), Nod::Domain::Marker::AllEdges,
            QPen(Qt::NoPen), QBrush(Qt::yellow));
        record.noteText = text;
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = notes->documentNote(documentId).id();
        notes->newAnnotation(record);
        return record.id;
    }

    int storedAnnotations(int annoId) const
    {
        return TestSupport::scalar(
            QStringLiteral("SELECT COUNT(*) FROM Annotation WHERE id = %1").arg(annoId))
            .toInt();
    }

    // Right-clicks the view's viewport at a point and returns the menu that pops up.
    static QMenu *contextMenuAt(QGraphicsView *view, const QPoint &at)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
        return qobject_cast<QMenu *>(QApplication::activePopupWidget());
    }

    static QStringList entries(const QMenu *menu)
    {
        QStringList texts;
        for (const QAction *action : menu->actions()) {
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        return texts;
    }

    std::unique_ptr<DocumentWidget> openShown(int id)
    {
        return openDocumentTab(*m_fixture, id, QSize(1000, 700));
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_fixture->install();
    }

    void cleanup() { m_fixture.reset(); }

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

    void earlyOpening_isSharedUntilTheFileChanges()
    {
        // A file named at start-up is read once, for whoever opens it first.
        const QString path = m_fixture->path(QStringLiteral("early.pdf"));
        QVERIFY(writeNumberedPdf(path, 4));
        const int id = addDocument(path);
        Backend::DocumentLoader::startEarly(path);
        const QSharedPointer<Backend::Document> early = Backend::DocumentLoader::takeEarly(path);
        QVERIFY(early);
        QCOMPARE(early->pageCount(), 4);
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        QCOMPARE(tab->document(), early);
        QCOMPARE(tab->readingView()->pageCount(), 4);
        tab.reset();

        // A file written again after it was read is read again: the tab shows what is on disk.
        Backend::DocumentLoader::startEarly(path);
        QVERIFY(writeNumberedPdf(path, 6));
        QVERIFY(!Backend::DocumentLoader::takeEarly(path));
        tab = openShown(id);
        QVERIFY(tab);
        QVERIFY(tab->document() != early);
        QCOMPARE(tab->readingView()->pageCount(), 6);

        // Once let go, nothing is handed out any more.
        Backend::DocumentLoader::startEarly(path);
        Backend::DocumentLoader::dropEarly();
        QVERIFY(!Backend::DocumentLoader::takeEarly(path));
    }

    void toolColourDropDown_isBuiltWhenFirstOpenedAndArmsTheToolInTheColourPicked()
    {
        std::unique_ptr<DocumentWidget> tab = openShown(addDocument(backendData(QStringLiteral("text.pdf"))));
        QVERIFY(tab);
        auto *button = tab->findChild<QToolButton *>(QStringLiteral("rectangle"));
        QVERIFY(button && button->defaultAction() && button->defaultAction()->menu());
        QMenu *dropDown = button->defaultAction()->menu();
        QVERIFY(!dropDown->findChild<Nod::Presentation::ColorPane *>());
        QColor picked;
        QTimer::singleShot(0, this, [&picked] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            auto *pane = menu ? menu->findChild<Nod::Presentation::ColorPane *>() : nullptr;
            if (!pane) {
                if (menu) {
                    menu->close();
                }
                return;
            }
            picked = pane->colors().at(2);
            pane->button(2)->click();
        });
        QTest::mouseClick(
            button, Qt::LeftButton, Qt::NoModifier, QPoint(button->width() - 3, button->height() / 2));
        QVERIFY(picked.isValid());
        QVERIFY(button->defaultAction()->isChecked());
        QCOMPARE(tab->readingView()->tool(DocumentTool::AbstractTool::Rectangle)->color(), picked);
        QVERIFY(!dropDown->isVisible());
    }

    void outline_isReadAfterThePageInViewHasItsImage()
    {
        const int id = addDocument(backendData(QStringLiteral("text.pdf")));
        // In view: the outline follows the page's image, the library's first work for the tab.
        bool sharpFirst = false;
        int loadedShown = 0;
        auto shown = std::make_unique<DocumentWidget>();
        connect(shown->outlineWidget(), &Nod::Presentation::PDFToCInfoWidget::outlineLoaded, this,
            [&sharpFirst, &loadedShown, tab = shown.get()] {
                ++loadedShown;
                ReadingPageItem *page = tab->readingView()->pdfScene()->readingPageAt(0);
                sharpFirst = page && page->isSharp();
            });
        shown->resize(1000, 700);
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
        QVERIFY(shown->openDocument(documents()->document(id)));
        QTRY_COMPARE(loadedShown, 1);
        QVERIFY(sharpFirst);
        QCOMPARE(shown->outlineWidget()->model()->rowCount(), 3);

        // Never shown, the page gets no image: the outline comes all the same.
        DocumentWidget hidden;
        QSignalSpy loaded(hidden.outlineWidget(), &Nod::Presentation::PDFToCInfoWidget::outlineLoaded);
        QVERIFY(hidden.openDocument(documents()->document(id)));
        QVERIFY(loaded.wait(10000));
        QCOMPARE(hidden.outlineWidget()->model()->rowCount(), 3);
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

    // The tool bar's reload reads the file on a worker while the old pages stay in use; requests
    // meanwhile join it; the marks come back on their pages; a broken file keeps the document; a
    // tab closed during a reload leaves the file open nowhere.
    void reload_readsOffTheInterfaceThread_andKeepsMarksAndTheDocument()
    {
        const QString path = m_fixture->path(QStringLiteral("growing.pdf"));
        const QString staging = m_fixture->path(QStringLiteral("growing.part"));
        QVERIFY(writeNumberedPdf(path, 3));
        const int id = addDocument(path);
        const int first = addMark(id, 0, QStringLiteral("on the first page"));
        const int third = addMark(id, 2, QStringLiteral("on the third page"));
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        PDFDocumentView *reader = tab->readingView();
        PDFDocumentScene *scene = reader->pdfScene().data();
        AnnotationIndex *marks = scene->annotations();
        // Only the tool bar reloads here, so that every rebuild is counted.
        scene->findChild<QFileSystemWatcher *>()->blockSignals(true);
        QAction *reload = tab->findChild<QAction *>(QStringLiteral("openFile"));
        QSignalSpy changed(scene, &PDFDocumentScene::rebuilt);
        QSignalSpy failed(scene, &PDFDocumentScene::reloadFailed);
        const auto replaceFile = [&](const std::function<bool(const QString &)> &write) {
            QVERIFY(write(staging));
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::rename(staging, path));
        };
        const auto markOnPage = [&](int annoId, int page) {
            marks->populate(scene->readingPageAt(page));
            const Nod::Presentation::MarkerItem *mark = marks->canvasItem(annoId);
            return mark && scene->readingPageAt(page)->isAncestorOf(mark);
        };
        const auto sharp = [&](int page) {
            reader->goToPage(page);
            for (int i = 0; i < 500 && !scene->readingPageAt(page)->isSharp(); ++i) {
                reader->viewport()->repaint();
                QTest::qWait(10);
            }
            return scene->readingPageAt(page)->isSharp();
        };

        // What the tab tells the user, over the views that stay in use.
        const auto message = [&]() -> QString {
            const auto *bar = tab->findChild<QWidget *>(QStringLiteral("messageBar"));
            return bar && bar->isVisible() ? bar->findChild<QLabel *>(QStringLiteral("messageText"))->text()
                                           : QString();
        };
        const auto busy = [&] {
            const auto *sign = tab->findChild<QProgressBar *>(QStringLiteral("messageBusy"));
            return sign && sign->isVisible();
        };
        QVERIFY(message().isEmpty());

        replaceFile([](const QString &file) { return writeNumberedPdf(file, 5); });
        reload->trigger();
        // Back before the file was read: the old pages are still shown and still work.
        QVERIFY(scene->isReloading());
        QVERIFY(busy());
        QVERIFY(message().contains(QStringLiteral("growing.pdf")));
        QCOMPARE(scene->pageCount(), 3);
        QCOMPARE(scene->document()->pageCount(), 3);
        reload->trigger();
        reload->trigger();
        QTRY_VERIFY(!scene->isReloading());
        QVERIFY(message().isEmpty());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(scene->pageCount(), 5);
        QCOMPARE(reader->pageCount(), 5);
        QCOMPARE(tab->findChild<QSpinBox *>(QStringLiteral("pageBox"))->maximum(), 5);
        QVERIFY(markOnPage(first, 0));
        QVERIFY(markOnPage(third, 2));
        QVERIFY(sharp(4));
        QCOMPARE(storedAnnotations(first) + storedAnnotations(third), 2);

        // A file that cannot be read keeps the document and the marks as they were.
        replaceFile([](const QString &file) {
            QFile broken(file);
            return broken.open(QIODevice::WriteOnly) && broken.write("%PDF-1.4\nnot really\n") > 0;
        });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("reload failed")));
        reload->trigger();
        QVERIFY(failed.wait(10000));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(scene->document()->pageCount(), 5);
        QCOMPARE(scene->pageCount(), 5);
        QVERIFY(markOnPage(third, 2));
        QVERIFY(sharp(3));
        // The user is told, in the tab and without a box to dismiss, and the busy sign has stopped.
        QVERIFY(message().contains(QStringLiteral("could not be read")));
        QVERIFY(!busy());
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // A file gone from its place is a failure the user hears of too; the document stays.
        const QString aside = m_fixture->path(QStringLiteral("aside.pdf"));
        QVERIFY(QFile::rename(path, aside));
        reload->trigger();
        QCOMPARE(failed.count(), 2);
        QVERIFY(message().contains(QStringLiteral("moved or deleted")));
        QCOMPARE(scene->pageCount(), 5);
        QTest::mouseClick(tab->findChild<QToolButton *>(QStringLiteral("messageClose")), Qt::LeftButton);
        QVERIFY(message().isEmpty());
        QVERIFY(QFile::rename(aside, path));

        // Closed while the file is being read: neither the tab's document nor the one being read
        // keeps the file open.
        replaceFile([](const QString &file) { return writeNumberedPdf(file, 2); });
        reload->trigger();
        QVERIFY(scene->isReloading());
        const auto descriptorsOn = [](const QString &file) {
            // A replaced file still open shows as its old name marked deleted.
            int count = 0;
            const QFileInfoList links
                = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System);
            for (const QFileInfo &link : links) {
                count += link.symLinkTarget().startsWith(QFileInfo(file).canonicalFilePath());
            }
            return count;
        };
        QVERIFY(descriptorsOn(path) > 0);
        tab->closeDocument();
        tab.reset();
        QTRY_COMPARE(descriptorsOn(path), 0);
    }

    void views_switchShareZoomAndJumpToEachOther()
    {
        const QString path = m_fixture->path(QStringLiteral("ten.pdf"));
        QVERIFY(writeNumberedPdf(path, 10));
        const int id = addDocument(path);
        const int annoId = addMark(id, 6, QStringLiteral("far mark"));

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

    // Over a mark the reader offers the mark's own entries, then the history; each entry acts once,
    // and a removal from the menu is one undo step.
    void markMenu_offersTheMarksEntriesThenTheHistory()
    {
        const QString path = m_fixture->path(QStringLiteral("three.pdf"));
        QVERIFY(writeNumberedPdf(path, 3));
        const int id = addDocument(path);
        const int annoId = addMark(id, 0, QStringLiteral("the mark"));
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        PDFDocumentView *reader = tab->readingView();
        AnnotationIndex *marks = reader->pdfScene()->annotations();
        QTRY_VERIFY(marks->canvasItem(annoId));
        const auto markPoint = [&] {
            Nod::Presentation::MarkerItem *mark = marks->canvasItem(annoId);
            reader->centerOn(mark);
            return reader->mapFromScene(mark->sceneBoundingRect().center());
        };
        const QStringList history { QStringLiteral("Previous View"), QStringLiteral("Next View") };

        QMenu *menu = contextMenuAt(reader, markPoint());
        QVERIFY(menu);
        QCOMPARE(entries(menu),
            QStringList({ QStringLiteral("&Toggle view"), QStringLiteral("-"), QStringLiteral("&Remove"),
                QStringLiteral("-") })
                + history);
        QSignalSpy toggles(reader, &PDFDocumentView::toggleView);
        menu->actions().first()->trigger();
        menu->close();
        QCOMPARE(toggles.count(), 1);
        QCOMPARE(tab->currentView(), int(DocumentWidget::SummaryView));

        tab->findChild<QAction *>(QStringLiteral("readingViewAction"))->trigger();
        // Off the mark, only the history.
        menu = contextMenuAt(reader, QPoint(5, 5));
        QVERIFY(menu);
        QCOMPARE(entries(menu), history);
        menu->close();

        menu = contextMenuAt(reader, markPoint());
        QVERIFY(menu);
        menu->actions().at(2)->trigger();
        menu->close();
        QTRY_COMPARE(storedAnnotations(annoId), 0);
        QVERIFY(!marks->canvasItem(annoId));
        tab->undoStack()->undo();
        QCOMPARE(storedAnnotations(annoId), 1);
        QVERIFY(marks->canvasItem(annoId));
    }

    // The page box follows the view even while it has the focus, and leaving it jumps only to a
    // page typed into it.
    void pageBox_followsTheView_andJumpsOnlyOnReturnOrAChange()
    {
        const QString path = m_fixture->path(QStringLiteral("eighty.pdf"));
        QVERIFY(writeNumberedPdf(path, 80));
        std::unique_ptr<DocumentWidget> tab = openShown(addDocument(path));
        QVERIFY(tab);
        tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tab.get()));
        PDFDocumentView *view = tab->readingView();
        QSpinBox *box = tab->pageBox();
        const auto type = [box](const QString &number) {
            box->setFocus();
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(box, number);
        };

        type(QStringLiteral("50"));
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_COMPARE(view->currentPage(), 49);
        QVERIFY(box->hasFocus());

        // The wheel leaves the focus in the box.
        for (int turn = 0; turn < 400 && view->currentPage() < 59; ++turn) {
            const QPoint at = view->viewport()->rect().center();
            QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
            view->viewport()->repaint();
        }
        QVERIFY(view->currentPage() >= 59);
        QVERIFY(box->hasFocus());
        QCOMPARE(box->value(), view->currentPage() + 1);

        // Clicking the page takes the focus from the box; the view stays where the wheel left it.
        const int page = view->currentPage();
        const int steps = view->history()->count();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->viewport()->rect().center());
        QTRY_VERIFY(!box->hasFocus());
        QTest::qWait(0);
        QCOMPARE(view->currentPage(), page);
        QCOMPARE(view->history()->count(), steps);

        // A number typed and left goes there.
        type(QStringLiteral("5"));
        view->setFocus();
        QTRY_COMPARE(view->currentPage(), 4);
        QCOMPARE(box->value(), 5);
    }

    // The arrow keys turn pages in the page and the tool bar only: the outline opens and closes
    // entries with them, the page box moves its cursor.
    void pageKeys_answerInThePageAndTheToolBarOnly()
    {
        std::unique_ptr<DocumentWidget> tab = openShown(addDocument(backendData(QStringLiteral("text.pdf"))));
        QVERIFY(tab);
        tab->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(tab.get()));
        PDFDocumentView *view = tab->readingView();
        QTest::mouseClick(tab->siderBar()->toggleButton(), Qt::LeftButton);
        QTRY_VERIFY(!tab->siderBar()->isShrunk());
        OutlineModel *model = tab->outlineWidget()->model();
        QTRY_COMPARE(model->rowCount(), 3);
        QTreeView *tree = tab->outlineWidget()->treeView();
        const QModelIndex chapterOne = model->index(0, 0);
        QVERIFY(tree->isExpanded(chapterOne));

        tree->setFocus();
        tree->selectionModel()->setCurrentIndex(chapterOne, QItemSelectionModel::NoUpdate);
        QTRY_VERIFY(tree->hasFocus());
        const int page = view->currentPage();
        QTest::keyClick(tree, Qt::Key_Left);
        QVERIFY(!tree->isExpanded(chapterOne));
        QTest::keyClick(tree, Qt::Key_Right);
        QVERIFY(tree->isExpanded(chapterOne));
        QCOMPARE(view->currentPage(), page);

        QSpinBox *box = tab->pageBox();
        auto *edit = box->findChild<QLineEdit *>();
        box->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        edit->setCursorPosition(1);
        QTest::keyClick(edit, Qt::Key_Left);
        QCOMPARE(edit->cursorPosition(), 0);
        QTest::keyClick(edit, Qt::Key_Right);
        QCOMPARE(edit->cursorPosition(), 1);
        QCOMPARE(view->currentPage(), page);

        view->setFocus();
        QTest::keyClick(view, Qt::Key_Right);
        QTRY_COMPARE(view->currentPage(), page + 1);
        QTest::keyClick(view, Qt::Key_Left);
        QTRY_COMPARE(view->currentPage(), page);
    }

    // A link into another document names its page, which travels with the request; the outline of
    // a book is read once, so nothing resets the tree after it shows.
    void remoteLink_keepsItsPage_andABooksOutlineIsReadOnce()
    {
        const QString path = m_fixture->path(QStringLiteral("two.pdf"));
        QVERIFY(writeNumberedPdf(path, 2));
        const QString other = m_fixture->path(QStringLiteral("other.pdf"));
        QVERIFY(writeNumberedPdf(other, 6));
        std::unique_ptr<DocumentWidget> tab = openShown(addDocument(path));
        QVERIFY(tab);
        QSignalSpy requested(tab.get(), &DocumentWidget::openFileRequested);
        PDFGotoAction link(PDFDestination(4, QRectF()));
        link.setRemote(true);
        link.setFileName(other);
        QTimer::singleShot(0, this, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box->button(QMessageBox::Yes)->click();
            }
        });
        QVERIFY(QMetaObject::invokeMethod(
            tab->readingView(), "pdfActionTriggered", Q_ARG(const PDFAction *, &link)));
        QTRY_COMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(1).toInt(), 4);

        const int book = addDocument(backendData(QStringLiteral("book.epub")));
        DocumentWidget reader;
        QSignalSpy loaded(reader.outlineWidget(), &Nod::Presentation::PDFToCInfoWidget::outlineLoaded);
        QSignalSpy opened(&reader, &DocumentWidget::documentOpened);
        QVERIFY(reader.openDocument(documents()->document(book)));
        QVERIFY(opened.wait(20000));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(loaded.count(), 1);
    }

    // A locked document opens at its stored page once unlocked; closed while still locked, it
    // leaves the stored state alone.
    void lockedDocument_restoresItsStateAfterTheUnlockOnly()
    {
        const int id = addDocument(backendData(QStringLiteral("locked.pdf")));
        const LastRead saved(2, QPointF(),
            ViewSetting(ViewSetting::ScaleFactor, 1.5, ViewSetting::NoRotation, ViewSetting::NoMargin),
            SiderBarState());
        QVERIFY(documents()->changeLastRead(id, saved));
        {
            std::unique_ptr<DocumentWidget> tab = openShown(id);
            QVERIFY(tab);
            QCOMPARE(tab->readingView()->pageCount(), 0);
            tab->closeDocument();
        }
        QCOMPARE(storedLastRead(id), saved);

        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        QPushButton *unlock = nullptr;
        for (QGraphicsItem *item : tab->readingView()->scene()->items()) {
            if (auto *proxy = qgraphicsitem_cast<QGraphicsProxyWidget *>(item)) {
                unlock = proxy->widget()->findChild<QPushButton *>(QStringLiteral("unlockButton"));
            }
        }
        QVERIFY(unlock);
        QTimer::singleShot(0, this, [] {
            if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
                dialog->setTextValue(QStringLiteral("secret"));
                dialog->accept();
            }
        });
        unlock->click();
        QTRY_VERIFY(tab->readingView()->pageCount() > 2);
        QCOMPARE(tab->readingView()->currentPage(), 2);
        QVERIFY(qFuzzyCompare(tab->readingView()->zoomLevel(), 1.5));
        QCOMPARE(tab->pageBox()->value(), 3);
        tab->readingView()->goToPage(1);
        tab->closeDocument();
        QCOMPARE(storedLastRead(id).pageIndex(), 1);
    }

    // The paper gets the page and its marks; search hits and the text selection are the screen's.
    void printing_leavesSearchHitsAndSelectionOff()
    {
        const QString path = m_fixture->path(QStringLiteral("one.pdf"));
        QVERIFY(writeNumberedPdf(path, 1));
        const int id = addDocument(path);
        addMark(id, 0, QStringLiteral("printed"));
        std::unique_ptr<DocumentWidget> tab = openShown(id);
        QVERIFY(tab);
        PDFDocumentView *view = tab->readingView();
        view->searching()->start(QStringLiteral("Page"), {});
        QTRY_COMPARE(view->searching()->total(), 1);

        ReadingPageItem *page = view->pdfScene()->readingPageAt(0);
        const QList<Backend::TextBox> boxes = page->page().toStrongRef()->textBoxes();
        QVERIFY(boxes.size() > 2);
        const QPoint inWord
            = view->mapFromScene(page->mapToScene(page->pageTransform().map(boxes.at(1).rect.center())));
        tab->findChild<QAction *>(QStringLiteral("selectText"))->trigger();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        int shownPaths = 0;
        for (QGraphicsItem *child : page->childItems()) {
            const auto *path = qgraphicsitem_cast<QGraphicsPathItem *>(child);
            shownPaths += path && !path->path().isEmpty() ? 1 : 0;
        }
        QCOMPARE(shownPaths, 2);

        const QString output = m_fixture->path(QStringLiteral("printed.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(output);
        printer.setResolution(150);
        QVERIFY(Reading::printScene(view->pdfScene().data(), &printer, tab.get()).started);
        const QSharedPointer<Backend::Document> printed = BackendManager::instance()->openDocument(output);
        QVERIFY(printed);
        const QImage image = printed->pageAt(0).toStrongRef()->renderImage(72, 72);
        int yellow = 0;
        int otherColours = 0; // the hits and the selection blend into a tinted grey
        // Above the footer, whose credit line is a coloured link.
        for (int y = 0; y < image.height() * 3 / 4; ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::max({ c.red(), c.green(), c.blue() }) - std::min({ c.red(), c.green(), c.blue() })
                    < 12) {
                    continue;
                }
                // The mark, and its edges half over the white paper.
                const bool isYellow = std::abs(c.red() - c.green()) < 30 && c.blue() < c.green() - 12;
                (isYellow ? yellow : otherColours) += 1;
            }
        }
        QVERIFY2(yellow > 100, qPrintable(QString::number(yellow)));
        QCOMPARE(otherColours, 0);
    }

    // In the summary and in the map, as in the reader, a focused note gets the editor's bar over it;
    // a format applied from the bar is stored when the note is left.
    void noteEditorBar_followsTheNoteInTheSummaryAndTheMap()
    {
        const QString path = m_fixture->path(QStringLiteral("two.pdf"));
        QVERIFY(writeNumberedPdf(path, 2));
        const int id = addDocument(path);
        const int summaryNote = addMark(id, 1, QStringLiteral("summary note"));
        const int mindNote = addMark(id, 1, QStringLiteral("map note"));
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
