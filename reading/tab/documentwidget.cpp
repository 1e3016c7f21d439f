#include "documentwidget.h"

#include "annotationtoolaction.h"
#include "pdftocinfowidget.h"
#include "siderbarwidget.h"

#include <annotating/exchange/documentexchange.h>
#include <annotating/noteitem.h>
#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <mindmap/mindnodeitem.h>
#include <mindmap/mindscene.h>
#include <mindmap/mindview.h>
#include <reading/annotationindex.h>
#include <reading/basepage.h>
#include <reading/baseview.h>
#include <reading/lazyicon.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/searching.h>
#include <reading/searchline.h>
#include <reading/tools/linetool.h>
#include <reading/tools/noteeditorhost.h>
#include <reading/tools/recttool.h>
#include <reading/tools/select.h>
#include <reading/tools/textannotation.h>
#include <reviewing/scene.h>
#include <reviewing/view.h>

#include <QAction>
#include <QActionGroup>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace Nod::Presentation {

using Nod::Domain::LastRead;
using Nod::Domain::SiderBarState;
using Nod::Domain::ViewSetting;

namespace {
// A book, or a file kept under another name that may be one, is laid out as it opens.
bool mayNeedLayout(const QString &fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0;
}
} // namespace

DocumentWidget::DocumentWidget(QWidget *parent)
    : QWidget(parent)
    , m_loader(new Backend::DocumentLoader(this))
    , m_undoStack(new QUndoStack(this))
    , m_toolBar(new QToolBar(this))
    , m_siderBar(new SiderBarWidget(this))
    , m_outline(new PDFToCInfoWidget(this))
    , m_stack(new QStackedWidget(this))
    , m_splitter(new QSplitter(Qt::Horizontal, this))
    , m_readingView(new PDFDocumentView(this))
    , m_summaryView(new Reviewing::View(this))
    , m_mindView(new MindView(this))
{
    setObjectName(QStringLiteral("DocumentWidget"));
    setAttribute(Qt::WA_StyledBackground);
    m_toolBar->setObjectName(QStringLiteral("documentToolBar"));
    m_toolBar->setFloatable(false);
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(20, 20));

    m_readingView->setObjectName(QStringLiteral("readingView"));
    m_readingView->registerTool(new DocumentTool::Select(m_readingView));
    m_readingView->registerTool(new DocumentTool::TextHighlight(m_readingView));
    m_readingView->registerTool(new DocumentTool::TextUnderline(m_readingView));
    m_readingView->registerTool(new DocumentTool::Rectangle(m_readingView));
    m_readingView->registerTool(new DocumentTool::RectangleHighlight(m_readingView));
    m_readingView->registerTool(new DocumentTool::HorLine(m_readingView));
    m_readingView->registerTool(new DocumentTool::HorHighlight(m_readingView));
    auto *registry = Nod::Application::ServiceRegistry::instance();
    Application::TagService *tags = registry ? registry->tagService() : nullptr;
    // Each view has its own bar, so that it sits over the note being edited in that view.
    m_noteEditor = new NoteEditorHost(m_readingView, tags);
    m_summaryNoteEditor = new NoteEditorHost(m_summaryView, tags);
    m_mindNoteEditor = new NoteEditorHost(m_mindView, tags);
    m_stack->addWidget(m_readingView);
    m_summaryView->setObjectName(QStringLiteral("summaryView"));
    m_stack->addWidget(m_summaryView);
    m_mindView->setObjectName(QStringLiteral("mindView"));
    m_stack->addWidget(m_mindView);
    m_siderBar->addPage(m_outline, lazyIcon(QStringLiteral(":icons/toc.png")), tr("Outline"));

    m_splitter->setObjectName(QStringLiteral("documentSplitter"));
    m_splitter->addWidget(m_siderBar);
    m_splitter->addWidget(m_stack);
    m_splitter->setCollapsible(0, false);
    m_splitter->setCollapsible(1, false);
    m_splitter->setStretchFactor(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_splitter, 1);
    // Focusing the tab focuses the page, so that keys page through the document at once.
    setFocusProxy(m_readingView);

    createToolBar();
    connect(m_siderBar, &SiderBarWidget::shrinked, this, &DocumentWidget::on_siderBar_thrinked);
    connect(m_siderBar, &SiderBarWidget::expanded, this, &DocumentWidget::on_siderBar_expanded);
    connect(m_stack, &QStackedWidget::currentChanged, this, &DocumentWidget::on_currentChanged);
    // The outline's entries go through the view's history, as links do.
    // (The view keeps its action slot protected; the string form reaches it.)
    connect(m_outline, SIGNAL(actionTriggered(const PDFAction *)), m_readingView,
        SLOT(pdfActionTriggered(const PDFAction *)));
    connect(m_readingView, &PDFDocumentView::changedPage, this, &DocumentWidget::on_readingView_changedPage);
    connect(m_readingView, &PDFDocumentView::requestOpenPdf, this,
        [this](const QString &fileName, int page, bool) { emit openFileRequested(fileName, page); });
    // The zoom ring: each view passes a new zoom level on to the next; the view that started it
    // ignores the level it already has, which ends the round.
    connect(
        m_readingView, &Base::View::changedZoom, m_summaryView, qOverload<double>(&Base::View::setZoomLevel));
    connect(
        m_summaryView, &Base::View::changedZoom, m_mindView, qOverload<double>(&Base::View::setZoomLevel));
    connect(
        m_mindView, &Base::View::changedZoom, m_readingView, qOverload<double>(&Base::View::setZoomLevel));
    connect(m_readingView, &PDFDocumentView::toggleView, this, &DocumentWidget::on_readingView_toggleView);
    connect(m_summaryView, &Reviewing::View::toggleView, this, &DocumentWidget::on_summaryView_toggleView);
    connect(m_summaryView, &Reviewing::View::readingViewRequested, this,
        [this] { m_stack->setCurrentIndex(ReadingView); });
    connect(m_mindView, &MindView::toggleView, this, &DocumentWidget::on_mindmap_toggleView);
    connect(m_mindView, &MindView::contentChanged, this, &DocumentWidget::clearAllWidgetResults);
    connect(m_mindView, &MindView::noteEditingStarted, m_mindNoteEditor, &NoteEditorHost::startEditing);
    connect(m_mindView, &MindView::noteEditingFinished, m_mindNoteEditor, &NoteEditorHost::finishEditing);
    connect(m_loader, &Backend::DocumentLoader::finished, this, &DocumentWidget::on_loader_finished);
    reloadShortcuts();
    reloadColors();
    // Until the document shows there is nothing to switch to.
    m_viewGroup->setEnabled(false);
    on_currentChanged(ReadingView);
}

