#pragma once

#include "fillablemarkeritem.h"

#include <domain/textrects.h>

namespace Nod::Presentation {

// A text highlight or underline: the boxes of a run of text.
class BoxesMarkerItem final : public FillableMarkerItem
{
    Q_OBJECT

public:
    enum { Type = UserType + 130 };

    explicit BoxesMarkerItem(QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }

    Domain::TextRects boxes() const { return m_boxes; }
    // Ignores empty or unchanged boxes.
    void setBoxes(const Domain::TextRects &boxes);

    // The bottom-right corner of the last box.
    QPointF anchor() const override;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    QPainterPath buildShape() const override;

private:
    Domain::TextRects m_boxes;
    mutable QPainterPath m_outline; // the simplified shape, drawn on hover; empty until needed
};

} // namespace Nod::Presentation
