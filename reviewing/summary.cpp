#include "summary.h"

#include "page.h"

#include <reading/backgroundmodeholder.h>

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>
#include <backend/page.h>
#include <backend/rendertask.h>
#include <backend/tileitem.h>

#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

using Nod::Presentation::MarkerItem;
using Nod::Presentation::NoteItem;

namespace Reviewing {

namespace {

// Largest excerpt rendered at full sharpness, in pixels; beyond it the excerpt is drawn scaled up,
// so a huge zoom cannot ask for a huge image.
constexpr double kMaxExcerptPixels = 16.0 * 1024 * 1024;

} // namespace

Summary::Summary(MarkerItem *canvas, NoteItem *note, Page *page)
    : QGraphicsObject(page)
    , m_canvas(canvas)
    , m_note(note)
    , m_page(page)
    , m_pageWidth(page->pageSize().width())
{
    setFlag(QGraphicsItem::ItemIsSelectable);
    setFlag(QGraphicsItem::ItemIsFocusable);
    setAcceptHoverEvents(true);
    // The row lies under its canvas and note and paints the excerpt they show over.
    if (m_canvas) {
        m_canvas->setParentItem(this);
        if (scene()) {
            m_canvas->installSceneEventFilter(this);
        }
        connect(m_canvas, &MarkerItem::shapeChanged, this, &Summary::on_child_heightChanged);
    }
    if (m_note) {
        m_note->setParentItem(this);
        connect(m_note, &NoteItem::heightChanged, this, &Summary::on_child_heightChanged);
    }
    setNoteAreaMode(page->noteAreaMode());
}

Summary::~Summary() = default;

MarkerItem *Summary::canvas() const { return m_canvas; }

NoteItem *Summary::note() const { return m_note; }

int Summary::annotationId() const { return m_note ? m_note->annotationId() : 0; }

QPointF Summary::anchor() const { return m_canvas ? m_canvas->mapToParent(m_canvas->anchor()) : QPointF(); }

bool Summary::isLeftSide() const { return anchor().x() < m_pageWidth / 2; }

QRectF Summary::excerptRect() const
{
    if (!m_canvas) {
        return QRectF();
    }
    return markedRect() & m_page->pageRect();
}

QRectF Summary::markedRect() const
{
    // Asked of the marks themselves: the framework's cached children rectangle keeps a mark that
    // was just deleted, and a selected mark's grips are no part of the excerpt.
    QRectF rect = m_canvas->boundingRect();
    const QList<QGraphicsItem *> children = m_canvas->childItems();
    for (const QGraphicsItem *child : children) {
        if (dynamic_cast<const MarkerItem *>(child)) {
            rect |= child->mapRectToParent(child->boundingRect());
        }
    }
    return m_canvas->mapRectToParent(rect);
}

bool Summary::comesBefore(const Summary *a, const Summary *b, int mode)
{
    if (mode == Base::Page::BothNoteAreas && a->isLeftSide() != b->isLeftSide()) {
        return a->isLeftSide();
    }
    const QPointF pa = a->anchor();
    const QPointF pb = b->anchor();
    if (pa.y() != pb.y()) {
        return pa.y() < pb.y();
    }
    return pa.x() < pb.x();
}

void Summary::setNoteAreaMode(int mode)
{
    if (mode == m_mode) {
        return;
    }
    m_mode = mode;
    updateGeometry();
}

void Summary::on_child_heightChanged() { updateGeometry(); }

void Summary::updateGeometry()
{
    if (!m_canvas) {
        return;
    }
    const QRectF page = m_page->boundingRect();
    const QRectF canvas = markedRect();
    double left = 0;
    double right = m_pageWidth;
    double noteX = m_pageWidth + PageGap;
    double noteWidth = 0;
    switch (m_mode) {
    case Base::Page::RightNoteArea:
        right = page.right();
        noteWidth = page.right() - m_pageWidth - PageGap - OuterGap;
        break;
    case Base::Page::LeftNoteArea:
        left = page.left();
        noteWidth = std::abs(page.left()) - PageGap - OuterGap;
        noteX = page.left() + OuterGap;
        break;
    case Base::Page::BothNoteAreas:
        left = page.left();
        right = page.right();
        noteWidth = std::abs(page.left()) - PageGap - OuterGap;
        if (isLeftSide()) {
            noteX = page.left() + OuterGap;
        }
        break;
    default:
        break;
    }
    double noteHeight = 0;
    if (m_note) {
        const bool visible = m_mode != Base::Page::NoNoteArea;
        m_note->setVisible(visible);
        if (visible) {
            const double scale = m_note->scale() > 0 ? m_note->scale() : 1.0;
            const double width = std::max(1.0, noteWidth / scale);
            if (m_note->textWidth() != width) {
                m_note->setNoteWidth(width);
            }
            m_note->setPos(noteX, canvas.top());
            const QRectF noteRect = m_note->boundingRect();
            noteHeight = noteRect.isEmpty() ? 0.0 : noteRect.height() * scale;
        }
    }
    const double height = std::max(noteHeight, canvas.height()) + 2 * RowMargin;
    const QRectF rect(left, canvas.top() - RowMargin, right - left, height);
    if (rect != m_rect) {
        const bool grew = rect.top() != m_rect.top() || rect.height() != m_rect.height();
        prepareGeometryChange();
        m_rect = rect;
        if (grew) {
            emit heightChanged(height);
        }
    }
}

void Summary::release()
{
    QGraphicsItem *page = parentItem();
    if (m_canvas) {
        m_canvas->disconnect(this);
        m_canvas->removeSceneEventFilter(this);
        m_canvas->setParentItem(page);
    }
    if (m_note) {
        m_note->disconnect(this);
        m_note->setParentItem(page);
    }
    m_canvas.clear();
    m_note.clear();
}

void Summary::dropImage()
{
    if (m_tile) {
        m_tile->deleteAfterRender();
        m_tile = nullptr;
    }
}

void Summary::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    painter->save();
    paintExcerpt(painter, widget);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(Qt::lightGray, 0));
    painter->drawRect(excerptRect());
    if (widget && (isSelected() || hasFocus())) {
        painter->setPen(QPen(widget->palette().color(QPalette::Highlight), 0));
        painter->drawRect(m_rect.adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

void Summary::paintExcerpt(QPainter *painter, QWidget *widget)
{
    const QRectF excerpt = excerptRect();
    const QSharedPointer<Backend::Page> page = m_page->page().toStrongRef();
    if (excerpt.isEmpty() || !page) {
        return;
    }
    const QTransform world = painter->worldTransform();
    const double zoom = std::hypot(world.m11(), world.m12());
    RenderParam param;
    if (widget) {
        param = RenderParam(int(m_page->resolutionX()), int(m_page->resolutionY()),
            painter->device()->devicePixelRatioF(), zoom);
        BackgroundModeHolder::instance()->applyTo(param);
    } else {
        // Printed and exported on white.
        param = RenderParam(int(m_page->resolutionX()), int(m_page->resolutionY()), 1.0, zoom);
    }
    // Rendered pixels per page unit.
    double perUnit = param.renderXres() / m_page->resolutionX();
    const double pixels = excerpt.width() * perUnit * excerpt.height() * perUnit;
    if (pixels > kMaxExcerptPixels) {
        const double reduce = std::sqrt(kMaxExcerptPixels / pixels);
        param.setScaleFactor(param.scaleFactor() * reduce);
        perUnit *= reduce;
    }
    const QRect area = QRectF(excerpt.topLeft() * perUnit, excerpt.size() * perUnit).toAlignedRect();
    const QRectF target
        = world.mapRect(QRectF(QPointF(area.topLeft()) / perUnit, QSizeF(area.size()) / perUnit));
    painter->setWorldTransform(QTransform());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (widget) {
        if (!m_tile) {
            m_tile = new TileItem(page, this);
            connect(m_tile, &TileItem::imageReady, this, [this] { update(); });
        }
        m_tile->setRect(area);
        const QPixmap pixmap = m_tile->pixmap(param);
        if (!pixmap.isNull()) {
            if (pixels > kMaxExcerptPixels) {
                painter->drawPixmap(target, pixmap, QRectF(pixmap.rect()));
            } else {
                painter->drawPixmap(QPoint(qRound(target.left()), qRound(target.top())), pixmap);
            }
        }
    } else {
        const QImage image = RenderTask::renderTile(*page, param, area);
        if (!image.isNull()) {
            painter->drawImage(target, image, QRectF(image.rect()));
        }
    }
    painter->setWorldTransform(world);
}

void Summary::requestJump()
{
    if (m_canvas) {
        emit m_canvas->toggleViewRequested();
    }
}

void Summary::requestRemoval()
{
    if (m_canvas) {
        m_canvas->requestRemoval();
    }
}

void Summary::showMenu(const QPoint &screenPos)
{
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The row as context: if it goes while the menu is open, the entries do nothing.
    connect(menu->addAction(tr("&Jump to Reading View")), &QAction::triggered, this, &Summary::requestJump);
    menu->addSeparator();
    connect(menu->addAction(tr("&Remove annotation and note")), &QAction::triggered, this,
        &Summary::requestRemoval);
    menu->popup(screenPos);
}

bool Summary::sceneEventFilter(QGraphicsItem *watched, QEvent *event)
{
    if (watched == m_canvas && event->type() == QEvent::GraphicsSceneContextMenu) {
        showMenu(static_cast<QGraphicsSceneContextMenuEvent *>(event)->screenPos());
        event->accept();
        return true;
    }
    return QGraphicsObject::sceneEventFilter(watched, event);
}

void Summary::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        requestRemoval();
        event->accept();
        return;
    }
    QGraphicsObject::keyPressEvent(event);
}

void Summary::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    requestJump();
    event->accept();
}

void Summary::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    showMenu(event->screenPos());
    event->accept();
}

} // namespace Reviewing
