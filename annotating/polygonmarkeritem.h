#pragma once

#include "fillablemarkeritem.h"

#include <QPolygonF>

namespace Nod::Presentation {

// A rectangle or area highlight: a polygon, usually the 12-point rectangle whose corners the grips
// can turn into steps.
class PolygonMarkerItem final : public FillableMarkerItem
{
    Q_OBJECT

public:
    enum { Type = UserType + 120 };

    explicit PolygonMarkerItem(QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }

    QPolygonF polygon() const { return m_polygon; }
    // Ignores an empty or unchanged polygon.
    void setPolygon(const QPolygonF &polygon);

    // Point 8 of the 12-point rectangle (its bottom-right), else point 0.
    QPointF anchor() const override;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QPainterPath buildShape() const override;
    Gripkit *createGripkit() override;

private:
    QPolygonF m_polygon;
};

} // namespace Nod::Presentation
