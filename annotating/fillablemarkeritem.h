#pragma once

#include "compositemarkeritem.h"

#include <domain/marker.h>

#include <QBrush>
#include <QPen>

namespace Nod::Presentation {

// A composite mark with an outline style, a pen and a brush: highlights, underlines, rectangles.
class FillableMarkerItem : public CompositeMarkerItem
{
    Q_OBJECT

public:
    explicit FillableMarkerItem(QGraphicsItem *parent = nullptr);

    Domain::Marker::OutlineType outline() const { return m_outline; }
    void setOutline(Domain::Marker::OutlineType outline);
    QPen pen() const { return m_pen; }
    void setPen(const QPen &pen);
    QBrush brush() const { return m_brush; }
    void setBrush(const QBrush &brush);

    // The pen colour when there is a pen, else the brush colour.
    QColor color() const override;

private:
    Domain::Marker::OutlineType m_outline = Domain::Marker::NoLine;
    QPen m_pen = QPen(Qt::NoPen);
    QBrush m_brush = QBrush(Qt::NoBrush);
};

} // namespace Nod::Presentation
