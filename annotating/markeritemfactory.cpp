#include "markeritemfactory.h"

#include "boxesmarkeritem.h"
#include "canvasmarkeritem.h"
#include "linemarkeritem.h"
#include "polygonmarkeritem.h"

#include <QDebug>

namespace Nod::Presentation {

MarkerItem *MarkerItemFactory::create(
    const Domain::Marker &marker, const QTransform &pageTransform, QGraphicsItem *parent)
{
    const QVariant shape = marker.shape();
    if (shape.canConvert<QPolygonF>()) {
        auto *item = new PolygonMarkerItem(parent);
        item->setPolygon(pageTransform.map(shape.value<QPolygonF>()));
        item->setOutline(marker.outline());
        item->setPen(marker.pen());
        item->setBrush(marker.brush());
        return item;
    }
    if (shape.canConvert<Domain::TextRects>()) {
        auto *item = new BoxesMarkerItem(parent);
        item->setBoxes(shape.value<Domain::TextRects>().mapped(pageTransform));
        item->setOutline(marker.outline());
        item->setPen(marker.pen());
        item->setBrush(marker.brush());
        return item;
    }
    if (shape.canConvert<QLineF>()) {
        auto *item = new LineMarkerItem(parent);
        item->setLine(pageTransform.map(shape.value<QLineF>()));
        item->setPen(marker.pen());
        return item;
    }
    if (shape.canConvert<QRectF>()) {
        auto *item = new CanvasMarkerItem(parent);
        item->setRect(pageTransform.mapRect(shape.value<QRectF>()));
        return item;
    }
    qWarning() << "Nod::Presentation::MarkerItemFactory::create"
               << ", unsupported type:" << shape.userType();
    return nullptr;
}

} // namespace Nod::Presentation
