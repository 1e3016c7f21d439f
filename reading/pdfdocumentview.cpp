#include "pdfdocumentview.h"

#include <reading/abstracttool.h>
#include <reading/annotationindex.h>
#include <reading/historycommands.h>
#include <reading/linkpolicy.h>
#include <reading/move.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdflinkgraphicsitem.h>
#include <reading/readingpageitem.h>
#include <reading/searching.h>

#include <annotating/markeritem.h>
#include <application/noteservice.h>
#include <backend/document.h>
#include <backend/pdfaction.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QUndoStack>

#include <cmath>

namespace {

// Item types the view lets the scene handle directly: note items, link items and grips.
constexpr int NoteItemType = QGraphicsItem::UserType + 30;
constexpr int GripItemType = QGraphicsItem::UserType + 91;

bool isSceneHandled(const QGraphicsItem *item)
{
    const int type = item ? item->type() : 0;
    return type == NoteItemType || type == PDFLinkGraphicsItem::Type || type == GripItemType;
}

// The mark an item under the pointer belongs to: the item itself or one of its ancestors (a grip
// or a part of a composite mark).
Nod::Presentation::MarkerItem *markerAt(QGraphicsItem *item)
{
    for (; item; item = item->parentItem()) {
        if (auto *mark = qobject_cast<Nod::Presentation::MarkerItem *>(item->toGraphicsObject())) {
            return mark;
        }
        if (item->type() == ReadingPageItem::Type) {
            return nullptr;
        }
    }
    return nullptr;
}

int buttonKey(Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    return int(button) | int(modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

} // namespace

PDFDocumentView::PDFDocumentView(QWidget *parent)
    : PagedView(parent)
    , m_history(new QUndoStack(this))
    , m_previousViewAction(new QAction(this))
    , m_nextViewAction(new QAction(this))
{
    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
    setRenderHint(QPainter::Antialiasing);
    setAcceptDrops(true);
    viewport()->setMouseTracking(true);

    registerTool(new DocumentTool::Move(this));
    setMouseMode(MouseMode_Move);

    m_previousViewAction->setObjectName(QStringLiteral("previousView"));
    m_previousViewAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    m_previousViewAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_previousViewAction->setEnabled(false);
    connect(m_previousViewAction, &QAction::triggered, m_history, &QUndoStack::undo);
    connect(m_history, &QUndoStack::canUndoChanged, m_previousViewAction, &QAction::setEnabled);
    m_nextViewAction->setObjectName(QStringLiteral("nextView"));
    m_nextViewAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    m_nextViewAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_nextViewAction->setEnabled(false);
    connect(m_nextViewAction, &QAction::triggered, m_history, &QUndoStack::redo);
    connect(m_history, &QUndoStack::canRedoChanged, m_nextViewAction, &QAction::setEnabled);
    addAction(m_previousViewAction);
    addAction(m_nextViewAction);
    m_previousViewAction->setText(tr("Previous View"));
    m_nextViewAction->setText(tr("Next View"));

    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
        &PDFDocumentView::on_verticalScrollBar_actionTriggered);
}

PDFDocumentView::~PDFDocumentView()
{
    searching()->cancelAndWait();
    if (m_armedTool) {
        m_armedTool->deactivate();
    }
    m_armedTool = nullptr;
    // The history holds this view; it goes first.
    m_history->clear();
    QGraphicsView::setScene(nullptr);
}

Backend::Document *PDFDocumentView::document() const
{
    return m_pdfScene ? m_pdfScene->document().data() : nullptr;
}

void PDFDocumentView::setScene(const QSharedPointer<PDFDocumentScene> &scene)
{
    searching()->clearResults();
    if (m_pdfScene) {
        m_pdfScene->disconnect(this);
        disconnect(m_pdfScene.data(), nullptr, this, nullptr);
        m_pdfScene->removeEventFilter(this);
    }
    m_paintedPages.clear();
    m_pdfScene = scene;
    QGraphicsView::setScene(scene.data());
    m_lastPage = scene ? scene->pageCount() : 0;
    if (m_lastPage <= 0) {
        m_currentPage = -1;
    } else {
        m_currentPage = qBound(0, m_currentPage, m_lastPage - 1);
    }
    if (scene) {
        scene->installEventFilter(this);
        connect(scene.data(), &PDFDocumentScene::pageChangeRequested, this,
            static_cast<void (PDFDocumentView::*)(int)>(&PDFDocumentView::goToPage));
        connect(
            scene.data(), &PDFDocumentScene::pdfActionTriggered, this, &PDFDocumentView::pdfActionTriggered);
        connect(scene.data(), &PDFDocumentScene::aboutToBeRebuilt, this,
            &PDFDocumentView::on_scene_aboutToBeRebuilt);
        connect(scene.data(), &PDFDocumentScene::documentChanged, this, [this](Backend::Document *doc) {
            reinitializeFromScene();
            emit changedDocument(doc);
        });
        connect(scene.data(), &PDFDocumentScene::toggleView, this, &PDFDocumentView::toggleView);
        connect(scene.data(), static_cast<void (PDFDocumentScene::*)()>(&PDFDocumentScene::pageLayoutChanged),
            this, &PDFDocumentView::maybeUpdateSceneRect);
    }
    resetTransform();
    m_zoomLevel = 1.0;
    emit changedZoom(m_zoomLevel);
    const int page = m_currentPage;
    m_currentPage = -1;
    if (page >= 0) {
        goToPage(page, AlignLeft | AlignTop);
    }
    setPageMode(m_pageMode, true);
    emit changedDocument(document());
}

void PDFDocumentView::on_scene_aboutToBeRebuilt()
{
    // Nothing may keep pointing at the items about to go.
    m_paintedPages.clear();
    searching()->clearResults();
    if (m_currentPage >= 0) {
        m_positionBeforeRebuild = currentDestination();
    }
    if (m_armedTool) {
        m_armedTool->deactivate();
    }
}

void PDFDocumentView::reinitializeFromScene()
{
    m_lastPage = m_pdfScene ? m_pdfScene->pageCount() : -1;
    if (m_lastPage <= 0) {
        m_currentPage = -1;
    } else {
        m_currentPage = qBound(0, m_currentPage, m_lastPage - 1);
    }
    setPageMode(m_pageMode, true);
    if (m_currentPage >= 0) {
        PDFDestination position = m_positionBeforeRebuild;
        if (!position.isValid() || position.pageNumber() >= m_lastPage) {
            position = PDFDestination(m_currentPage, QRectF());
        }
        const int page = m_currentPage;
        m_currentPage = -1;
        goToPage(page, AlignLeft | AlignTop);
        goToPDFDestination(position);
    }
    m_positionBeforeRebuild = PDFDestination();
    if (m_armedTool) {
        m_armedTool->activate();
    }
}

void PDFDocumentView::registerTool(DocumentTool::AbstractTool *tool)
{
    if (!tool) {
        return;
    }
    delete m_tools.value(tool->type());
    tool->setParent(this);
    m_tools.insert(tool->type(), tool);
}

DocumentTool::AbstractTool *PDFDocumentView::tool(int toolType) const { return m_tools.value(toolType); }

void PDFDocumentView::armTool(int toolType)
{
    DocumentTool::AbstractTool *next = m_tools.value(toolType);
    if (next && next == m_armedTool) {
        return;
    }
    if (m_armedTool) {
        m_armedTool->deactivate();
    }
    m_armedTool = next;
    if (m_armedTool) {
        m_armedTool->activate();
    }
}

void PDFDocumentView::setMouseMode(PDFDocumentView::MouseMode newMode)
{
    if (newMode == m_mouseMode) {
        return;
    }
    static const QHash<int, int> modeTools { { MouseMode_MagnifyingGlass, 1 }, { MouseMode_Move, 5 },
        { MouseMode_MarqueeZoom, 4 }, { MouseMode_Measure, 8 }, { MouseMode_Select, 9 },
        { MouseMode_TextHighlight, 10 }, { MouseMode_TextUnderline, 11 }, { MouseMode_RectHighlight, 12 },
        { MouseMode_Rectangle, 13 }, { MouseMode_HorLines, 14 }, { MouseMode_HorHighlight, 15 } };
    if (!modeTools.contains(newMode)) {
        qWarning("PDFDocumentView::setMouseMode, unsupported mouse mode %d", int(newMode));
        return;
    }
    m_buttonTools.clear();
    m_buttonTools.insert(buttonKey(Qt::LeftButton, Qt::ControlModifier), 7);
    m_buttonTools.insert(buttonKey(Qt::RightButton, Qt::NoModifier), 6);
    m_buttonTools.insert(buttonKey(Qt::MiddleButton, Qt::NoModifier), 5);
    m_buttonTools.insert(buttonKey(Qt::LeftButton, Qt::ShiftModifier), 2);
    m_buttonTools.insert(buttonKey(Qt::LeftButton, Qt::AltModifier), 3);
    const int toolType = modeTools.value(newMode);
    if (newMode <= MouseMode_Select) {
        m_buttonTools.insert(buttonKey(Qt::LeftButton, Qt::NoModifier), toolType);
    }
    if (m_armedTool) {
        m_armedTool->deactivate();
        m_armedTool = nullptr;
    }
    armTool(toolType);
    m_mouseMode = newMode;
}

void PDFDocumentView::setMouseModeMove() { setMouseMode(MouseMode_Move); }

void PDFDocumentView::setMouseModeSelect() { setMouseMode(MouseMode_Select); }

// Painting --------------------------------------------------------------------------------------

void PDFDocumentView::paintEvent(QPaintEvent *event)
{
    PagedView::paintEvent(event);
    if (m_pdfScene) {
        cancelRendersOutsideViewport();
        updateCurrentPage();
    }
}

void PDFDocumentView::drawForeground(QPainter *painter, const QRectF &rect)
{
    PagedView::drawForeground(painter, rect);
    if (m_armedTool) {
        m_armedTool->paintEvent(painter);
    }
}

void PDFDocumentView::cancelRendersOutsideViewport()
{
    const QRectF visible = visibleSceneRect();
    QSet<ReadingPageItem *> shown;
    const QList<QGraphicsItem *> hits = m_pdfScene->items(visible, Qt::IntersectsItemBoundingRect);
    for (QGraphicsItem *item : hits) {
        if (item->type() == ReadingPageItem::Type && item->isVisible()) {
            shown.insert(static_cast<ReadingPageItem *>(item));
        }
    }
    for (ReadingPageItem *page : qAsConst(m_paintedPages)) {
        if (!shown.contains(page)) {
            page->cancelRenders();
        }
    }
    m_paintedPages = shown;
}

// Input -----------------------------------------------------------------------------------------

bool PDFDocumentView::atScrollTop() const
{
    return verticalScrollBar()->value() <= verticalScrollBar()->minimum();
}

bool PDFDocumentView::atScrollBottom() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void PDFDocumentView::keyPressEvent(QKeyEvent *event)
{
    // Keys typed into a note being edited are the note's, scrolling keys included.
    if (scene() && scene()->focusItem()
        && (scene()->focusItem()->flags() & QGraphicsItem::ItemAcceptsInputMethod)) {
        PagedView::keyPressEvent(event);
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    const bool onePageShown = m_pageMode == PageMode_SinglePage || m_pageMode == PageMode_Presentation;
    const auto pushScroll = [this, bar](int value) {
        value = qBound(bar->minimum(), value, bar->maximum());
        if (value != bar->value()) {
            m_history->push(new ScrollBarValueCommand(this, bar->value(), value));
        }
    };
    bool handled = true;
    switch (event->key()) {
    case Qt::Key_Home:
        goFirst();
        break;
    case Qt::Key_End:
        goLast();
        break;
    case Qt::Key_Up:
    case Qt::Key_PageUp: {
        const int step = event->key() == Qt::Key_PageUp ? bar->pageStep() : bar->singleStep();
        if (onePageShown && bar->value() - step <= bar->minimum() && m_currentPage >= 1) {
            goPrev();
            goToPageItem(m_pdfScene->readingPageAt(m_currentPage), AlignLeft | AlignBottom);
        } else if (event->key() == Qt::Key_PageUp && m_pageMode == PageMode_OneColumnContinuous) {
            pushScroll(bar->value() - bar->pageStep() + 2 * bar->singleStep());
        } else {
            handled = false;
        }
        break;
    }
    case Qt::Key_Down:
    case Qt::Key_PageDown: {
        const int step = event->key() == Qt::Key_PageDown ? bar->pageStep() : bar->singleStep();
        if (onePageShown && bar->value() + step >= bar->maximum() && m_currentPage < m_lastPage - 1) {
            goNext();
        } else if (event->key() == Qt::Key_PageDown && m_pageMode == PageMode_OneColumnContinuous) {
            pushScroll(bar->value() + bar->pageStep() - 2 * bar->singleStep());
        } else {
            handled = false;
        }
        break;
    }
    case Qt::Key_Space:
        if (event->modifiers() == Qt::NoModifier) {
            if (onePageShown && atScrollBottom() && m_currentPage < m_lastPage - 1) {
                goNext();
            } else {
                pushScroll(bar->value() + bar->pageStep() - 2 * bar->singleStep());
            }
        } else {
            handled = false;
        }
        break;
    default:
        handled = false;
        break;
    }
    if (handled) {
        event->accept();
    } else {
        PagedView::keyPressEvent(event);
    }
    if (m_armedTool) {
        m_armedTool->keyPressEvent(event);
    }
}

void PDFDocumentView::keyReleaseEvent(QKeyEvent *event)
{
    PagedView::keyReleaseEvent(event);
    if (m_armedTool) {
        m_armedTool->keyReleaseEvent(event);
    }
}

void PDFDocumentView::wheelEvent(QWheelEvent *event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier));
    const bool onePageShown = m_pageMode == PageMode_SinglePage || m_pageMode == PageMode_Presentation;
    if (plain && onePageShown && m_pdfScene) {
        const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->pixelDelta().y();
        if (delta < 0 && atScrollBottom() && m_currentPage < m_lastPage - 1) {
            goNext();
            event->accept();
            return;
        }
        if (delta > 0 && atScrollTop() && m_currentPage > 0) {
            goPrev();
            goToPageItem(m_pdfScene->readingPageAt(m_currentPage), AlignLeft | AlignBottom);
            event->accept();
            return;
        }
    }
    PagedView::wheelEvent(event);
}

