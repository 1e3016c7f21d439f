#include "lineitem.h"

#include <annotating/markeritem.h>

#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>

LineItem::LineItem(QGraphicsItem *parent)
    : QGraphicsLineItem(parent)
{ }

void LineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    using Nod::Presentation::MarkerItem;
    painter->setCompositionMode(MarkerItem::backgroundMode().mode() % 2 == 0
            ? QPainter::CompositionMode_Darken
            : QPainter::CompositionMode_Lighten);
    // As wide on screen as the stored line mark will be, at any zoom.
    painter->setPen(MarkerItem::zoomIndependentPen(pen(), painter));
    painter->drawLine(line());
}

Border::Border(QGraphicsItem *parent)
    : QGraphicsRectItem(parent)
{
    QPen pen(Qt::white, 0, Qt::CustomDashLine);
    pen.setDashPattern({ 6, 6 });
    setPen(pen);
    setBrush(Qt::NoBrush);
    hide();
}

QPainterPath Border::shape() const
{
    QPainterPath outline;
    outline.addRect(rect());
    QPainterPathStroker stroker;
    stroker.setWidth(1e-8);
    return stroker.createStroke(outline);
}

void Border::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_Difference);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(pen());
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect());
    painter->restore();
}
