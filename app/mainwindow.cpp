#include "mainwindow.h"

#include "databasestartup.h"
#include "desktopidentity.h"
#include "firstpagewatch.h"
#include "helpdialog.h"
#include "keyboardshortcuts.h"
#include "maintabbar.h"
#include "pausewatch.h"
#include "pendingdocumentpage.h"
#include "processclock.h"
#include "settingsdialog.h"
#include "tabbar.h"
#include <annotating/exchange/documentexchange.h>
#include <reading/lazyicon.h>

#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <application/startgate.h>
#include <indexing/searchindexer.h>
#include <library/librarywidget.h>
#include <reading/backgroundmodeholder.h>
#include <reading/tab/documenttab.h>
#include <reading/tab/documentwidget.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

// The resources live in a static library, whose initialiser the linker would otherwise drop.
static void initResources()
{
    Q_INIT_RESOURCE(nodera);
    Nod::App::initDesktopResources();
}

namespace Nod::Presentation {

namespace {
Nod::Domain::BackgroundMode g_backgroundMode;

// How close to the frame a press starts a resize of the frameless window.
constexpr int kResizeMargin = 6;
// How long the rest of the start waits for a first page that may never come (a locked document).
constexpr int kFirstPageWaitLimitMs = 3000;

Common::Infrastructure::Settings *settings() { return Common::Infrastructure::Settings::instance(); }
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initResources();
    App::upgradeDatabase();
    auto *registry = new Application::ServiceRegistry(qApp);
    Application::ServiceRegistry::setInstance(registry);
    g_backgroundMode = settings()->mainWindow.backgroundMode();
    BackgroundModeHolder::instance()->setMode(g_backgroundMode);
    BackgroundModeHolder::instance()->setKeepPictures(settings()->mainWindow.keepPicturesInColour());
    applyStyleSheet();

    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Nodera Reader"));
    // The tab strip is the title bar; the system still moves and resizes the window on request.
    setWindowFlag(Qt::FramelessWindowHint);
    setAcceptDrops(true);
    setMouseTracking(true);

    m_mainTabBar = new MainTabBar(this);
    m_mainTabBar->setBackgroundMode(g_backgroundMode);
    m_mainTabBar->setKeepPicturesInColour(BackgroundModeHolder::instance()->keepPictures());
    connect(m_mainTabBar, &MainTabBar::showMinimizedRequested, this, &QWidget::showMinimized);
    connect(m_mainTabBar, &MainTabBar::showNormalRequested, this, &QWidget::showNormal);
    connect(m_mainTabBar, &MainTabBar::showMaximizedRequested, this, &QWidget::showMaximized);
    connect(m_mainTabBar, &MainTabBar::closeRequested, this, &QWidget::close);
    connect(m_mainTabBar, &MainTabBar::backgroundModeChanged, this, &MainWindow::setBackgroundMode);
    connect(m_mainTabBar, &MainTabBar::keepPicturesInColourChanged, this, [this](bool keep) {
        settings()->mainWindow.setKeepPicturesInColour(keep);
        m_mainTabBar->setKeepPicturesInColour(keep);
        BackgroundModeHolder::instance()->setKeepPictures(keep);
    });
    connect(m_mainTabBar, &MainTabBar::helpRequested, this, &MainWindow::showHelp);
    connect(m_mainTabBar, &MainTabBar::shortcutsRequested, this, &MainWindow::showShortcuts);
    connect(m_mainTabBar, &MainTabBar::settingRequested, this, &MainWindow::on_settingRequested);
    m_mainTabBar->setSettingsEnabled(true);
    connect(m_mainTabBar, &MainTabBar::donateRequested, this, &MainWindow::showDonation);
    connect(m_mainTabBar, &MainTabBar::printRequested, this, [this] {
        if (DocumentTab *tab = currentDocumentTab()) {
            tab->print();
        }
    });

