#include "handgrip.h"

#include <QCursor>
#include <QDebug>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>

namespace Nod::Presentation {

namespace {
constexpr qreal kHalfSize = 10;
} // namespace

Handgrip::Handgrip(int role, int kind, QGraphicsItem *parent)
    : QGraphicsObject(parent)
    , m_role(role)
    , m_kind(kind)
{
    setZValue(99999);
    setFlag(QGraphicsItem::ItemIgnoresTransformations);
    setAcceptHoverEvents(true);
    setVisible(false);
    switch (kind) {
    case Vertical:
        setCursor(Qt::SizeVerCursor);
        break;
    case Horizontal:
        setCursor(Qt::SizeHorCursor);
        break;
    case BackDiagonal:
        setCursor(Qt::SizeBDiagCursor);
        break;
    case ForwardDiagonal:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case All:
        setCursor(Qt::SizeAllCursor);
        break;
    default:
        qWarning() << "Error! HandgripItem::HandgripItem";
        m_usable = false;
        break;
    }
}

void Handgrip::setColor(const QColor &color)
{
    if (m_color == color) {
        return;
    }
    m_color = color;
    update();
}

QRectF Handgrip::boundingRect() const { return QRectF(-kHalfSize, -kHalfSize, 2 * kHalfSize, 2 * kHalfSize); }

void Handgrip::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(QRectF(-kHalfSize / 2, -kHalfSize / 2, kHalfSize, kHalfSize), m_color);
    painter->restore();
}

void Handgrip::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QGraphicsObject::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    event->accept();
    emit gripped(event->scenePos());
}

void Handgrip::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    if (!m_pressed) {
        QGraphicsObject::mouseMoveEvent(event);
        return;
    }
    emit moved(event->scenePos());
}

void Handgrip::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QGraphicsObject::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    // The mark, not the kit, takes the keys afterwards, so that Delete still reaches it.
    for (QGraphicsItem *ancestor = parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        if (ancestor->flags() & QGraphicsItem::ItemIsFocusable) {
            ancestor->setFocus(Qt::MouseFocusReason);
            break;
        }
    }
    emit released(event->scenePos());
}

} // namespace Nod::Presentation
