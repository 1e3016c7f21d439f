#pragma once

#include "markeritem.h"

#include <QLineF>
#include <QPen>

namespace Nod::Presentation {

// One line of a line group, or one horizontal highlight stroke.
class LineMarkerItem final : public MarkerItem
{
    Q_OBJECT

public:
    enum { Type = UserType + 110 };

    explicit LineMarkerItem(QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }

    QLineF line() const { return m_line; }
    // Ignores a null or unchanged line.
    void setLine(const QLineF &line);
    QPen pen() const { return m_pen; }
    void setPen(const QPen &pen);

    // The line's end point.
    QPointF anchor() const override { return m_line.p2(); }
    QColor color() const override { return m_pen.color(); }

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QPainterPath buildShape() const override;
    Gripkit *createGripkit() override;

private:
    QLineF m_line;
    QPen m_pen;
};

} // namespace Nod::Presentation
