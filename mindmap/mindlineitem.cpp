#include "mindlineitem.h"

#include <QPainter>
#include <QPen>

namespace Nod::Presentation {

namespace {

bool fuzzyEqual(const QPointF &a, const QPointF &b)
{
    return qFuzzyCompare(a.x() + 1, b.x() + 1) && qFuzzyCompare(a.y() + 1, b.y() + 1);
}

} // namespace

MindLineItem::MindLineItem(QGraphicsItem *parent)
    : QGraphicsPathItem(parent)
{
    setPen(QPen(Qt::black));
    setAcceptedMouseButtons(Qt::NoButton);
}

void MindLineItem::setStartPoint(const QPointF &point)
{
    if (!fuzzyEqual(point, m_start)) {
        m_start = point;
        rebuild();
    }
}

void MindLineItem::setEndPoint(const QPointF &point)
{
    if (!fuzzyEqual(point, m_end)) {
        m_end = point;
        rebuild();
    }
}

void MindLineItem::setColor(const QColor &color)
{
    if (pen().color() != color) {
        QPen p = pen();
        p.setColor(color);
        setPen(p);
    }
}

void MindLineItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    painter->setRenderHint(QPainter::Antialiasing);
    QGraphicsPathItem::paint(painter, option, widget);
}

void MindLineItem::rebuild()
{
    const qreal d = (m_end.x() - m_start.x()) / 2;
    QPainterPath path(m_start);
    path.cubicTo(QPointF(m_start.x() + d, m_start.y()), QPointF(m_end.x() - d, m_end.y()), m_end);
    setPath(path);
}

} // namespace Nod::Presentation
