#include "linegripkit.h"

#include "handgrip.h"

#include <QPainter>

namespace Nod::Presentation {

LineGripkit::LineGripkit(MarkerItem *item)
    : Gripkit(item)
{
    addHandgrip(StartPoint, Handgrip::Horizontal);
    addHandgrip(EndPoint, Handgrip::Horizontal);
}

void LineGripkit::setLine(const QLineF &line)
{
    if (line.isNull() || line == m_line) {
        return;
    }
    prepareGeometryChange();
    m_line = line;
    update();
    placeHandgrips();
}

void LineGripkit::reshape(int role, const QPointF &point)
{
    if (role == StartPoint) {
        m_line.setP1(point);
    } else if (role == EndPoint) {
        m_line.setP2(point);
    }
}

void LineGripkit::placeHandgrips()
{
    for (Handgrip *grip : handgrips()) {
        grip->setPos(grip->role() == StartPoint ? m_line.p1() : m_line.p2());
    }
}

void LineGripkit::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_Difference);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(outlinePen());
    painter->drawLine(m_line);
    painter->restore();
}

} // namespace Nod::Presentation