DocumentWidget::~DocumentWidget()
{
    // The views go before the scenes they show.
    delete m_mindView;
    m_mindView = nullptr;
    delete m_summaryView;
    m_summaryView = nullptr;
    m_summaryScene.reset();
    delete m_readingView;
    m_readingView = nullptr;
    m_readingScene.reset();
}

void DocumentWidget::print()
{
    if (!isOpened()) {
        return;
    }
    if (auto *view = qobject_cast<Base::View *>(m_stack->currentWidget())) {
        view->print();
    }
}

void DocumentWidget::showLoadingPanel(const QString &text, bool busy)
{
    if (!m_loadingPanel) {
        m_loadingPanel = new QWidget(this);
        m_loadingPanel->setObjectName(QStringLiteral("loadingPanel"));
        auto *layout = new QVBoxLayout(m_loadingPanel);
        layout->addStretch(1);
        m_loadingLabel = new QLabel(m_loadingPanel);
        m_loadingLabel->setAlignment(Qt::AlignCenter);
        m_loadingLabel->setWordWrap(true);
        layout->addWidget(m_loadingLabel);
        m_loadingBar = new QProgressBar(m_loadingPanel);
        m_loadingBar->setRange(0, 0);
        m_loadingBar->setTextVisible(false);
        m_loadingBar->setMaximumWidth(320);
        layout->addWidget(m_loadingBar, 0, Qt::AlignHCenter);
        layout->addStretch(2);
        m_stack->addWidget(m_loadingPanel);
    }
    m_loadingLabel->setText(text);
    m_loadingBar->setVisible(busy);
    m_stack->setCurrentWidget(m_loadingPanel);
}

