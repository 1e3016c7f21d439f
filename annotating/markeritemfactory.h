#pragma once

#include <domain/marker.h>

#include <QTransform>

class QGraphicsItem;

namespace Nod::Presentation {

class MarkerItem;

// Makes the item that shows a stored Marker on a page.
class MarkerItemFactory final
{
public:
    // The shape is mapped through the page transform (page coordinates to item coordinates). Null,
    // with a logged warning, for a Marker whose shape is of no supported type.
    static MarkerItem *create(
        const Domain::Marker &marker, const QTransform &pageTransform, QGraphicsItem *parent = nullptr);
    // Brings an existing item to the Marker through the item's setters, which ignore unchanged
    // values, so applying what an edit produced announces nothing again. False when the Marker's
    // shape is not of the item's kind.
    static bool apply(MarkerItem *item, const Domain::Marker &marker, const QTransform &pageTransform);
};

} // namespace Nod::Presentation
