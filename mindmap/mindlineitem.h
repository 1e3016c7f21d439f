#pragma once

#include <QGraphicsPathItem>

namespace Nod::Presentation {

// The curve from a node's fold button to one of its children.
class MindLineItem final : public QGraphicsPathItem
{
public:
    explicit MindLineItem(QGraphicsItem *parent = nullptr);

    QPointF startPoint() const { return m_start; }
    QPointF endPoint() const { return m_end; }
    // Points equal to the current ones (fuzzily) change nothing.
    void setStartPoint(const QPointF &point);
    void setEndPoint(const QPointF &point);
    void setColor(const QColor &color);

    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    void rebuild();

    QPointF m_start;
    QPointF m_end;
};

} // namespace Nod::Presentation