void DocumentWidget::showMessage(const QString &text, bool busy)
{
    if (!m_messageBar) {
        m_messageBar = new QWidget(this);
        m_messageBar->setObjectName(QStringLiteral("messageBar"));
        m_messageBar->setAttribute(Qt::WA_StyledBackground);
        auto *row = new QHBoxLayout(m_messageBar);
        row->setContentsMargins(8, 4, 4, 4);
        m_messageBusy = new QProgressBar(m_messageBar);
        m_messageBusy->setObjectName(QStringLiteral("messageBusy"));
        m_messageBusy->setRange(0, 0);
        m_messageBusy->setTextVisible(false);
        m_messageBusy->setFixedWidth(80);
        row->addWidget(m_messageBusy);
        m_messageText = new QLabel(m_messageBar);
        m_messageText->setObjectName(QStringLiteral("messageText"));
        m_messageText->setWordWrap(true);
        m_messageText->setTextFormat(Qt::PlainText);
        row->addWidget(m_messageText, 1);
        auto *close = new QToolButton(m_messageBar);
        close->setObjectName(QStringLiteral("messageClose"));
        close->setAutoRaise(true);
        close->setIcon(lazyIcon(QStringLiteral(":icons/close.png")));
        close->setToolTip(tr("Close"));
        connect(close, &QToolButton::clicked, this, &DocumentWidget::hideMessage);
        // Under the tool bar, over the views.
        static_cast<QVBoxLayout *>(layout())->insertWidget(1, m_messageBar);
    }
    m_messageText->setText(text);
    m_messageBusy->setVisible(busy);
    m_messageBar->show();
}

void DocumentWidget::hideMessage()
{
    if (m_messageBar) {
        m_messageBar->hide();
    }
}

void DocumentWidget::on_readingScene_reloadingChanged(bool reloading)
{
    if (reloading) {
        showMessage(tr("Reading \"%1\" again ...").arg(QFileInfo(m_entity.localUrl()).fileName()), true);
    } else if (m_messageBusy && m_messageBusy->isVisibleTo(m_messageBar)) {
        hideMessage();
    }
}

void DocumentWidget::on_readingScene_reloadFailed(const QString &fileName)
{
    const QString name = QFileInfo(fileName).fileName();
    showMessage(QFileInfo::exists(fileName)
            ? tr("\"%1\" could not be read again; it may be damaged or still being written. The pages "
                 "shown are those read before.")
                  .arg(name)
            : tr("\"%1\" is no longer in %2: it was moved or deleted. The pages shown are those read before.")
                  .arg(name, QDir::toNativeSeparators(QFileInfo(fileName).absolutePath())),
        false);
}

bool DocumentWidget::openDocument(const Nod::Domain::Document &doc)
{
    m_entity = doc;
    m_documentId = doc.id();
    m_restored = doc.lastRead();
    const QString fileName = doc.localUrl();
    if (!QFileInfo(fileName).isFile()) {
        qWarning() << "Open file failed.";
        return false;
    }
    if (mayNeedLayout(fileName)) {
        if (!m_loader->start(fileName)) {
            qWarning() << "Open file failed.";
            return false;
        }
        showLoadingPanel(tr("Opening %1 ...").arg(QFileInfo(fileName).fileName()), true);
        return true;
    }
    QSharedPointer<Backend::Document> document = Backend::DocumentLoader::takeEarly(fileName);
    if (!document) {
        document = BackendManager::instance()->openDocument(fileName);
    }
    if (!document || !Backend::DocumentLoader::isReadable(*document)) {
        qWarning() << "Open file failed.";
        return false;
    }
    finishOpening(document);
    loadOutlineAfterPage();
    return true;
}

void DocumentWidget::loadOutlineAfterPage()
{
    // Reading a long outline holds the library for a while: the page in view is drawn first.
    const QPointer<ReadingPageItem> page
        = m_readingScene ? m_readingScene->readingPageAt(qMax(0, m_readingView->currentPage())) : nullptr;
    if (!page || page->isSharp()) {
        m_outline->initFromDocument(m_document);
        return;
    }
    m_outlinePending = true;
    const auto load = [this, page](bool waited) {
        if (!waited && page && !page->isSharp()) {
            return; // only a preview so far
        }
        if (!std::exchange(m_outlinePending, false)) {
            return;
        }
        disconnect(m_outlineWait);
        m_outline->initFromDocument(m_document);
    };
    m_outlineWait = connect(page, &ReadingPageItem::rendered, this, [load] { load(false); });
    // A page that gets no image soon (a heavy one, one that cannot be drawn) holds the outline
    // back no longer than this.
    constexpr int kLongestWaitMs = 3000;
    QTimer::singleShot(kLongestWaitMs, this, [load] { load(true); });
}

