#include "legacyformats.h"

#include <domain/boundedreader.h>

#include <QColor>
#include <QDataStream>
#include <QIODevice>
#include <QLineF>
#include <QVariantList>
#include <QVariantMap>

#include <new>

namespace Nod::Infrastructure::Legacy {

QVariant readVariant(const QByteArray &bytes)
{
    QVariant value;
    Domain::StoredReader stream(bytes);
    try {
        stream >> value;
    } catch (const std::bad_alloc &) {
        // A damaged list count makes Qt reserve far more than exists; the value is simply lost.
        return QVariant();
    }
    return stream.status() == QDataStream::Ok ? value : QVariant();
}

QByteArray writeVariant(const QVariant &value)
{
    QByteArray bytes;
    Domain::StoredWriter stream(&bytes);
    stream << value;
    return bytes;
}

int convertedType(int oldType)
{
    switch (oldType) {
    case 1:
        return 2;
    case 2:
        return 102;
    case 3:
        return 101;
    case 4:
        return 1;
    case 5:
        return 200;
    case 101:
        return 201;
    default:
        return 0;
    }
}

bool isConvertibleShape(int oldType) { return oldType >= 1 && oldType <= 4; }

QVariant convertShape(int oldType, const QVariant &shape)
{
    if (oldType == 1 || oldType == 4) {
        return QVariant(shape.toRectF().normalized());
    }
    if (oldType == 2 || oldType == 3) {
        QVariantList boxes;
        const QVariantList list = shape.toList();
        for (const QVariant &box : list) {
            const QRectF rect = box.toRectF().normalized();
            if (!rect.isEmpty()) {
                boxes << QVariant(rect);
            }
        }
        return QVariant(boxes);
    }
    return shape;
}

QRectF boundsOf(const QVariant &shape)
{
    switch (static_cast<int>(shape.type())) {
    case QVariant::RectF:
        return shape.toRectF().normalized();
    case QVariant::LineF: {
        const QLineF line = shape.toLineF();
        return QRectF(line.p1(), line.p2()).normalized();
    }
    case QVariant::List: {
        QRectF bounds;
        const QVariantList list = shape.toList();
        for (const QVariant &box : list) {
            bounds = bounds.united(box.toRectF().normalized());
        }
        return bounds;
    }
    default:
        return QRectF();
    }
}

QPointF positionOf(const QVariant &shape)
{
    if (shape.type() == QVariant::LineF) {
        return shape.toLineF().p1();
    }
    return boundsOf(shape).topLeft();
}

QPen penOf(const QVariant &style)
{
    const QVariantMap map = style.toMap();
    const double width = map.value(QStringLiteral("width")).toDouble();
    const QColor color = map.value(QStringLiteral("color")).value<QColor>();
    if (width <= 0.0 || !color.isValid()) {
        return QPen(Qt::NoPen);
    }
    QPen pen(color);
    pen.setWidthF(width);
    return pen;
}

QBrush brushOf(const QVariant &style)
{
    const QColor fill = style.toMap().value(QStringLiteral("fill")).value<QColor>();
    return fill.isValid() ? QBrush(fill) : QBrush();
}

} // namespace Nod::Infrastructure::Legacy
