#include "polygonmarkeritem.h"

#include "polygongripkit.h"

namespace Nod::Presentation {

PolygonMarkerItem::PolygonMarkerItem(QGraphicsItem *parent)
    : FillableMarkerItem(parent)
{ }

void PolygonMarkerItem::setPolygon(const QPolygonF &polygon)
{
    if (polygon.isEmpty() || polygon == m_polygon) {
        return;
    }
    prepareGeometryChange();
    m_polygon = polygon;
    invalidateShape();
    update();
    emit shapeChanged();
}

QPointF PolygonMarkerItem::anchor() const
{
    if (m_polygon.size() == 12) {
        return m_polygon[8];
    }
    return m_polygon.value(0);
}

QPainterPath PolygonMarkerItem::buildShape() const
{
    QPainterPath path;
    path.addPolygon(m_polygon);
    path.closeSubpath();
    if (outline() != Domain::Marker::NoLine) {
        return strokedWithPen(path, pen());
    }
    return path;
}

QRectF PolygonMarkerItem::boundingRect() const { return cachedShape().controlPointRect(); }

void PolygonMarkerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    painter->save();
    painter->setCompositionMode(compositionMode(widget));
    painter->setBrush(brush().style() != Qt::NoBrush ? brush() : QBrush(Qt::NoBrush));
    painter->setPen(
        outline() == Domain::Marker::AllEdges ? zoomIndependentPen(pen(), painter) : QPen(Qt::NoPen));
    painter->drawPolygon(m_polygon, Qt::OddEvenFill);
    painter->restore();
    if (isHovered() && !isSelected()) {
        painter->save();
        painter->setCompositionMode(QPainter::CompositionMode_Difference);
        painter->setRenderHint(QPainter::Antialiasing, false);
        QPen outlinePen(Qt::white);
        outlinePen.setCosmetic(true);
        painter->setPen(outlinePen);
        painter->setBrush(Qt::NoBrush);
        painter->drawPolygon(m_polygon);
        painter->restore();
    }
}

Gripkit *PolygonMarkerItem::createGripkit()
{
    auto *kit = new PolygonGripkit(this);
    kit->setColor(QColor::fromRgba(color().rgba() ^ 0x00FFFFFF));
    kit->setPolygon(m_polygon);
    connect(this, &MarkerItem::shapeChanged, kit, [this, kit] { kit->setPolygon(m_polygon); });
    connect(kit, &Gripkit::gripReleased, this, [this, kit] {
        setPolygon(kit->polygon());
        // A refused shape puts the grips back on the mark.
        kit->setPolygon(m_polygon);
    });
    return kit;
}

} // namespace Nod::Presentation