void DocumentWidget::on_loader_finished(const Backend::DocumentLoader::Result &result)
{
    if (!result.document) {
        qWarning() << "Open file failed." << m_entity.localUrl();
        showLoadingPanel(tr("\"%1\" could not be opened. The file may be damaged or of a kind this program "
                            "does not read.")
                             .arg(QFileInfo(m_entity.localUrl()).fileName()),
            false);
        emit openFailed(m_entity.localUrl());
        return;
    }
    qInfo() << "open document off the interface thread:" << m_entity.localUrl() << m_loader->elapsed()
            << "ms";
    const bool hadFocus = m_loadingPanel && m_loadingPanel->isVisible();
    if (m_loadingPanel) {
        m_stack->removeWidget(m_loadingPanel);
        m_loadingPanel->deleteLater();
        m_loadingPanel = nullptr;
    }
    finishOpening(result.document);
    m_outline->setOutline(result.outline);
    if (hadFocus) {
        m_readingView->setFocus();
    }
}

void DocumentWidget::finishOpening(const QSharedPointer<Backend::Document> &document)
{
    m_document = document;
    // Before the pages are first drawn: they leave out the file's annotations that marks stand for.
    m_exchange->documentOpened(m_documentId, document);
    m_readingScene = QSharedPointer<PDFDocumentScene>(
        new PDFDocumentScene(document, m_documentId, m_undoStack, logicalDpiX(), logicalDpiY()));
    m_readingView->setScene(m_readingScene);
    // A reload or an unlock rebuilds the pages (after the view has followed): the page count and
    // the outline may have changed, and the pages the other views show were detached too.
    connect(m_readingScene.data(), &PDFDocumentScene::documentChanged, this, [this] {
        restoreViewState();
        updatePageBox();
        m_outlinePending = false;
        disconnect(m_outlineWait);
        m_outline->initFromDocument(m_document);
        if (m_summaryScene) {
            m_summaryScene->reinitializeScene();
        }
        if (MindScene *scene = m_mindView->mindScene()) {
            scene->reinitializeScene();
        }
    });
    // The reading scene hears of every change to the document's annotations, whether or not the
    // other views have been built.
    connect(
        m_readingScene.data(), &Base::Scene::contentChanged, this, &DocumentWidget::clearAllWidgetResults);
    connect(m_readingScene.data(), &PDFDocumentScene::reloadingChanged, this,
        &DocumentWidget::on_readingScene_reloadingChanged);
    connect(m_readingScene.data(), &PDFDocumentScene::reloadFailed, this,
        &DocumentWidget::on_readingScene_reloadFailed);
    if (AnnotationIndex *annotations = m_readingScene->annotations()) {
        connect(annotations, &AnnotationIndex::editingStarted, m_noteEditor, &NoteEditorHost::startEditing);
        connect(annotations, &AnnotationIndex::editingFinished, m_noteEditor, &NoteEditorHost::finishEditing);
    }
    // The summary and the map are built when first shown, so that opening costs only the page.
    m_mindView->openDocument(document, m_documentId, m_undoStack, logicalDpiX(), logicalDpiY());
    m_stack->setCurrentIndex(ReadingView);
    m_viewGroup->setEnabled(true);

    restoreViewState();
    // The page the view opens on renders while the window is still being laid out.
    if (ReadingPageItem *page = m_readingScene->readingPageAt(m_readingView->currentPage())) {
        page->prepareRender(m_readingView->transform().m11(), m_readingView->viewport()->devicePixelRatioF());
    }
    const int margin = m_restored.viewSetting().marginMode();
    if (margin != m_noteAreaMode) {
        setNoteAreaMode(margin);
    }
    updatePageBox();
    if (isVisible()) {
        QTimer::singleShot(0, this, &DocumentWidget::restoreSiderBarState);
    }
    if (m_pendingSearchHit) {
        std::exchange(m_pendingSearchHit, nullptr)();
    }
    emit documentOpened();
}

void DocumentWidget::showSearchHit(int page, int annotationId, const QString &words)
{
    if (!isOpened()) {
        m_pendingSearchHit = [this, page, annotationId, words] { showSearchHit(page, annotationId, words); };
        return;
    }
    commitNotes();
    m_stack->setCurrentIndex(ReadingView);
    if (annotationId > 0) {
        m_readingView->jumpToAnnotation(annotationId);
        return;
    }
    m_readingView->goToPage(
        qBound(0, page, qMax(0, m_readingView->pageCount() - 1)), PDFDocumentView::AlignCenter);
    if (!words.isEmpty()) {
        // The view's search starts on the current page, so its first result is the hit.
        m_readingView->searchLine()->activate();
        m_readingView->searchLine()->lineEdit()->setText(words);
        m_readingView->searching()->start(words, QTextDocument::FindFlags());
    }
}

