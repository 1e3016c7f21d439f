#include "markerfactory.h"

#include "boxesmarkeritem.h"
#include "canvasmarkeritem.h"
#include "linemarkeritem.h"
#include "polygonmarkeritem.h"

#include <QDebug>

namespace Nod::Presentation {

Domain::Marker MarkerFactory::create(const QGraphicsItem *item, const QTransform &transform)
{
    switch (item ? item->type() : 0) {
    case LineMarkerItem::Type: {
        const auto *line = static_cast<const LineMarkerItem *>(item);
        return Domain::Marker(transform.map(line->line()), line->pen());
    }
    case PolygonMarkerItem::Type: {
        const auto *polygon = static_cast<const PolygonMarkerItem *>(item);
        return Domain::Marker(
            transform.map(polygon->polygon()), polygon->outline(), polygon->pen(), polygon->brush());
    }
    case BoxesMarkerItem::Type: {
        const auto *boxes = static_cast<const BoxesMarkerItem *>(item);
        return Domain::Marker(
            boxes->boxes().mapped(transform), boxes->outline(), boxes->pen(), boxes->brush());
    }
    case CanvasMarkerItem::Type:
        return Domain::Marker(transform.mapRect(static_cast<const CanvasMarkerItem *>(item)->rect()));
    default:
        qWarning() << "Nod::Presentation::MarkerFactory::create"
                   << ", unsupported type:" << (item ? item->type() : 0);
        return Domain::Marker();
    }
}

} // namespace Nod::Presentation
