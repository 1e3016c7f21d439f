#pragma once

#include "textrects.h"

#include <QBrush>
#include <QLineF>
#include <QMetaType>
#include <QObject>
#include <QPen>
#include <QPolygonF>
#include <QRectF>
#include <QVariant>

class QByteArray;
class QDataStream;

namespace Nod::Domain {

// One mark on a page: a shape in page coordinates (QLineF, QPolygonF, QRectF or TextRects) with an
// outline style, a pen and a brush. A Marker without a shape is the null Marker.
class Marker final
{
    Q_GADGET

public:
    enum OutlineType {
        NoLine = 0,
        AllEdges = 1,
        Underline = 2,
        WaveUnderline = 3,
        Strikeout = 4,
        DoubleStrikeout = 5,
        Ellipse = 6,
    };
    Q_ENUM(OutlineType)

    Marker() = default;
    Marker(const QLineF &line, const QPen &pen);
    Marker(const QPolygonF &polygon, OutlineType outline, const QPen &pen, const QBrush &brush);
    Marker(const TextRects &rects, OutlineType outline, const QPen &pen, const QBrush &brush);
    explicit Marker(const QRectF &rect);
    Marker(const QVariant &shape, OutlineType outline, const QPen &pen, const QBrush &brush);

    // True when the variant holds one of the four shape types.
    static bool isShape(const QVariant &shape);

    bool isNull() const { return !m_shape.isValid(); }
    QVariant shape() const { return m_shape; }
    OutlineType outline() const { return m_outline; }
    void setOutline(OutlineType outline) { m_outline = outline; }
    QPen pen() const { return m_pen; }
    void setPen(const QPen &pen) { m_pen = pen; }
    QBrush brush() const { return m_brush; }
    void setBrush(const QBrush &brush) { m_brush = brush; }

    // A null Marker equals nothing, not even itself.
    bool operator==(const Marker &other) const;
    bool operator!=(const Marker &other) const { return !(*this == other); }

    // Reads one stored record; false, and the null Marker, on malformed input.
    static bool read(QDataStream &stream, Marker &marker);
    QByteArray encode() const;
    // Untrusted bytes; an empty or malformed value gives the null Marker.
    static Marker decode(const QByteArray &bytes);

private:
    QVariant m_shape;
    OutlineType m_outline = NoLine;
    QPen m_pen;
    QBrush m_brush;
};

QDataStream &operator<<(QDataStream &stream, const Marker &marker);
QDataStream &operator>>(QDataStream &stream, Marker &marker);

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::Marker)
