#include "infrastructure/testsupport.h"
#include "support/programstorage.h"

#include <app/helpdialog.h>
#include <app/maintabbar.h>
#include <app/mainwindow.h>
#include <app/settingsdialog.h>
#include <app/startup.h>
#include <app/storage/settings.h>
#include <app/tabbar.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <application/startgate.h>
#include <backend/document.h>
#include <backend/page.h>
#include <backend/tileitem.h>
#include <domain/marker.h>
#include <library/documentmodel.h>
#include <library/librarywidget.h>
#include <reading/backgroundmodeholder.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documenttab.h>
#include <reading/tab/documentwidget.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Nod::Presentation;
using Common::Infrastructure::Settings;

namespace {
// What the program writes to its log while a test runs.
QStringList g_logged;
QtMessageHandler g_previousHandler = nullptr;
void keepLogLine(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    g_logged.append(text);
    if (g_previousHandler) {
        g_previousHandler(type, context, text);
    }
}
int loggedCount(const QString &start)
{
    int count = 0;
    for (const QString &line : qAsConst(g_logged)) {
        count += line.startsWith(start) ? 1 : 0;
    }
    return count;
}
} // namespace

// A document tab that records what the window asks it to reload.
class ReloadRecorder : public QWidget, public DocumentTab
{
    Q_OBJECT
    Q_INTERFACES(Nod::Presentation::DocumentTab)

public:
    ReloadRecorder(int id, QStringList *log)
        : m_id(id)
        , m_log(log)
    { }
    int documentId() const override { return m_id; }
    void closeDocument() override { }
    void reloadShortcuts() override { m_log->append(QStringLiteral("shortcuts %1").arg(m_id)); }
    void reloadColors() override { m_log->append(QStringLiteral("colors %1").arg(m_id)); }
    void print() override { }
    void showSearchHit(int, int, const QString &) override { }

private:
    int m_id;
    QStringList *m_log;
};

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramStorage> m_storage;
    std::unique_ptr<MainWindow> m_window;

    QString makePdf(const QString &name, int pages = 1)
    {
        const QString path = m_storage->filePath(name);
        QPdfWriter writer(path);
        QPainter painter(&writer);
        for (int i = 0; i < pages; ++i) {
            if (i > 0) {
                writer.newPage();
            }
            painter.drawText(QRect(0, 0, 3000, 600), name);
        }
        return path;
    }

    // A document of several pages, so that a page to return to means something.
    QString makeBook(const QString &name, int pages)
    {
        const QString path = m_storage->filePath(name);
        QPdfWriter writer(path);
        QPainter painter(&writer);
        for (int page = 0; page < pages; ++page) {
            if (page > 0) {
                writer.newPage();
            }
            painter.drawText(QRect(0, 0, 3000, 600), QStringLiteral("%1 page %2").arg(name).arg(page + 1));
        }
        return path;
    }

    // A window as the program builds it at start-up, with the session setting on.
    // As main() starts with a file on its command line, until the start has settled.
    void startWithFile(const QString &path)
    {
        Nod::Application::StartGate::hold();
        m_window = std::make_unique<MainWindow>();
        QSignalSpy settled(m_window.get(), &MainWindow::startSettled);
        m_window->show();
        m_window->addToLibrary(path);
        m_window->finishStart();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(settled.count(), 1);
    }

    void startWindowWithSession(const QList<int> &session)
    {
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();
        Settings::instance()->general.setLoadLastSessionWhenStart(true);
        Settings::instance()->mainWindow.setLastSessionDocuments(session);
        m_window = std::make_unique<MainWindow>();
        m_window->show();
    }

    Nod::Application::DocumentService *documents() const
    {
        return Nod::Application::ServiceRegistry::instance()->documentService();
    }

    Nod::Domain::Document addDocument(const QString &name)
    {
        const int id = m_window->libraryWidget()->addFile(makePdf(name)).value_or(-1);
        return documents()->document(id);
    }

    // Opens the document in a tab and changes its note area, so that a saved state shows.
    void openTab(const Nod::Domain::Document &document)
    {
        m_window->on_shelf_requestOpenFile(document);
        auto *tab = dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab());
        QVERIFY(tab);
        QCOMPARE(tab->documentId(), document.id());
        tab->setNoteAreaMode(Nod::Domain::ViewSetting::BothSideMargin);
    }

    Nod::Domain::ViewSetting::MarginMode storedMargin(int id) const
    {
        return documents()->document(id).lastRead().viewSetting().marginMode();
    }

    QStackedWidget *stack() const { return m_window->findChild<QStackedWidget *>(); }

