#pragma once

#include <QBrush>
#include <QByteArray>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QVariant>

// The value formats of the oldest table generations (annotations_v5 and markers_v1), which only the
// first migrations read. The program that wrote them is long gone; these are the formats this
// program accepts:
//
// - `shape`: one QVariant written with a QDataStream of the default version. Old types 1 (area
//   highlight) and 4 (rectangle) hold a QRectF; old types 2 (text highlight) and 3 (text underline)
//   hold a QVariantList of QRectF, the boxes of the marked characters; old types 5 (horizontal line)
//   and 101 (horizontal highlight) hold a QLineF and are carried over unconverted.
// - `style`: one QVariant holding a QVariantMap with "color" (QColor, the outline or text colour),
//   "width" (double, the outline width; 0 or missing means no outline) and "fill" (QColor, the fill;
//   missing or invalid means no fill).
//
// The next generation (`annotations`, `markers`) keeps position, shape, pen and brush as separate
// QVariants: position a QPointF, shape a QRectF, a QVariantList of QRectF or the unconverted
// value, pen a QPen, brush a QBrush.
namespace Nod::Infrastructure::Legacy {

QVariant readVariant(const QByteArray &bytes);
QByteArray writeVariant(const QVariant &value);

// The type of the next generation for an old type; 0 for an unknown one.
int convertedType(int oldType);
bool isConvertibleShape(int oldType); // old types 1 to 4

// Normalised rectangles and boxes with empty boxes dropped; anything else is returned unchanged.
QVariant convertShape(int oldType, const QVariant &shape);
// Top-left of the shape's bounding rectangle, p1 of a line, (0, 0) for anything unknown.
QPointF positionOf(const QVariant &shape);
QRectF boundsOf(const QVariant &shape);
QPen penOf(const QVariant &style);
QBrush brushOf(const QVariant &style);

} // namespace Nod::Infrastructure::Legacy