void PDFDocumentView::mousePressEvent(QMouseEvent *event)
{
    QGraphicsItem *item = itemAt(event->pos());
    if (!item) {
        return;
    }
    if (isSceneHandled(item)) {
        PagedView::mousePressEvent(event);
        return;
    }
    DocumentTool::AbstractTool *tool = m_armedTool;
    const int mapped = m_buttonTools.value(buttonKey(event->button(), event->modifiers()), 0);
    if (event->button() != Qt::LeftButton || event->modifiers() != Qt::NoModifier) {
        tool = m_tools.value(mapped);
    }
    if (!tool) {
        PagedView::mousePressEvent(event);
        return;
    }
    if (tool->type() == DocumentTool::AbstractTool::Select) {
        tool->mousePressEvent(event);
        PagedView::mousePressEvent(event);
        return;
    }
    PagedView::mousePressEvent(event);
    if (tool->type() != DocumentTool::AbstractTool::Move || !scene()->mouseGrabberItem()) {
        m_pressedTool = tool;
        tool->mousePressEvent(event);
    }
}

void PDFDocumentView::mouseMoveEvent(QMouseEvent *event)
{
    QGraphicsItem *item = itemAt(event->pos());
    QGraphicsItem *grabber = scene() ? scene()->mouseGrabberItem() : nullptr;
    if (isSceneHandled(item) || (grabber && grabber->type() == GripItemType)) {
        PagedView::mouseMoveEvent(event);
        return;
    }
    DocumentTool::AbstractTool *tool = m_pressedTool ? m_pressedTool.data() : m_armedTool;
    if (event->buttons() == Qt::NoButton) {
        PagedView::mouseMoveEvent(event);
        if (item && item->type() != ReadingPageItem::Type && tool
            && tool->type() == DocumentTool::AbstractTool::Move) {
            viewport()->setCursor(Qt::ArrowCursor);
            return;
        }
    } else if (grabber && tool && tool->type() == DocumentTool::AbstractTool::Move) {
        viewport()->setCursor(Qt::ClosedHandCursor);
        PagedView::mouseMoveEvent(event);
        return;
    }
    if (tool) {
        tool->mouseMoveEvent(event);
    }
}