private slots:
    void init()
    {
        m_storage = std::make_unique<ProgramStorage>();
        QVERIFY(m_storage->isValid());
        m_window = std::make_unique<MainWindow>();
    }

    void cleanup()
    {
        Nod::Application::StartGate::open();
        m_window.reset();
        m_storage.reset();
    }

    void drops_takeLocalFilesOnly()
    {
        const QString a = makePdf(QStringLiteral("a.pdf"));
        const QString b = makePdf(QStringLiteral("b.pdf"));
        auto drop = [this](const QList<QUrl> &urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_window.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_window.get(), &dropped);
        };
        drop({ QUrl(QStringLiteral("https://example.org/paper.pdf")) });
        QCOMPARE(m_window->libraryWidget()->documentModel()->rowCount(), 0);
        QVERIFY(m_window->openDocumentIds().isEmpty());

        drop({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(b) });
        QCOMPARE(m_window->libraryWidget()->documentModel()->rowCount(), 2);
        QCOMPARE(m_window->openDocumentIds().size(), 2);
        QCOMPARE(documents()->document(m_window->openDocumentIds().at(1)).localUrl(), b);

        // The same file again is found by its path, not added twice.
        drop({ QUrl::fromLocalFile(a) });
        QCOMPARE(m_window->libraryWidget()->documentModel()->rowCount(), 2);
    }

    void openingAnOpenDocument_switchesToItsTab()
    {
        const Nod::Domain::Document first = addDocument(QStringLiteral("first.pdf"));
        const Nod::Domain::Document second = addDocument(QStringLiteral("second.pdf"));
        openTab(first);
        openTab(second);
        TabBar *tabs = m_window->mainTabBar()->tabBar();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 2);
        QCOMPARE(tabs->tabText(2), second.title());
        m_window->on_shelf_requestOpenFile(first);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(stack()->currentIndex(), 1);
    }

    void missingFile_isReportedNotOpened()
    {
        const Nod::Domain::Document document = addDocument(QStringLiteral("gone.pdf"));
        QFile::remove(document.localUrl());
        QString text;
        QTimer::singleShot(0, [&text] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                text = box->text();
                box->accept();
            }
        });
        const TestSupport::LogCapture log;
        m_window->on_shelf_requestOpenFile(document);
        QCOMPARE(text,
            QStringLiteral("Can't open: \"%1\". This file may be renamed, deleted or moved.")
                .arg(document.localUrl()));
        QVERIFY(log.contains(QStringLiteral("File not exist, file path: \"%1\"").arg(document.localUrl())));
        QCOMPARE(m_window->mainTabBar()->tabBar()->count(), 1);
    }

    void unreadableDocument_opensNoTab()
    {
        const QString path = m_storage->filePath(QStringLiteral("empty.pdf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const int id = documents()->newDocument(
            QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"), path, QStringLiteral("empty.pdf"));
        const TestSupport::LogCapture log;
        m_window->on_shelf_requestOpenFile(documents()->document(id));
        QCOMPARE(m_window->mainTabBar()->tabBar()->count(), 1);
        QVERIFY(
            log.contains(QStringLiteral("Open file failed, file path: \"%1\" , id: %2").arg(path).arg(id)));
    }

    void closeOtherTabs_fromTheLibrary_closesEveryDocumentAndSavesIt()
    {
        QList<int> ids;
        for (const char *name : { "a.pdf", "b.pdf", "c.pdf" }) {
            const Nod::Domain::Document document = addDocument(QString::fromLatin1(name));
            openTab(document);
            ids.append(document.id());
        }
        TabBar *tabs = m_window->mainTabBar()->tabBar();
        QScopedPointer<QMenu> menu(tabs->createContextMenu(0, nullptr));
        menu->findChild<QAction *>(QStringLiteral("closeOtherTabs"))->trigger();
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(stack()->count(), 1);
        QVERIFY(m_window->openDocumentIds().isEmpty());
        for (int id : qAsConst(ids)) {
            QCOMPARE(storedMargin(id), Nod::Domain::ViewSetting::BothSideMargin);
        }
    }

    void removedDocument_closesItsTabWithoutSaving()
    {
        const Nod::Domain::Document kept = addDocument(QStringLiteral("kept.pdf"));
        const Nod::Domain::Document removed = addDocument(QStringLiteral("removed.pdf"));
        openTab(kept);
        openTab(removed);
        QVERIFY(documents()->remove(removed.id()));
        QCOMPARE(m_window->openDocumentIds(), QList<int> { kept.id() });
        QCOMPARE(storedMargin(kept.id()), Nod::Domain::ViewSetting::RightMargin);
    }

    void session_isSavedInTabOrderAndReopenedInThatOrder()
    {
        const Nod::Domain::Document first = addDocument(QStringLiteral("first.pdf"));
        const Nod::Domain::Document second = addDocument(QStringLiteral("second.pdf"));
        openTab(second);
        openTab(first);
        m_window->close();
        QCOMPARE(storedMargin(first.id()), Nod::Domain::ViewSetting::BothSideMargin);
        QCOMPARE(storedMargin(second.id()), Nod::Domain::ViewSetting::BothSideMargin);
        QCOMPARE(Settings::instance()->mainWindow.lastSessionDocuments(),
            (QList<int> { second.id(), first.id() }));
        QVERIFY(!Settings::instance()->mainWindow.geometry().isEmpty());
        QVERIFY(!Settings::instance()->mainWindow.libraryWidgetState().isEmpty());

        // Without session loading nothing is reopened; with it, the documents come back in order.
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(m_window->openDocumentIds().isEmpty());
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();

        Settings::instance()->general.setLoadLastSessionWhenStart(true);
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QCOMPARE(m_window->openDocumentIds(), (QList<int> { second.id(), first.id() }));
    }

    void sessionOfThreeDocuments_reopensAllWithTheirReadingStates()
    {
        using Nod::Domain::LastRead;
        using Nod::Domain::ViewSetting;
        QList<int> ids;
        QList<LastRead> states;
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("book%1.pdf").arg(i);
            const int id = m_window->libraryWidget()->addFile(makeBook(name, 6)).value_or(-1);
            QVERIFY(id > 0);
            const LastRead state(2 + i, QPointF(),
                ViewSetting(ViewSetting::ScaleFactor, 1.0 + 0.25 * i, ViewSetting::NoRotation,
                    ViewSetting::MarginMode(i + 1)),
                Nod::Domain::SiderBarState(true, { 0.2, 0.8 }));
            QVERIFY(documents()->changeLastRead(id, state));
            ids.append(id);
            states.append(documents()->document(id).lastRead());
        }
        const auto checkShown = [&](int index) {
            auto *tab = dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab());
            QVERIFY(tab);
            QCOMPARE(tab->documentId(), ids.at(index));
            QCOMPARE(tab->readingView()->currentPage(), states.at(index).pageIndex());
            QCOMPARE(tab->readingView()->zoomLevel(), states.at(index).viewSetting().scaleFactor());
            QCOMPARE(tab->noteAreaMode(), int(states.at(index).viewSetting().marginMode()));
        };

        // A start ended before the user looked at the tabs behind the front one stores exactly what
        // it found for them, and the whole session again.
        startWindowWithSession(ids);
        QCOMPARE(m_window->openDocumentIds(), ids);
        m_window->finishStart();
        checkShown(2);
        m_window->close();
        QCOMPARE(documents()->document(ids.at(0)).lastRead(), states.at(0));
        QCOMPARE(documents()->document(ids.at(1)).lastRead(), states.at(1));
        QCOMPARE(Settings::instance()->mainWindow.lastSessionDocuments(), ids);

        // Each tab opens its document where it was left when it is first shown.
        startWindowWithSession(ids);
        QSignalSpy settled(m_window.get(), &MainWindow::startSettled);
        m_window->finishStart();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(settled.count(), 1);
        checkShown(2);
        TabBar *tabs = m_window->mainTabBar()->tabBar();
        for (int index : { 0, 1 }) {
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index + 1).center());
            QCOMPARE(tabs->currentIndex(), index + 1);
            QTRY_VERIFY(dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab()));
            checkShown(index);
        }
        QCOMPARE(m_window->openDocumentIds(), ids);
        m_window->close();
        QCOMPARE(Settings::instance()->mainWindow.lastSessionDocuments(), ids);
        for (int i = 0; i < 3; ++i) {
            const LastRead stored = documents()->document(ids.at(i)).lastRead();
            QCOMPARE(stored.pageIndex(), states.at(i).pageIndex());
            QCOMPARE(stored.viewSetting(), states.at(i).viewSetting());
        }
    }

    void documentOnTheCommandLine_buildsSummaryAndMapOnlyWhenShown()
    {
        const QString path = makeBook(QStringLiteral("marked.pdf"), 3);
        const int id = m_window->libraryWidget()->addFile(path).value_or(-1);
        QVERIFY(id > 0);
        Nod::Application::NoteService *notes = Nod::Application::ServiceRegistry::instance()->noteService();
        for (int page : { 0, 2 }) {
            Nod::Application::NewAnnotation record;
            record.id = notes->nextId();
            record.documentId = id;
            record.pageIndex = page;
            record.position = QPointF(100, 200);
            record.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 120, 40)),
                Nod::Domain::Marker::AllEdges, QPen(Qt::NoPen), QBrush(Qt::yellow));
            record.noteText = QStringLiteral("note on page %1").arg(page + 1);
            record.createdAt = QDateTime::currentDateTime();
            record.parentId = notes->documentNote(id).id();
            notes->newAnnotation(record);
        }
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();

        // As main() starts with a file on its command line.
        g_logged.clear();
        g_previousHandler = qInstallMessageHandler(keepLogLine);
        startWithFile(path);
        // What waited for the first page (the file's own annotations read for an offer) goes on.
        QVERIFY(Nod::Application::StartGate::isOpen());
        QTest::qWait(100); // what follows the first page has had its turn
        auto *tab = dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab());
        QVERIFY(tab);
        QCOMPARE(loggedCount(QStringLiteral("initialize reading for: ")), 1);
        QCOMPARE(loggedCount(QStringLiteral("initialize summary: ")), 0);
        QCOMPARE(loggedCount(QStringLiteral("initialize mind map: ")), 0);

        tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        QCOMPARE(loggedCount(QStringLiteral("initialize summary: 2 annotations")), 1);
        QCOMPARE(loggedCount(QStringLiteral("initialize mind map: ")), 0);
        tab->findChild<QAction *>(QStringLiteral("mindmapAction"))->trigger();
        QTRY_COMPARE(loggedCount(QStringLiteral("initialize mind map: 2 annotations")), 1);
        // Shown again, neither is built a second time.
        tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        tab->findChild<QAction *>(QStringLiteral("mindmapAction"))->trigger();
        QCOMPARE(loggedCount(QStringLiteral("initialize summary: ")), 1);
        QCOMPARE(loggedCount(QStringLiteral("initialize mind map: ")), 1);
        qInstallMessageHandler(g_previousHandler);
    }

    void documentOnTheCommandLine_hasThePageItWasLeftAtDrawnBesideTheWindow()
    {
        using Nod::Domain::LastRead;
        using Nod::Domain::ViewSetting;
        const QString path = makeBook(QStringLiteral("left.pdf"), 6);
        const int id = m_window->libraryWidget()->addFile(path).value_or(-1);
        QVERIFY(id > 0);
        const LastRead state(3, QPointF(),
            ViewSetting(ViewSetting::ScaleFactor, 1.5, ViewSetting::NoRotation, ViewSetting::MarginMode(1)),
            Nod::Domain::SiderBarState(true, { 0.2, 0.8 }));
        QVERIFY(documents()->changeLastRead(id, state));
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();

        // As main() starts with the file on its command line: the page is drawn while the window
        // is being made.
        Nod::App::startOpeningFiles({ path });
        const QSharedPointer<Backend::Document> early = Backend::DocumentLoader::takeEarly(path);
        QVERIFY(early);
        const QSharedPointer<Backend::Page> page = early->pageAt(3).toStrongRef();
        QVERIFY(page);
        QTRY_VERIFY(page->hasPreparedRender());
        startWithFile(path);

        // The view's first render of that page asked for exactly what was drawn, and took it.
        auto *tab = dynamic_cast<DocumentWidget *>(m_window->currentDocumentTab());
        QVERIFY(tab);
        QCOMPARE(tab->document(), early);
        QCOMPARE(tab->readingView()->currentPage(), 3);
        QVERIFY(!page->hasPreparedRender());
        ReadingPageItem *item = tab->readingView()->pdfScene()->readingPageAt(3);
        QVERIFY(item && item->isSharp());
        const TileItem *tile = item->findChild<TileItem *>();
        QVERIFY(tile);
        const Backend::DocumentLoader::FirstPage first = Nod::App::firstPageOf(state);
        QCOMPARE(first.index, 3);
        const QPair<double, double> resolution = first.resolution(early->pageSizes().at(3));
        QCOMPARE(tile->renderParam().renderXres(), resolution.first);
        QCOMPARE(tile->renderParam().renderYres(), resolution.second);
        Backend::DocumentLoader::dropEarly();
    }

    void documentTabs_keepTheirKeysAndPrintAndOpenWhatTheirLinksName()
    {
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        const Nod::Domain::Document first = addDocument(QStringLiteral("first.pdf"));
        const Nod::Domain::Document second = addDocument(QStringLiteral("second.pdf"));
        openTab(first);
        openTab(second);
        auto *firstTab = dynamic_cast<DocumentWidget *>(m_window->documentTab(1));
        auto *secondTab = dynamic_cast<DocumentWidget *>(m_window->documentTab(2));

        // Every tab has the same keys; only the one in front answers them.
        QCOMPARE(QApplication::focusWidget(), secondTab->readingView());
        QTest::keyClick(secondTab->readingView(), Qt::Key_Equal, Qt::ControlModifier);
        QVERIFY(qFuzzyCompare(secondTab->readingView()->zoomLevel(), 1.1));
        QCOMPARE(firstTab->readingView()->zoomLevel(), 1.0);

        // Printing is offered while a document is in front, not over the library.
        auto printEntry = [this] {
            QScopedPointer<QMenu> menu(
                m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
            return menu->findChild<QAction *>(QStringLiteral("print"))->isEnabled();
        };
        QVERIFY(printEntry());
        m_window->mainTabBar()->tabBar()->setCurrentIndex(0);
        QVERIFY(!printEntry());

        // A link to a local document the reader agreed to follow opens it in a tab of its own, at
        // the page the link names.
        const QString linked = makePdf(QStringLiteral("linked.pdf"), 4);
        emit firstTab->openFileRequested(linked, 2);
        QCOMPARE(m_window->openDocumentIds().size(), 3);
        QCOMPARE(documents()->document(m_window->openDocumentIds().last()).localUrl(), linked);
        QCOMPARE(m_window->mainTabBar()->tabBar()->currentIndex(), 3);
        auto *linkedTab = dynamic_cast<DocumentWidget *>(m_window->documentTab(3));
        QTRY_COMPARE(linkedTab->readingView()->currentPage(), 2);
        // Followed again, the open tab moves to the page named.
        emit firstTab->openFileRequested(linked, 0);
        QCOMPARE(m_window->openDocumentIds().size(), 3);
        QTRY_COMPARE(linkedTab->readingView()->currentPage(), 0);
    }

    void settingsEntry_showsTheDialogAndOkReloadsEveryTab()
    {
        QStringList reloads;
        const Nod::Domain::Document first = addDocument(QStringLiteral("first.pdf"));
        const Nod::Domain::Document second = addDocument(QStringLiteral("second.pdf"));
        m_window->addDocumentPage(new ReloadRecorder(first.id(), &reloads), first);
        m_window->addDocumentPage(new ReloadRecorder(second.id(), &reloads), second);
        QScopedPointer<QMenu> menu(
            m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
        QAction *settings = menu->findChild<QAction *>(QStringLiteral("settings"));
        QVERIFY(settings->isEnabled());

        for (const auto which : { QDialogButtonBox::Cancel, QDialogButtonBox::Ok }) {
            QString title;
            QTimer poll;
            connect(&poll, &QTimer::timeout, this, [&] {
                if (auto *dialog = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget())) {
                    title = dialog->windowTitle();
                    QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(which), Qt::LeftButton);
                }
            });
            poll.start(20);
            settings->trigger();
            QCOMPARE(title, QStringLiteral("Settings"));
        }
        // Cancel reloads nothing; OK reloads each tab's shortcuts and colours.
        QCOMPARE(reloads,
            (QStringList { QStringLiteral("shortcuts %1").arg(first.id()),
                QStringLiteral("colors %1").arg(first.id()), QStringLiteral("shortcuts %1").arg(second.id()),
                QStringLiteral("colors %1").arg(second.id()) }));
    }

    void helpAndShortcuts_showTheShippedGuideAndTheKeysInForce()
    {
        QScopedPointer<QMenu> menu(
            m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
        QAction *help = menu->findChild<QAction *>(QStringLiteral("help"));
        help->trigger();
        help->trigger();
        const QList<HelpDialog *> guides = m_window->findChildren<HelpDialog *>();
        QCOMPARE(guides.size(), 1); // asked twice, shown once
        QVERIFY(guides.first()->isVisible());
        const QString guide = guides.first()->browser()->toPlainText();
        for (const char *section : { "Opening and importing", "Marking tools", "Notes and pictures",
                 "The three views", "Notes in and out", "Background modes", "Where your data lives" }) {
            QVERIFY2(guide.contains(QLatin1String(section)), section);
        }
        QFile source(QStringLiteral(":/desktop/user-guide.html"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(!source.readAll().contains("://")); // nothing points outside the program

        Settings::instance()->shortcut.setShortcut(
            QStringLiteral("textHighlight"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
        Settings::instance()->shortcut.setShortcut(
            QStringLiteral("ff0000"), QKeySequence(Qt::CTRL | Qt::Key_1));
        menu->findChild<QAction *>(QStringLiteral("keyboardShortcuts"))->trigger();
        QCOMPARE(m_window->findChildren<HelpDialog *>().size(), 2);
        HelpDialog *keys = m_window->findChildren<HelpDialog *>().last();
        QCOMPARE(keys->windowTitle(), QStringLiteral("Keyboard Shortcuts"));
        const auto listed = [keys](const QString &key, const QString &what) {
            const QString text = keys->browser()->toPlainText();
            const int at = text.indexOf(key + QLatin1Char('\n'));
            return at >= 0 && text.mid(at + key.size() + 1).startsWith(what);
        };
        QVERIFY(listed(QStringLiteral("Ctrl+Shift+K"), QStringLiteral("Text Highlight")));
        QVERIFY(listed(QStringLiteral("Ctrl+E"), QStringLiteral("Rectangle"))); // a default still in force
        // A colour's row: its key, a swatch of the colour, its name.
        QVERIFY(keys->browser()
                    ->toPlainText()
                    .remove(QLatin1Char(' '))
                    .contains(QStringLiteral("Ctrl+1\n\n#ff0000")));
        QVERIFY(listed(QStringLiteral("Ctrl+Z"), QStringLiteral("Undo")));

        // Keys changed in the settings show in the open window once the dialog is accepted.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [] {
            if (auto *dialog = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget())) {
                auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("shortcut_rectangle"));
                edit->setText(
                    QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_J).toString(QKeySequence::NativeText));
                QTest::mouseClick(
                    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            }
        });
        poll.start(20);
        menu->findChild<QAction *>(QStringLiteral("settings"))->trigger();
        poll.stop();
        QVERIFY(listed(QStringLiteral("Ctrl+Shift+J"), QStringLiteral("Rectangle")));
        QVERIFY(!listed(QStringLiteral("Ctrl+E"), QStringLiteral("Rectangle")));
    }

    void backgroundMode_isKeptAcrossRuns()
    {
        QScopedPointer<QMenu> menu(
            m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
        QVERIFY(menu->findChild<QAction *>(QStringLiteral("defaultMode"))->isChecked());
        menu->findChild<QAction *>(QStringLiteral("nightMode"))->trigger();
        QCOMPARE(MainWindow::backgroundMode(), Nod::Domain::BackgroundMode(1, QColor(53, 62, 66)));
        m_window->close();
        QCOMPARE(Settings::instance()->mainWindow.backgroundMode(),
            Nod::Domain::BackgroundMode(1, QColor(53, 62, 66)));
    }

    void keepPicturesEntry_isOnByDefaultAndStoredUnderItsOwnKey()
    {
        const auto entry = [this] {
            QScopedPointer<QMenu> menu(
                m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
            QAction *action = menu->findChild<QAction *>(QStringLiteral("keepPicturesInColour"));
            return action ? action->isChecked() : false;
        };
        QVERIFY(entry());
        QVERIFY(BackgroundModeHolder::instance()->keepPictures());
        QScopedPointer<QMenu> menu(
            m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
        QAction *keep = menu->findChild<QAction *>(QStringLiteral("keepPicturesInColour"));
        QCOMPARE(keep->text(), QStringLiteral("Keep Pictures in Colour"));
        keep->trigger();
        QVERIFY(!entry());
        QVERIFY(!BackgroundModeHolder::instance()->keepPictures());
        Settings::instance()->sync();
        QSettings raw(Settings::filePath(), QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("mainWindow/keepPicturesInColour")), QVariant(false));
        // The stored mode is untouched by it.
        QVERIFY(!raw.contains(QStringLiteral("mainWindow/backgroundMode")));
        keep->trigger();
        QVERIFY(entry());
        QVERIFY(Settings::instance()->mainWindow.keepPicturesInColour());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