void DocumentWidget::ensureSummary()
{
    if (m_summaryScene || !m_document) {
        return;
    }
    m_summaryScene = QSharedPointer<Reviewing::Scene>::create(
        m_document, m_documentId, m_undoStack, logicalDpiX(), logicalDpiY(), m_noteAreaMode);
    m_summaryView->setScene(m_summaryScene);
    if (AnnotationIndex *annotations = m_summaryScene->annotations()) {
        connect(annotations, &AnnotationIndex::editingStarted, m_summaryNoteEditor,
            &NoteEditorHost::startEditing);
        connect(annotations, &AnnotationIndex::editingFinished, m_summaryNoteEditor,
            &NoteEditorHost::finishEditing);
    }
}

void DocumentWidget::restoreViewState()
{
    // A locked document has no pages to go to: its state waits for the unlock.
    if (m_readingView->pageCount() <= 0 || m_pagesShown) {
        return;
    }
    m_pagesShown = true;
    const int count = m_readingView->pageCount();
    const int page = qBound(0, m_restored.pageIndex(), qMax(0, count - 1));
    const double saved = m_restored.viewSetting().scaleFactor();
    const double zoom = std::isfinite(saved) && saved > 0 ? Base::View::clampZoom(saved) : 1.0;
    m_readingView->goToPage(page, PDFDocumentView::AlignCenter);
    m_readingView->setZoomLevel(zoom);
    if (m_requestedPage >= 0) {
        m_readingView->jumpToPage(qMin(m_requestedPage, count - 1));
        m_requestedPage = -1;
    }
}

void DocumentWidget::showPage(int page)
{
    if (page < 0) {
        return;
    }
    if (!m_pagesShown) {
        m_requestedPage = page;
        return;
    }
    m_readingView->jumpToPage(qMin(page, m_readingView->pageCount() - 1));
}

void DocumentWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (isOpened() && !m_siderBarRestored) {
        QTimer::singleShot(0, this, &DocumentWidget::restoreSiderBarState);
    }
}

void DocumentWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The first real size puts the restored page in the middle of the view; before it the view
    // had no size to centre in.
    if (isOpened() && isVisible() && !m_viewCentred && m_readingView->width() > 1) {
        m_viewCentred = true;
        QTimer::singleShot(0, this, [this] {
            if (m_readingView && m_readingScene) {
                const int page = m_readingView->currentPage();
                if (QGraphicsItem *item = m_readingScene->pageAt(page)) {
                    m_readingView->centerOn(item);
                }
            }
        });
    }
}

void DocumentWidget::restoreSiderBarState()
{
    if (m_siderBarRestored || !isVisible()) {
        return;
    }
    const int available = m_splitter->width() - m_splitter->handleWidth();
    if (available <= 0) {
        return;
    }
    m_siderBarRestored = true;
    const SiderBarState state = m_restored.siderBarState();
    const QVector<double> sizes = state.sizes();
    if (!sizes.isEmpty() && std::isfinite(sizes.first()) && sizes.first() > 0 && sizes.first() < 1) {
        m_siderBar->setExpandedWidth(int(sizes.first() * available));
    }
    if (!state.isShrunk() && !sizes.isEmpty()) {
        m_siderBar->shrink();
        m_siderBar->expand();
    } else {
        m_siderBar->shrink();
    }
}

LastRead DocumentWidget::lastRead() const
{
    ViewSetting setting(ViewSetting::ScaleFactor, m_readingView->zoomLevel(), ViewSetting::NoRotation,
        ViewSetting::MarginMode(m_noteAreaMode));
    SiderBarState siderBar = m_restored.siderBarState();
    const int available = m_splitter->width() - m_splitter->handleWidth();
    // A tab never shown (a background tab of a restored session) has no layout to measure: what
    // it restored is still the user's.
    if (m_siderBarRestored && available > 0) {
        const QList<int> sizes = m_splitter->sizes();
        const int side = m_siderBar->isShrunk() ? m_siderBar->expandedWidth() : sizes.value(0);
        const int rest = qMax(0, available - side);
        siderBar
            = SiderBarState(m_siderBar->isShrunk(), { double(side) / available, double(rest) / available });
    }
    return LastRead(qMax(0, m_readingView->currentPage()), QPointF(0, 0), setting, siderBar);
}

void DocumentWidget::commitNotes()
{
    if (AnnotationIndex *annotations = m_readingScene ? m_readingScene->annotations() : nullptr) {
        annotations->commitEditing();
    }
    m_summaryView->commitEditing();
    m_mindView->commitEditing();
}