    m_stack = new QStackedWidget(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    connect(m_mainTabBar->tabBar(), &QTabBar::currentChanged, m_stack, &QStackedWidget::setCurrentIndex);
    connect(m_mainTabBar->tabBar(), &QTabBar::currentChanged, this,
        [this] { m_mainTabBar->setPrintEnabled(currentDocumentTab() != nullptr); });
    // A restored tab opens its document when first shown; the switch paints before the opening.
    connect(m_mainTabBar->tabBar(), &QTabBar::currentChanged, this, [this](int index) {
        if (!m_startFinished || !qobject_cast<PendingDocumentPage *>(m_stack->widget(index))) {
            return;
        }
        QTimer::singleShot(0, this, [this, page = QPointer<QWidget>(m_stack->widget(index))] {
            if (page && page == m_stack->currentWidget()) {
                openPendingPage(m_stack->indexOf(page));
            }
        });
    });

    m_library = new LibraryWidget(this);
    m_library->setServices(registry->categoryService(), registry->documentService(), registry->noteService());
    m_indexer = new Indexing::SearchIndexer(registry->documentService(), registry->noteService(),
        registry->categoryService(), registry->tagService(),
        QDir(Common::Infrastructure::House::instance()->location()).filePath(QStringLiteral("search-index")),
        this);
    m_library->setSearchIndexer(m_indexer);
    connect(m_library, &LibraryWidget::searchHitActivated, this, &MainWindow::openSearchHit);
    m_library->restoreState(settings()->mainWindow.libraryWidgetState());
    const int libraryTab = m_mainTabBar->tabBar()->addTab(tr("My Library"));
    m_mainTabBar->tabBar()->setTabToolTip(libraryTab, tr("Book Shelf"));
    m_stack->addWidget(m_library);

    connect(registry->documentService(), &Application::DocumentService::aboutToBeRemoved, this,
        &MainWindow::on_documentService_aboutToBeRemoved);
    connect(m_library, &LibraryWidget::openFileRequested, this, &MainWindow::on_shelf_requestOpenFile);
    connect(m_library, &LibraryWidget::addFilesRequested, this, &MainWindow::on_addRequested);
    connect(m_library, &LibraryWidget::exportNotesRequested, this,
        [this](int documentId) { Nod::Exchange::exportNotesInteractively(this, documentId); });
    connect(m_mainTabBar->tabBar(), &QTabBar::tabCloseRequested, this,
        &MainWindow::on_tabWidget_tabCloseRequested);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_mainTabBar);
    layout->addWidget(m_stack);
    setCentralWidget(central);

    // A first start has no saved geometry: take most of the screen rather than the layout's minimum.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        resize(available.size() * 0.85);
        move(available.center() - rect().center());
    }
}

MainWindow::~MainWindow()
{
    // Its tab goes with the window's children; the start it waited for no longer matters.
    delete m_firstPageWatch;
}

Nod::Domain::BackgroundMode MainWindow::backgroundMode() { return g_backgroundMode; }

void MainWindow::setBackgroundMode(const Nod::Domain::BackgroundMode &mode)
{
    g_backgroundMode = mode;
    // Every open view repaints at once through the holder.
    BackgroundModeHolder::instance()->setMode(mode);
    m_mainTabBar->setBackgroundMode(mode);
}