void PDFDocumentView::mouseReleaseEvent(QMouseEvent *event)
{
    DocumentTool::AbstractTool *tool = m_pressedTool ? m_pressedTool.data() : m_armedTool;
    if (tool) {
        tool->mouseReleaseEvent(event);
    }
    if (event->buttons() == Qt::NoButton) {
        m_pressedTool = nullptr;
    }
    PagedView::mouseReleaseEvent(event);
}

void PDFDocumentView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_armedTool) {
        m_armedTool->mouseDoubleClickEvent(event);
    }
}

void PDFDocumentView::contextMenuEvent(QContextMenuEvent *event)
{
    QGraphicsItem *item = itemAt(event->pos());
    if (item && item->type() == NoteItemType) {
        PagedView::contextMenuEvent(event);
        return;
    }
    if (item && item->type() == QGraphicsPathItem::Type && m_armedTool) {
        m_armedTool->contextMenuEvent(event);
        return;
    }
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (Nod::Presentation::MarkerItem *mark = markerAt(item)) {
        mark->addMenuActions(menu);
        menu->addSeparator();
    }
    menu->addAction(m_previousViewAction);
    menu->addAction(m_nextViewAction);
    menu->popup(event->globalPos());
    event->accept();
}

void PDFDocumentView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        m_previousViewAction->setText(tr("Previous View"));
        m_nextViewAction->setText(tr("Next View"));
        if (m_pdfScene) {
            m_pdfScene->retranslateUi();
        }
    }
    PagedView::changeEvent(event);
}

