#pragma once

#include "markeritem.h"

#include <QVector>

namespace Nod::Presentation {

// A mark that holds further marks of the same annotation as ordered child items: the canvas of an
// annotation, whose children are the annotation's markers in their stored order.
class CompositeMarkerItem : public MarkerItem
{
    Q_OBJECT

public:
    explicit CompositeMarkerItem(QGraphicsItem *parent = nullptr);
    ~CompositeMarkerItem() override;

    int childCount() const { return m_children.size(); }
    MarkerItem *childAt(int index) const { return m_children.value(index); }
    // -1 when the item is not one of the children.
    int indexOf(const MarkerItem *child) const;
    // Makes the item a child item and puts it at the index (clamped to the ends).
    void insertChild(int index, MarkerItem *child);

private:
    void forget(QObject *child);

    QVector<MarkerItem *> m_children; // child items, deleted with this item
};

} // namespace Nod::Presentation
