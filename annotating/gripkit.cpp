#include "gripkit.h"

#include "handgrip.h"
#include "markeritem.h"

#include <QPainter>

namespace Nod::Presentation {

Gripkit::Gripkit(MarkerItem *item)
    : QGraphicsObject(item)
{
    // The dragged outline must not catch the clicks meant for the mark under it.
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
}

Handgrip *Gripkit::handgrip(int role) const
{
    for (Handgrip *grip : m_handgrips) {
        if (grip->role() == role) {
            return grip;
        }
    }
    return nullptr;
}

QRectF Gripkit::boundingRect() const { return geometryRect().normalized().adjusted(-1, -1, 1, 1); }

QPainterPath Gripkit::shape() const { return QPainterPath(); }

void Gripkit::setColor(QColor color)
{
    if (m_color == color) {
        return;
    }
    m_color = color;
    for (Handgrip *grip : qAsConst(m_handgrips)) {
        grip->setColor(color);
    }
}

void Gripkit::showHandgrips()
{
    const bool usable = canReshape();
    for (Handgrip *grip : qAsConst(m_handgrips)) {
        grip->setVisible(usable && grip->isUsable());
    }
}

void Gripkit::hideHandgrips()
{
    for (Handgrip *grip : qAsConst(m_handgrips)) {
        grip->setVisible(false);
    }
}

Handgrip *Gripkit::addHandgrip(int role, int kind)
{
    auto *grip = new Handgrip(role, kind, this);
    grip->setColor(m_color);
    m_handgrips.append(grip);
    connect(grip, &Handgrip::gripped, this, [this, grip](QPointF) { onGripped(grip); });
    connect(grip, &Handgrip::moved, this, [this, grip](QPointF p) { onMoved(grip, p); });
    connect(grip, &Handgrip::released, this, [this, grip](QPointF) { onReleased(grip); });
    return grip;
}

void Gripkit::addRectangleHandgrips()
{
    addHandgrip(0, Handgrip::ForwardDiagonal);
    addHandgrip(1, Handgrip::Vertical);
    addHandgrip(2, Handgrip::BackDiagonal);
    addHandgrip(4, Handgrip::Horizontal);
    addHandgrip(7, Handgrip::ForwardDiagonal);
    addHandgrip(6, Handgrip::Vertical);
    addHandgrip(5, Handgrip::BackDiagonal);
    addHandgrip(3, Handgrip::Horizontal);
}

QPointF Gripkit::clampedToPage(const QPointF &point) const
{
    auto *item = qobject_cast<MarkerItem *>(parentObject());
    const QRectF page = item ? mapFromItem(item, item->pageRectInItem()).boundingRect() : QRectF();
    if (page.isNull()) {
        return point;
    }
    return QPointF(
        qBound(page.left(), point.x(), page.right()), qBound(page.top(), point.y(), page.bottom()));
}

QPen Gripkit::outlinePen()
{
    QPen pen(Qt::white);
    pen.setCosmetic(true);
    pen.setStyle(Qt::CustomDashLine);
    pen.setDashPattern({ 6, 6 });
    return pen;
}

void Gripkit::onGripped(Handgrip *grip)
{
    for (Handgrip *other : qAsConst(m_handgrips)) {
        if (other != grip) {
            other->setVisible(false);
        }
    }
}

void Gripkit::onMoved(Handgrip *grip, const QPointF &scenePos)
{
    const QPointF point = clampedToPage(mapFromScene(scenePos));
    prepareGeometryChange();
    reshape(grip->role(), point);
    update();
    if (QGraphicsItem *item = parentItem()) {
        item->update();
    }
    placeHandgrips();
}

void Gripkit::onReleased(Handgrip *)
{
    finishReshape();
    showHandgrips();
    // Last: the mark may take the new shape and its owner push a command that rebuilds it.
    emit gripReleased();
}

} // namespace Nod::Presentation
