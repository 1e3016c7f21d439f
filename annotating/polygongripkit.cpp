#include "polygongripkit.h"

#include "handgrip.h"

#include <QPainter>

namespace Nod::Presentation {

PolygonGripkit::PolygonGripkit(MarkerItem *item)
    : Gripkit(item)
{
    addRectangleHandgrips();
}

void PolygonGripkit::setPolygon(const QPolygonF &polygon)
{
    if (polygon.isEmpty() || polygon == m_polygon) {
        return;
    }
    prepareGeometryChange();
    m_polygon = polygon;
    update();
    placeHandgrips();
}

void PolygonGripkit::reshape(int role, const QPointF &point)
{
    if (!canReshape()) {
        return;
    }
    QPolygonF &q = m_polygon;
    QPointF p = point;
    if (role == 0 || role == 2 || role == 5 || role == 7) {
        const QRectF bounds = q.boundingRect();
        p = QPointF(
            qBound(bounds.left(), p.x(), bounds.right()), qBound(bounds.top(), p.y(), bounds.bottom()));
    }
    switch (role) {
    case 0: // top-left step
        q[1] = p;
        q[0].setY(p.y());
        q[2].setX(p.x());
        break;
    case 1: // top edge
        q[2].setY(p.y());
        q[3].setY(p.y());
        for (int i = 0; i <= 5; ++i) {
            if (q[i].y() < p.y()) {
                q[i].setY(p.y());
            }
        }
        break;
    case 2: // top-right step
        q[4] = p;
        q[3].setX(p.x());
        q[5].setY(p.y());
        break;
    case 4: // right edge
        q[5].setX(p.x());
        q[6].setX(p.x());
        for (int i = 3; i <= 8; ++i) {
            if (q[i].x() > p.x()) {
                q[i].setX(p.x());
            }
        }
        break;
    case 7: // bottom-right step
        q[7] = p;
        q[6].setY(p.y());
        q[8].setX(p.x());
        break;
    case 6: // bottom edge
        q[8].setY(p.y());
        q[9].setY(p.y());
        for (int i = 6; i <= 11; ++i) {
            if (q[i].y() > p.y()) {
                q[i].setY(p.y());
            }
        }
        break;
    case 5: // bottom-left step
        q[10] = p;
        q[9].setX(p.x());
        q[11].setY(p.y());
        break;
    case 3: // left edge
        q[11].setX(p.x());
        q[0].setX(p.x());
        for (int i : { 9, 10, 11, 0, 1, 2 }) {
            if (q[i].x() < p.x()) {
                q[i].setX(p.x());
            }
        }
        break;
    default:
        break;
    }
}

void PolygonGripkit::placeHandgrips()
{
    if (!canReshape()) {
        hideHandgrips();
        return;
    }
    const QPolygonF &q = m_polygon;
    const auto middle = [](const QPointF &a, const QPointF &b) { return (a + b) / 2; };
    for (Handgrip *grip : handgrips()) {
        switch (grip->role()) {
        case 0:
            grip->setPos(q[1]);
            break;
        case 1:
            grip->setPos(middle(q[2], q[3]));
            break;
        case 2:
            grip->setPos(q[4]);
            break;
        case 4:
            grip->setPos(middle(q[5], q[6]));
            break;
        case 7:
            grip->setPos(q[7]);
            break;
        case 6:
            grip->setPos(middle(q[8], q[9]));
            break;
        case 5:
            grip->setPos(q[10]);
            break;
        case 3:
            grip->setPos(middle(q[11], q[0]));
            break;
        default:
            break;
        }
    }
}

void PolygonGripkit::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_Difference);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(outlinePen());
    painter->setBrush(Qt::NoBrush);
    painter->drawPolygon(m_polygon);
    painter->restore();
}

} // namespace Nod::Presentation
