#pragma once

#include "compositemarkeritem.h"

namespace Nod::Presentation {

// The canvas of a group of lines: a plain rectangle around them, with the lines as its children.
class CanvasMarkerItem final : public CompositeMarkerItem
{
    Q_OBJECT

public:
    enum { Type = UserType + 140 };

    explicit CanvasMarkerItem(QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }

    QRectF rect() const { return m_rect; }
    // Ignores an invalid rectangle and one whose coordinates all equal the current ones.
    void setRect(const QRectF &rect);

    // The bottom-right corner of the rectangle.
    QPointF anchor() const override;
    QColor color() const override { return QColor(Qt::gray); }

    QRectF boundingRect() const override { return m_rect; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    Gripkit *createGripkit() override;

private:
    QRectF m_rect;
};

} // namespace Nod::Presentation
