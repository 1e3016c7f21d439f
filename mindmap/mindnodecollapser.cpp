#include "mindnodecollapser.h"

#include "mindnodeitem.h"

#include <QCursor>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace Nod::Presentation {

MindNodeCollapser::MindNodeCollapser(MindNodeItem *node)
    : QGraphicsItem(node)
    , m_node(node)
{
    setCursor(Qt::PointingHandCursor);
    setAcceptedMouseButtons(Qt::LeftButton);
}

void MindNodeCollapser::setFolded(bool folded)
{
    if (m_folded != folded) {
        m_folded = folded;
        update();
    }
}

QRectF MindNodeCollapser::boundingRect() const { return QRectF(-8.5, -8.5, 17, 17); }

void MindNodeCollapser::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(Qt::darkGray));
    painter->drawEllipse(boundingRect().adjusted(0.5, 0.5, -0.5, -0.5));
    painter->drawLine(QPointF(-4, 0), QPointF(4, 0));
    if (m_folded) {
        painter->drawLine(QPointF(0, -4), QPointF(0, 4));
    }
}

void MindNodeCollapser::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
    m_node->setFolded(!m_node->isFolded());
}

} // namespace Nod::Presentation