void PDFDocumentView::resizeEvent(QResizeEvent *event)
{
    const bool anchored
        = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()) == m_pageChosenAt;
    PagedView::resizeEvent(event);
    if (m_pageMode == PageMode_Presentation) {
        zoomFitWindow();
    } else if (anchored) {
        reapplyAnchor();
    }
}

// Links -----------------------------------------------------------------------------------------

bool PDFDocumentView::confirmOpenDocument(const QString &path)
{
    QMessageBox box(QMessageBox::Question, tr("Open Document"),
        tr("This link opens another document:\n\n%1\n\nOpen it here?").arg(path),
        QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void PDFDocumentView::pdfActionTriggered(const PDFAction *action)
{
    if (!action) {
        return;
    }
    const QString baseDir = document() ? QFileInfo(document()->fileName()).absolutePath() : QString();
    const auto openInside = [this, &baseDir](const QUrl &url, int page, bool newWindow) {
        if (LinkPolicy::classify(url, baseDir) != LinkPolicy::OpenDocumentInside) {
            qWarning("Refused to follow a link to %s", qUtf8Printable(url.toDisplayString()));
            return;
        }
        const QString path = LinkPolicy::localDocumentPath(url, baseDir);
        if (confirmOpenDocument(path)) {
            emit requestOpenPdf(path, page, newWindow);
        }
    };
    switch (action->type()) {
    case PDFAction::ActionTypeGoTo: {
        const auto *goTo = static_cast<const PDFGotoAction *>(action);
        if (goTo->isRemote() || goTo->newWindow()) {
            openInside(QUrl::fromLocalFile(goTo->fileName()), std::max(0, goTo->destination().pageNumber()),
                goTo->newWindow());
            return;
        }
        if (!document()) {
            return;
        }
        const PDFDestination target = document()->resolveDestination(goTo->destination());
        if (!target.isValid() || target.pageNumber() >= m_lastPage) {
            qWarning("Ignored a link to a missing destination");
            return;
        }
        m_history->push(new DestinationCommand(this, currentDestination(), target));
        return;
    }
    case PDFAction::ActionTypeURI: {
        const QUrl url = static_cast<const PDFURIAction *>(action)->url();
        switch (LinkPolicy::classify(url, baseDir)) {
        case LinkPolicy::OpenExternally:
            emit requestOpenUrl(url);
            QDesktopServices::openUrl(url);
            return;
        case LinkPolicy::OpenDocumentInside:
            openInside(url, 0, false);
            return;
        case LinkPolicy::Refuse:
            qWarning("Refused to follow a link to %s", qUtf8Printable(url.toDisplayString()));
            return;
        }
        return;
    }
    default:
        qWarning("Ignored a link action of type %d", action->type());
        return;
    }
}
