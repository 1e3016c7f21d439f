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

bool MarkerItemFactory::apply(MarkerItem *item, const Domain::Marker &marker, const QTransform &pageTransform)
{
    const QVariant shape = marker.shape();
    switch (item ? item->type() : 0) {
    case PolygonMarkerItem::Type:
        if (shape.userType() == QMetaType::QPolygonF) {
            auto *polygon = static_cast<PolygonMarkerItem *>(item);
            polygon->setPolygon(pageTransform.map(shape.value<QPolygonF>()));
            polygon->setOutline(marker.outline());
            polygon->setPen(marker.pen());
            polygon->setBrush(marker.brush());
            return true;
        }
        break;
    case BoxesMarkerItem::Type:
        if (shape.userType() == qMetaTypeId<Domain::TextRects>()) {
            auto *boxes = static_cast<BoxesMarkerItem *>(item);
            boxes->setBoxes(shape.value<Domain::TextRects>().mapped(pageTransform));
            boxes->setOutline(marker.outline());
            boxes->setPen(marker.pen());
            boxes->setBrush(marker.brush());
            return true;
        }
        break;
    case LineMarkerItem::Type:
        if (shape.userType() == QMetaType::QLineF) {
            auto *line = static_cast<LineMarkerItem *>(item);
            line->setLine(pageTransform.map(shape.value<QLineF>()));
            line->setPen(marker.pen());
            return true;
        }
        break;
    case CanvasMarkerItem::Type:
        if (shape.userType() == QMetaType::QRectF) {
            static_cast<CanvasMarkerItem *>(item)->setRect(pageTransform.mapRect(shape.value<QRectF>()));
            return true;
        }
        break;
    default:
        break;
    }
    qWarning() << "Nod::Presentation::MarkerItemFactory::apply"
               << ", shape does not fit the item:" << shape.userType();
    return false;
}

} // namespace Nod::Presentation
