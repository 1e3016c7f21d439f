#pragma once

#include "gripkit.h"

#include <QPolygonF>

namespace Nod::Presentation {

// Eight grips on the 12-point rectangle that the rectangle tools draw. Points 0-2 are the top-left
// corner, 3-5 the top-right, 6-8 the bottom-right and 9-11 the bottom-left, so that each corner grip
// can pull its corner in as a step, the shape of a block of text lines whose first line starts later
// or whose last line ends earlier. Other polygons get no grips.
class PolygonGripkit final : public Gripkit
{
    Q_OBJECT

public:
    explicit PolygonGripkit(MarkerItem *item);

    QPolygonF polygon() const { return m_polygon; }
    // Ignores an empty or unchanged polygon.
    void setPolygon(const QPolygonF &polygon);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void reshape(int role, const QPointF &point) override;
    void placeHandgrips() override;
    QRectF geometryRect() const override { return m_polygon.boundingRect(); }
    bool canReshape() const override { return m_polygon.size() == 12; }

    QPolygonF m_polygon;
};

} // namespace Nod::Presentation
