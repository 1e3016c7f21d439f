#pragma once

#include "gripkit.h"

#include <QLineF>

namespace Nod::Presentation {

// Two grips on the ends of a line.
class LineGripkit final : public Gripkit
{
    Q_OBJECT

public:
    enum Role { StartPoint = 8, EndPoint = 9 };

    explicit LineGripkit(MarkerItem *item);

    QLineF line() const { return m_line; }
    // Ignores a null or unchanged line.
    void setLine(const QLineF &line);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void reshape(int role, const QPointF &point) override;
    void placeHandgrips() override;
    QRectF geometryRect() const override { return QRectF(m_line.p1(), m_line.p2()); }

private:
    QLineF m_line;
};

} // namespace Nod::Presentation
