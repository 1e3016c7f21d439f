#pragma once

#include <domain/marker.h>

#include <QTransform>

class QGraphicsItem;

namespace Nod::Presentation {

// Turns a mark item back into the Marker it shows.
class MarkerFactory final
{
public:
    // The item's geometry is mapped through `transform`; given the inverse of the page transform, the
    // Marker comes out in page coordinates. The null Marker, with a logged warning, for an item that
    // is not a mark.
    static Domain::Marker create(const QGraphicsItem *item, const QTransform &transform);
};

} // namespace Nod::Presentation