void MainWindow::applyStyleSheet()
{
    QFile file(QStringLiteral(":qss/default.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Can not load style sheet:" << file.fileName();
        return;
    }
    QByteArray bytes = file.readAll();
    const int end = bytes.indexOf('\0');
    if (end >= 0) {
        bytes.truncate(end);
    }
    qApp->setStyleSheet(QString::fromUtf8(bytes));
}

DocumentTab *MainWindow::documentTab(int index) const
{
    return index >= 1 && index < m_stack->count() ? qobject_cast<DocumentTab *>(m_stack->widget(index))
                                                  : nullptr;
}

DocumentTab *MainWindow::currentDocumentTab() const { return documentTab(m_stack->currentIndex()); }

int MainWindow::indexOfDocument(int documentId) const
{
    for (int i = 1; i < m_stack->count(); ++i) {
        if (documentTab(i)->documentId() == documentId) {
            return i;
        }
    }
    return -1;
}

QList<int> MainWindow::openDocumentIds() const
{
    QList<int> ids;
    for (int i = 1; i < m_stack->count(); ++i) {
        ids.append(documentTab(i)->documentId());
    }
    return ids;
}

int MainWindow::insertPage(QWidget *page, const Nod::Domain::Document &document)
{
    TabBar *tabs = m_mainTabBar->tabBar();
    const int index = tabs->addTab(lazyIcon(QStringLiteral(":icons/empty.svg")), document.title());
    tabs->setTabToolTip(index, document.title());
    m_stack->addWidget(page);
    return index;
}

void MainWindow::addDocumentPage(QWidget *page, const Nod::Domain::Document &document)
{
    Q_ASSERT(qobject_cast<DocumentTab *>(page));
    QWidget *focused = QApplication::focusWidget();
    const int index = insertPage(page, document);
    if (focused) {
        focused->setFocus();
    }
    m_mainTabBar->tabBar()->setCurrentIndex(index);
}

void MainWindow::removeDocumentPage(int index, bool saveState)
{
    if (index < 1 || index >= m_stack->count()) {
        return;
    }
    QWidget *page = m_stack->widget(index);
    m_mainTabBar->tabBar()->removeTab(index);
    m_stack->removeWidget(page);
    if (saveState) {
        qobject_cast<DocumentTab *>(page)->closeDocument();
    }
    page->deleteLater();
}

void MainWindow::addToLibrary(const QString &filePath)
{
    std::optional<int> id = m_library->documentIdForPath(filePath);
    if (!id) {
        id = m_library->addFile(filePath);
    }
    if (id && *id > 0) {
        m_library->open(*id);
    }
}

void MainWindow::addToLibraryAtPage(const QString &filePath, int page)
{
    addToLibrary(filePath);
    const std::optional<int> id = m_library->documentIdForPath(filePath);
    if (auto *tab = id ? dynamic_cast<DocumentWidget *>(documentTab(indexOfDocument(*id))) : nullptr) {
        tab->showPage(page);
    }
}

void MainWindow::on_addRequested()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, tr("Open Documents"), settings()->mainWindow.recentOpenFolder(), tr("Documents(*.pdf *.epub)"));
    for (const QString &file : files) {
        if (!file.isEmpty()) {
            addToLibrary(file);
        }
    }
    if (!files.isEmpty()) {
        settings()->mainWindow.setRecentOpenFolder(QFileInfo(files.first()).absolutePath());
    }
}

void MainWindow::on_tabWidget_tabCloseRequested(int index) { removeDocumentPage(index, true); }

void MainWindow::on_shelf_requestOpenFile(const Nod::Domain::Document &document)
{
    const int existing = indexOfDocument(document.id());
    if (existing > 0) {
        m_mainTabBar->tabBar()->setCurrentIndex(existing);
        return;
    }
    DocumentWidget *tab = createDocumentTab(document);
    if (!tab) {
        return;
    }
    addDocumentPage(tab, document);
    // The reader asked for this document: its pages take the keys at once.
    tab->setFocus();
}

DocumentWidget *MainWindow::createDocumentTab(const Nod::Domain::Document &document)
{
    if (!QFileInfo::exists(document.localUrl())) {
        QMessageBox::information(this, tr("Information"),
            tr("Can't open: \"%1\". This file may be renamed, deleted or moved.").arg(document.localUrl()));
        qInfo() << "File not exist, file path:" << document.localUrl();
        return nullptr;
    }
    auto *tab = new DocumentWidget(this);
    if (!tab->openDocument(document)) {
        qWarning() << "Open file failed, file path:" << document.localUrl() << ", id:" << document.id();
        delete tab;
        return nullptr;
    }
    connect(tab, &DocumentWidget::openRequested, this, &MainWindow::on_addRequested);
    connect(tab, &DocumentWidget::openFileRequested, this, &MainWindow::addToLibraryAtPage);
    return tab;
}

