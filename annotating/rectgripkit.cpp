#include "rectgripkit.h"

#include "handgrip.h"

#include <QPainter>

namespace Nod::Presentation {

RectGripkit::RectGripkit(MarkerItem *item)
    : Gripkit(item)
{
    addRectangleHandgrips();
}

void RectGripkit::setRect(const QRectF &rect)
{
    if (!rect.isValid() || rect == m_rect) {
        return;
    }
    prepareGeometryChange();
    m_rect = rect;
    update();
    placeHandgrips();
}

void RectGripkit::reshape(int role, const QPointF &p)
{
    switch (role) {
    case 0:
        m_rect.setTopLeft(p);
        break;
    case 1:
        m_rect.setTop(p.y());
        break;
    case 2:
        m_rect.setTopRight(p);
        break;
    case 3:
        m_rect.setLeft(p.x());
        break;
    case 4:
        m_rect.setRight(p.x());
        break;
    case 5:
        m_rect.setBottomLeft(p);
        break;
    case 6:
        m_rect.setBottom(p.y());
        break;
    case 7:
        m_rect.setBottomRight(p);
        break;
    default:
        break;
    }
}

void RectGripkit::finishReshape()
{
    prepareGeometryChange();
    m_rect = m_rect.normalized();
    placeHandgrips();
}

void RectGripkit::placeHandgrips()
{
    const QRectF &r = m_rect;
    const QPointF centre = r.center();
    for (Handgrip *grip : handgrips()) {
        switch (grip->role()) {
        case 0:
            grip->setPos(r.topLeft());
            break;
        case 1:
            grip->setPos(centre.x(), r.top());
            break;
        case 2:
            grip->setPos(r.topRight());
            break;
        case 3:
            grip->setPos(r.left(), centre.y());
            break;
        case 4:
            grip->setPos(r.right(), centre.y());
            break;
        case 5:
            grip->setPos(r.bottomLeft());
            break;
        case 6:
            grip->setPos(centre.x(), r.bottom());
            break;
        case 7:
            grip->setPos(r.bottomRight());
            break;
        default:
            break;
        }
    }
}

void RectGripkit::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setCompositionMode(QPainter::CompositionMode_Difference);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(outlinePen());
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(rect());
    painter->restore();
}

} // namespace Nod::Presentation
