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
};

} // namespace Nod::Presentation