DocumentWidget *MainWindow::openPendingPage(int index)
{
    auto *pending = qobject_cast<PendingDocumentPage *>(m_stack->widget(index));
    if (!pending) {
        return nullptr;
    }
    // What the library holds now: the document may have been renamed or moved meanwhile.
    auto *documents = Application::ServiceRegistry::instance()->documentService();
    const std::optional<Nod::Domain::Document> document = documents->find(pending->documentId());
    DocumentWidget *tab = document ? createDocumentTab(*document) : nullptr;
    index = m_stack->indexOf(pending); // a message box let other events in
    if (index < 1) {
        delete tab;
        return nullptr;
    }
    if (!tab) {
        removeDocumentPage(index, false);
        return nullptr;
    }
    const bool current = m_stack->currentWidget() == pending;
    m_stack->insertWidget(index, tab);
    if (current) {
        m_stack->setCurrentWidget(tab);
    }
    m_stack->removeWidget(pending);
    if (const std::optional<PendingDocumentPage::SearchHit> &hit = pending->searchHit()) {
        tab->showSearchHit(hit->page, hit->annotationId, hit->words);
    }
    pending->deleteLater();
    return tab;
}

void MainWindow::openSearchHit(int documentId, int page, int annotationId, const QString &words)
{
    m_library->open(documentId);
    if (DocumentTab *tab = documentTab(indexOfDocument(documentId))) {
        tab->showSearchHit(page, annotationId, words);
    }
}

void MainWindow::on_documentService_aboutToBeRemoved(const Nod::Domain::Document &document)
{
    for (int i = m_stack->count() - 1; i >= 1; --i) {
        if (documentTab(i)->documentId() == document.id()) {
            removeDocumentPage(i, false);
        }
    }
}

void MainWindow::loadLastSession()
{
    // Every tab of the session comes back at once, in order, the last one current; each opens its
    // document when first shown, so a long session costs the start nothing.
    auto *documents = Application::ServiceRegistry::instance()->documentService();
    int last = -1;
    const QList<int> ids = settings()->mainWindow.lastSessionDocuments();
    for (int id : ids) {
        const int existing = indexOfDocument(id);
        if (existing > 0) {
            last = existing;
            continue;
        }
        const std::optional<Nod::Domain::Document> document = documents->find(id);
        if (!document) {
            continue;
        }
        if (!QFileInfo::exists(document->localUrl())) {
            if (m_startSettled) {
                on_shelf_requestOpenFile(*document); // tells the user
            } else {
                m_missingAtStart.append(*document);
            }
            continue;
        }
        last = insertPage(new PendingDocumentPage(*document, this), *document);
    }
    if (last > 0) {
        m_mainTabBar->tabBar()->setCurrentIndex(last);
    }
}

void MainWindow::finishStart()
{
    if (m_startFinished) {
        return;
    }
    m_startFinished = true;
    DocumentWidget *front = qobject_cast<DocumentWidget *>(m_stack->currentWidget());
    if (!front && qobject_cast<PendingDocumentPage *>(m_stack->currentWidget())) {
        front = openPendingPage(m_stack->currentIndex());
    }
    if (!front) {
        QTimer::singleShot(0, this, &MainWindow::settleStart);
        return;
    }
    front->setFocus();
    m_firstPageWatch = new FirstPageWatch(front, this);
    connect(m_firstPageWatch, &FirstPageWatch::shown, this, &MainWindow::settleStart);
    // The rest of the start follows the page on the event loop; the log says how smoothly.
    connect(m_firstPageWatch, &FirstPageWatch::shown, this, [this] {
        constexpr int kWatchedMs = 2000;
        new App::PauseWatch(kWatchedMs, this);
    });
    connect(m_firstPageWatch, &FirstPageWatch::abandoned, this, &MainWindow::settleStart);
    connect(this, &MainWindow::startSettled, m_firstPageWatch, &QObject::deleteLater);
    QTimer::singleShot(kFirstPageWaitLimitMs, this, &MainWindow::settleStart);
}

void MainWindow::settleStart()
{
    if (m_startSettled) {
        return;
    }
    m_startSettled = true;
    // The documents named on the command line are in their tabs by now.
    Backend::DocumentLoader::dropEarly();
    // Each piece on a turn of its own, so that input and paints get through between them.
    // Reading every document for the index competes with the first page for the processor; its
    // worker starts now and opens the index on its own thread.
    m_indexer->start();
    Application::StartGate::open();
    QTimer::singleShot(0, m_library, &LibraryWidget::loadModels);
    QTimer::singleShot(0, this, [this] {
        const QList<Nod::Domain::Document> missing = std::exchange(m_missingAtStart, {});
        for (const Nod::Domain::Document &document : missing) {
            if (isVisible()) {
                on_shelf_requestOpenFile(document); // tells the user
            }
        }
    });
    emit startSettled();
}

