#include "marker.h"

#include "boundedreader.h"
#include "metatypes.h"

#include <QByteArray>
#include <QDataStream>
#include <QHash>

namespace Nod::Domain {

namespace {

enum Key : qint32 { ShapeKey = 1, OutlineKey = 2, PenKey = 3, BrushKey = 4 };

// The shape types in the order the item factory tries them; anything else is no shape.
QVariant asShape(const QVariant &shape)
{
    if (Marker::isShape(shape)) {
        return shape;
    }
    for (const int type : { int(QMetaType::QPolygonF), qMetaTypeId<TextRects>(), int(QMetaType::QRectF),
             int(QMetaType::QLineF) }) {
        QVariant converted = shape;
        if (shape.canConvert(type) && converted.convert(type)) {
            return converted;
        }
    }
    return QVariant();
}

} // namespace

Marker::Marker(const QLineF &line, const QPen &pen)
    : m_shape(QVariant::fromValue(line))
    , m_pen(pen)
{ }

Marker::Marker(const QPolygonF &polygon, OutlineType outline, const QPen &pen, const QBrush &brush)
    : m_shape(QVariant::fromValue(polygon))
    , m_outline(outline)
    , m_pen(pen)
    , m_brush(brush)
{ }

Marker::Marker(const TextRects &rects, OutlineType outline, const QPen &pen, const QBrush &brush)
    : m_shape(QVariant::fromValue(rects))
    , m_outline(outline)
    , m_pen(pen)
    , m_brush(brush)
{ }

Marker::Marker(const QRectF &rect)
    : m_shape(QVariant::fromValue(rect))
    , m_pen(Qt::NoPen)
    , m_brush(Qt::NoBrush)
{ }

Marker::Marker(const QVariant &shape, OutlineType outline, const QPen &pen, const QBrush &brush)
    : m_shape(asShape(shape))
    , m_outline(outline)
    , m_pen(pen)
    , m_brush(brush)
{ }

bool Marker::isShape(const QVariant &shape)
{
    const int type = shape.userType();
    return type == QMetaType::QPolygonF || type == qMetaTypeId<TextRects>() || type == QMetaType::QRectF
        || type == QMetaType::QLineF;
}

bool Marker::operator==(const Marker &other) const
{
    if (isNull() || other.isNull() || m_shape.userType() != other.m_shape.userType()) {
        return false;
    }
    // Compared by value here: a QVariant of an unregistered comparator would compare addresses.
    bool sameShape = false;
    switch (m_shape.userType()) {
    case QMetaType::QPolygonF:
        sameShape = m_shape.value<QPolygonF>() == other.m_shape.value<QPolygonF>();
        break;
    case QMetaType::QRectF:
        sameShape = m_shape.toRectF() == other.m_shape.toRectF();
        break;
    case QMetaType::QLineF:
        sameShape = m_shape.toLineF() == other.m_shape.toLineF();
        break;
    default:
        sameShape = m_shape.value<TextRects>() == other.m_shape.value<TextRects>();
        break;
    }
    return sameShape && m_outline == other.m_outline && m_pen == other.m_pen && m_brush == other.m_brush;
}

bool Marker::read(QDataStream &stream, Marker &marker)
{
    marker = Marker();
    QHash<qint32, QVariant> record;
    if (!BoundedReader::readRecord(stream, record, BoundedReader::Types::Values)) {
        return false;
    }
    Marker result;
    const QVariant shape = record.value(ShapeKey);
    if (isShape(shape)) {
        result.m_shape = shape;
    }
    int outline = NoLine;
    if (BoundedReader::toInt(record.value(OutlineKey), outline) && outline >= NoLine && outline <= Ellipse) {
        result.m_outline = OutlineType(outline);
    }
    const QVariant pen = record.value(PenKey);
    if (pen.userType() == QMetaType::QPen) {
        result.m_pen = pen.value<QPen>();
    }
    const QVariant brush = record.value(BrushKey);
    if (brush.userType() == QMetaType::QBrush) {
        result.m_brush = brush.value<QBrush>();
    }
    marker = result;
    return true;
}

QByteArray Marker::encode() const
{
    QByteArray bytes;
    StoredWriter stream(&bytes);
    stream << *this;
    return bytes;
}

Marker Marker::decode(const QByteArray &bytes)
{
    Marker marker;
    if (!bytes.isEmpty()) {
        StoredReader stream(bytes);
        read(stream, marker);
    }
    return marker;
}

QDataStream &operator<<(QDataStream &stream, const Marker &marker)
{
    // A TextRects shape is written as a QVariant of its registered type.
    registerMetaTypes();
    QHash<qint32, QVariant> record;
    record.insert(ShapeKey, marker.shape());
    record.insert(OutlineKey, int(marker.outline()));
    record.insert(PenKey, QVariant::fromValue(marker.pen()));
    record.insert(BrushKey, QVariant::fromValue(marker.brush()));
    return stream << record;
}

QDataStream &operator>>(QDataStream &stream, Marker &marker)
{
    StreamStatusGuard guard(stream);
    guard.finish(Marker::read(stream, marker));
    return stream;
}

} // namespace Nod::Domain
