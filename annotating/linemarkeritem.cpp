#include "linemarkeritem.h"

#include "linegripkit.h"

namespace Nod::Presentation {

LineMarkerItem::LineMarkerItem(QGraphicsItem *parent)
    : MarkerItem(parent)
{ }

void LineMarkerItem::setLine(const QLineF &line)
{
    if (line.isNull() || line == m_line) {
        return;
    }
    prepareGeometryChange();
    m_line = line;
    invalidateShape();
    update();
    emit shapeChanged();
}

void LineMarkerItem::setPen(const QPen &pen)
{
    if (pen == m_pen) {
        return;
    }
    prepareGeometryChange();
    m_pen = pen;
    invalidateShape();
    update();
}

QPainterPath LineMarkerItem::buildShape() const
{
    if (m_line.isNull()) {
        return QPainterPath();
    }
    QPainterPath path(m_line.p1());
    path.lineTo(m_line.p2());
    return strokedWithPen(path, m_pen);
}

QRectF LineMarkerItem::boundingRect() const { return cachedShape().controlPointRect(); }

void LineMarkerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    painter->save();
    painter->setCompositionMode(compositionMode(widget));
    painter->setPen(zoomIndependentPen(m_pen, painter));
    painter->drawLine(m_line);
    if (isHovered() && !isSelected()) {
        painter->setCompositionMode(QPainter::CompositionMode_Difference);
        painter->setRenderHint(QPainter::Antialiasing, true);
        QPen outlinePen(Qt::white);
        outlinePen.setCosmetic(true);
        painter->setPen(outlinePen);
        painter->drawLine(m_line);
    }
    painter->restore();
}

Gripkit *LineMarkerItem::createGripkit()
{
    auto *kit = new LineGripkit(this);
    kit->setColor(QColor::fromRgba(m_pen.color().rgba() ^ 0x00FFFFFF));
    kit->setLine(m_line);
    connect(this, &MarkerItem::shapeChanged, kit, [this, kit] { kit->setLine(m_line); });
    connect(kit, &Gripkit::gripReleased, this, [this, kit] {
        setLine(kit->line());
        kit->setLine(m_line);
    });
    return kit;
}

} // namespace Nod::Presentation