void MainWindow::on_settingRequested()
{
    SettingsDialog dialog(this);
    dialog.setWindowTitle(tr("Settings"));
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    for (int i = 1; i < m_stack->count(); ++i) {
        if (DocumentTab *tab = documentTab(i)) {
            tab->reloadShortcuts();
            tab->reloadColors();
        }
    }
    if (m_shortcuts) {
        m_shortcuts->browser()->setHtml(KeyboardShortcuts::listing());
    }
}

void MainWindow::bringToFront()
{
    showMaximized();
    raise();
    activateWindow();
    QApplication::alert(this);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    if (!m_shownOnce) {
        m_shownOnce = true;
        if (QWindow *window = windowHandle()) {
            window->installEventFilter(this);
        }
    }
    if (settings()->general.loadLastSessionWhenStart()) {
        loadLastSession();
    }
    const QByteArray geometry = settings()->mainWindow.geometry();
    if (!geometry.isEmpty()) {
        restoreGeometry(geometry);
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The window counts as shown once it is on the screen, not when it is asked to show.
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        qInfo("Main window shown: %lld ms", static_cast<long long>(App::msSinceProcessStart()));
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QList<int> session;
    for (int i = 1; i < m_stack->count(); ++i) {
        DocumentTab *tab = documentTab(i);
        session.append(tab->documentId());
        tab->closeDocument();
    }
    auto &state = settings()->mainWindow;
    state.setBackgroundMode(g_backgroundMode);
    state.setLastSessionDocuments(session);
    state.setLibraryWidgetState(m_library->saveState());
    state.setGeometry(saveGeometry());
    settings()->sync();
    event->accept();
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        m_mainTabBar->setMaximized(isMaximized());
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile()) {
            addToLibrary(url.toLocalFile());
        }
    }
    event->acceptProposedAction();
}

bool MainWindow::event(QEvent *event)
{
    // Without a frame, the window's own edges start a system resize.
    if (event->type() == QEvent::MouseButtonPress && !isMaximized() && windowHandle()) {
        const QPoint pos = static_cast<QMouseEvent *>(event)->pos();
        Qt::Edges edges;
        if (pos.x() < kResizeMargin) {
            edges |= Qt::LeftEdge;
        }
        if (pos.x() > width() - kResizeMargin) {
            edges |= Qt::RightEdge;
        }
        if (pos.y() < kResizeMargin) {
            edges |= Qt::TopEdge;
        }
        if (pos.y() > height() - kResizeMargin) {
            edges |= Qt::BottomEdge;
        }
        if (edges && windowHandle()->startSystemResize(edges)) {
            return true;
        }
    }
    return QMainWindow::event(event);
}

namespace {
// One window per kind of help: asking again brings it to the front.
HelpDialog *helpWindow(QPointer<HelpDialog> &window, const QString &title, QWidget *parent)
{
    if (!window) {
        window = new HelpDialog(title, parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
} // namespace

void MainWindow::showHelp()
{
    // The guide that is also installed beside the program's other documentation.
    helpWindow(m_help, tr("Help"), this)
        ->browser()
        ->setSource(QUrl(QStringLiteral("qrc:/desktop/user-guide.html")));
}

void MainWindow::showShortcuts()
{
    // Built afresh each time: the settings may have changed the keys since.
    helpWindow(m_shortcuts, tr("Keyboard Shortcuts"), this)->browser()->setHtml(KeyboardShortcuts::listing());
}

void MainWindow::showDonation()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("donateDialog"));
    dialog.setWindowTitle(tr("Donate"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *text = new QLabel(tr("<p>Nodera Reader is made by a small team.</p>"
                               "<p>If it helps your reading, tell a friend about it.</p>"),
        &dialog);
    text->setTextFormat(Qt::RichText);
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace Nod::Presentation
