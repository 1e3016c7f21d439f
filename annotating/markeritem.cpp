#include "markeritem.h"

#include "gripkit.h"

#include <app/storage/settings.h>

#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainterPathStroker>
#include <QtMath>

#include <optional>

namespace Nod::Presentation {

namespace {

std::optional<Domain::BackgroundMode> &currentBackgroundMode()
{
    static std::optional<Domain::BackgroundMode> mode;
    return mode;
}

} // namespace

MarkerItem::MarkerItem(QGraphicsItem *parent)
    : QGraphicsObject(parent)
{
    setFlag(QGraphicsItem::ItemIsFocusable);
    setAcceptHoverEvents(true);
}

MarkerItem::~MarkerItem() = default;

QColor MarkerItem::color() const { return QColor(Qt::gray); }

QRectF MarkerItem::pageRectInItem() const
{
    if (!m_pageRect.isNull()) {
        return mapFromParent(m_pageRect).boundingRect();
    }
    if (auto *parent = qobject_cast<const MarkerItem *>(parentObject())) {
        const QRectF inParent = parent->pageRectInItem();
        if (!inParent.isNull()) {
            return mapFromParent(inParent).boundingRect();
        }
    }
    return QRectF();
}

void MarkerItem::requestRemoval()
{
    if (m_removalPending) {
        return;
    }
    m_removalPending = true;
    // Queued with the item as context: dropped if the item is gone before the loop gets to it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_removalPending = false;
            emit removeRequested();
        },
        Qt::QueuedConnection);
}

bool MarkerItem::lessThan(const MarkerItem *a, const MarkerItem *b)
{
    const QPointF pa = a->sceneAnchor();
    const QPointF pb = b->sceneAnchor();
    if (pa.y() != pb.y()) {
        return pa.y() < pb.y();
    }
    return pa.x() < pb.x();
}

Domain::BackgroundMode MarkerItem::backgroundMode()
{
    std::optional<Domain::BackgroundMode> &mode = currentBackgroundMode();
    if (!mode) {
        mode = Common::Infrastructure::Settings::instance()->mainWindow.backgroundMode();
    }
    return *mode;
}

void MarkerItem::setBackgroundMode(const Domain::BackgroundMode &mode) { currentBackgroundMode() = mode; }

QPainter::CompositionMode MarkerItem::compositionMode(const QWidget *widget)
{
    if (widget && backgroundMode().mode() % 2 != 0) {
        return QPainter::CompositionMode_Lighten;
    }
    return QPainter::CompositionMode_Darken;
}

QPen MarkerItem::zoomIndependentPen(const QPen &pen, const QPainter *painter)
{
    // The length of the mapped x unit, which is m11 unless the view is rotated.
    const QTransform &t = painter->transform();
    const qreal scale = qSqrt(t.m11() * t.m11() + t.m12() * t.m12());
    QPen corrected(pen);
    if (scale > 0) {
        corrected.setWidthF(pen.widthF() / scale);
    }
    return corrected;
}

QPainterPath MarkerItem::strokedWithPen(const QPainterPath &path, const QPen &pen)
{
    if (path.isEmpty()) {
        return path;
    }
    QPainterPathStroker stroker;
    stroker.setCapStyle(pen.capStyle());
    stroker.setJoinStyle(pen.joinStyle());
    stroker.setMiterLimit(pen.miterLimit());
    stroker.setWidth(pen.widthF() <= 0 ? 1e-8 : pen.widthF());
    QPainterPath stroked = stroker.createStroke(path);
    stroked.addPath(path);
    return stroked;
}

QPainterPath MarkerItem::shape() const { return cachedShape(); }

QPainterPath MarkerItem::cachedShape() const
{
    if (!m_shapeValid) {
        m_shape = buildShape();
        m_shapeValid = true;
    }
    return m_shape;
}

void MarkerItem::invalidateShape() { m_shapeValid = false; }

void MarkerItem::setHoveredIn(bool h) { setHovered(h, false); }

void MarkerItem::setHovered(bool hovered, bool announce)
{
    if (m_hovered == hovered) {
        return;
    }
    m_hovered = hovered;
    update();
    if (announce) {
        emit hoveredChanged(hovered);
    }
}

QVariant MarkerItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemSelectedHasChanged) {
        const bool selected = value.toBool();
        if (selected) {
            if (!m_gripkit) {
                m_gripkit = createGripkit();
            }
            if (m_gripkit) {
                m_gripkit->showHandgrips();
            }
        } else if (m_gripkit) {
            delete m_gripkit;
            m_gripkit = nullptr;
        }
        emit selectedChanged(selected);
    }
    return QGraphicsObject::itemChange(change, value);
}

void MarkerItem::hoverEnterEvent(QGraphicsSceneHoverEvent *event)
{
    setHovered(true, true);
    QGraphicsObject::hoverEnterEvent(event);
}

void MarkerItem::hoverLeaveEvent(QGraphicsSceneHoverEvent *event)
{
    setHovered(false, true);
    QGraphicsObject::hoverLeaveEvent(event);
}

void MarkerItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    // Marks are reshaped with their grips, never dragged.
    event->ignore();
}

void MarkerItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    emit toggleViewRequested();
    event->accept();
}

void MarkerItem::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        requestRemoval();
        event->accept();
        return;
    }
    QGraphicsObject::keyPressEvent(event);
}

void MarkerItem::addMenuActions(QMenu *menu)
{
    // The item as context: if it goes while the menu is open, the entries do nothing.
    connect(menu->addAction(tr("&Toggle view")), &QAction::triggered, this,
        [this] { emit toggleViewRequested(); });
    menu->addSeparator();
    connect(menu->addAction(tr("&Remove")), &QAction::triggered, this, [this] { requestRemoval(); });
}

void MarkerItem::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addMenuActions(menu);
    menu->popup(event->screenPos());
    event->accept();
}

} // namespace Nod::Presentation