void DocumentWidget::closeDocument()
{
    if (!isOpened() || m_closed) {
        return;
    }
    m_closed = true;
    commitNotes();
    if (AnnotationIndex *annotations = m_readingScene ? m_readingScene->annotations() : nullptr) {
        annotations->removeUnusedImages();
    }
    // Never unlocked: what the reader left last time is still all there is.
    if (!m_pagesShown) {
        return;
    }
    auto *registry = Application::ServiceRegistry::instance();
    if (!registry || !registry->documentService()->changeLastRead(m_documentId, lastRead())) {
        qWarning() << "Reading state not saved for document" << m_documentId;
    }
}

void DocumentWidget::clearAllWidgetResults()
{
    for (int i = 0; i < m_stack->count(); ++i) {
        if (auto *view = qobject_cast<Base::View *>(m_stack->widget(i))) {
            view->clearSearch();
        }
    }
}

void DocumentWidget::setNoteAreaMode(int mode)
{
    if (mode < 0 || mode > 3) {
        return;
    }
    m_noteAreaMode = mode;
    for (QAction *action : m_noteAreaGroup->actions()) {
        action->setChecked(action->data().toInt() == mode);
    }
    if (m_readingScene) {
        m_readingScene->setNoteAreaMode(mode);
    }
    if (m_summaryScene) {
        m_summaryScene->setNoteAreaMode(mode);
    }
}

void DocumentWidget::on_noteArea_triggered(QAction *action)
{
    const int mode = action->data().toInt();
    if (mode != m_noteAreaMode) {
        // The notes are searched only while they are shown: the next search starts afresh.
        clearAllWidgetResults();
        setNoteAreaMode(mode);
    }
}

void DocumentWidget::on_siderBar_thrinked() { m_splitter->handle(1)->setCursor(Qt::ArrowCursor); }

void DocumentWidget::on_siderBar_expanded() { m_splitter->handle(1)->setCursor(Qt::SplitHCursor); }

void DocumentWidget::on_currentChanged(int index)
{
    if (index == SummaryView) {
        ensureSummary();
    }
    const bool reading = index == ReadingView;
    for (QAction *action : qAsConst(m_readingOnlyActions)) {
        action->setEnabled(reading);
    }
    for (QAction *action : m_viewGroup->actions()) {
        if (action->data().toInt() == index) {
            action->setChecked(true);
            m_viewSwitch->setIcon(action->icon());
            m_viewSwitch->setText(action->text());
        }
    }
}

int DocumentWidget::currentView() const { return m_stack->currentIndex(); }

void DocumentWidget::on_readingView_toggleView(int annoId)
{
    commitNotes();
    m_stack->setCurrentIndex(SummaryView);
    m_summaryView->jumpToAnnotation(annoId);
}

void DocumentWidget::on_summaryView_toggleView(int annoId)
{
    commitNotes();
    m_stack->setCurrentIndex(ReadingView);
    m_readingView->jumpToAnnotation(annoId);
}

void DocumentWidget::on_mindmap_toggleView(int annoId)
{
    commitNotes();
    m_stack->setCurrentIndex(ReadingView);
    m_readingView->jumpToAnnotation(annoId);
}

void DocumentWidget::updatePageBox()
{
    const int count = qMax(1, m_readingView->pageCount());
    const QSignalBlocker blocker(m_pageBox);
    m_pageBox->setRange(1, count);
    m_pageBox->setSuffix(QStringLiteral(" / %1").arg(count));
    m_pageBox->setValue(m_readingView->currentPage() + 1);
}

void DocumentWidget::on_readingView_changedPage(int page)
{
    if (m_pageBox->maximum() != qMax(1, m_readingView->pageCount())) {
        updatePageBox();
        return;
    }
    // A number being typed is the user's until Return or leaving the box; anything else follows
    // the view, so that leaving the box later finds nothing to jump to.
    if (m_pageBox->hasFocus() && m_pageBox->cleanText() != QString::number(m_pageBox->value())) {
        return;
    }
    const QSignalBlocker blocker(m_pageBox);
    m_pageBox->setValue(page + 1);
}

void DocumentWidget::on_pageBox_editingFinished()
{
    const int page = m_pageBox->value() - 1;
    // Return (the box keeps the focus) always goes; leaving the box goes only to another page.
    if (!m_pageBox->hasFocus() && page == m_readingView->currentPage()) {
        return;
    }
    QTimer::singleShot(0, m_readingView, [view = m_readingView, page] { view->jumpToPage(page); });
}

} // namespace Nod::Presentation
