#pragma once

#include "gripkit.h"

#include <QRectF>

namespace Nod::Presentation {

// Eight grips on the corners and edge middles of a rectangle: the canvas of a group of lines.
class RectGripkit final : public Gripkit
{
    Q_OBJECT

public:
    explicit RectGripkit(MarkerItem *item);

    // Always normalised: a corner dragged past the opposite one turns the rectangle over.
    QRectF rect() const { return m_rect.normalized(); }
    // Ignores an invalid or unchanged rectangle.
    void setRect(const QRectF &rect);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void reshape(int role, const QPointF &point) override;
    void placeHandgrips() override;
    void finishReshape() override;
    QRectF geometryRect() const override { return m_rect; }

private:
    // During a drag the grips follow the raw edges, which may cross; the shape shown and handed
    // back is the normalised one.
    QRectF m_rect;
};

} // namespace Nod::Presentation
