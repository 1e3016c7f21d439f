#include "boxesmarkeritem.h"

namespace Nod::Presentation {

BoxesMarkerItem::BoxesMarkerItem(QGraphicsItem *parent)
    : FillableMarkerItem(parent)
{ }

void BoxesMarkerItem::setBoxes(const Domain::TextRects &boxes)
{
    if (boxes.isEmpty() || boxes == m_boxes) {
        return;
    }
    prepareGeometryChange();
    m_boxes = boxes;
    m_outline = QPainterPath();
    invalidateShape();
    update();
    emit shapeChanged();
}

QPointF BoxesMarkerItem::anchor() const
{
    return m_boxes.isEmpty() ? QPointF() : m_boxes.last().bottomRight();
}

QPainterPath BoxesMarkerItem::buildShape() const
{
    // The outline drawn on hover follows the shape.
    m_outline = QPainterPath();
    const QPainterPath path = m_boxes.painterPath();
    if (outline() != Domain::Marker::NoLine) {
        return strokedWithPen(path, pen());
    }
    return path;
}

QRectF BoxesMarkerItem::boundingRect() const { return cachedShape().controlPointRect(); }

void BoxesMarkerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    painter->save();
    painter->setCompositionMode(compositionMode(widget));
    if (brush().style() != Qt::NoBrush) {
        painter->fillPath(cachedShape(), brush());
    }
    if (pen().style() != Qt::NoPen) {
        painter->setPen(zoomIndependentPen(pen(), painter));
        for (const QRectF &box : m_boxes) {
            painter->drawLine(box.bottomLeft(), box.bottomRight());
        }
    }
    painter->restore();
    if (isHovered() || isSelected()) {
        const QPainterPath shape = cachedShape(); // rebuilding it drops a stale outline
        if (m_outline.isEmpty()) {
            m_outline = shape.simplified();
        }
        painter->save();
        painter->setCompositionMode(QPainter::CompositionMode_Difference);
        painter->setRenderHint(QPainter::Antialiasing, false);
        QPen outlinePen(Qt::white);
        outlinePen.setCosmetic(true);
        painter->setPen(outlinePen);
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(m_outline);
        painter->restore();
    }
}

} // namespace Nod::Presentation
