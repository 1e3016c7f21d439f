#pragma once

#include <QColor>
#include <QGraphicsObject>

namespace Nod::Presentation {

// One draggable square of a gripkit. It keeps its size in screen pixels at any zoom and does not
// move itself: it reports where the pointer is, and the gripkit places it.
class Handgrip final : public QGraphicsObject
{
    Q_OBJECT

public:
    enum { Type = UserType + 91 };
    // Which cursor the grip shows.
    enum Kind { Vertical = 0, Horizontal = 1, BackDiagonal = 2, ForwardDiagonal = 3, All = 4 };

    // `role` is the point or edge the grip moves, as its gripkit defines it.
    Handgrip(int role, int kind, QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }
    int role() const { return m_role; }
    int kind() const { return m_kind; }
    bool isPressed() const { return m_pressed; }
    // False for a grip of an unknown kind, which stays hidden.
    bool isUsable() const { return m_usable; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

signals:
    void moved(QPointF newPos);
    void gripped(QPointF pos);
    void released(QPointF pos);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    int m_role;
    int m_kind;
    bool m_pressed = false;
    bool m_usable = true;
    QColor m_color = QColor(Qt::black);
};

} // namespace Nod::Presentation
