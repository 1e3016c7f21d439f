#include "fillablemarkeritem.h"

namespace Nod::Presentation {

FillableMarkerItem::FillableMarkerItem(QGraphicsItem *parent)
    : CompositeMarkerItem(parent)
{ }

void FillableMarkerItem::setOutline(Domain::Marker::OutlineType outline)
{
    if (m_outline == outline) {
        return;
    }
    // The outline and the pen decide the stroked shape.
    prepareGeometryChange();
    m_outline = outline;
    invalidateShape();
    update();
}

void FillableMarkerItem::setPen(const QPen &pen)
{
    if (m_pen == pen) {
        return;
    }
    prepareGeometryChange();
    m_pen = pen;
    invalidateShape();
    update();
}

void FillableMarkerItem::setBrush(const QBrush &brush)
{
    if (m_brush == brush) {
        return;
    }
    m_brush = brush;
    update();
}

QColor FillableMarkerItem::color() const
{
    return m_pen.style() != Qt::NoPen ? m_pen.color() : m_brush.color();
}

} // namespace Nod::Presentation
