#pragma once

#include <QMetaType>
#include <QPainterPath>
#include <QRectF>
#include <QTransform>
#include <QVector>

class QDataStream;

namespace Nod::Domain {

// The boxes of a run of selected text on one page, in page coordinates.
class TextRects final : public QVector<QRectF>
{
public:
    using QVector<QRectF>::QVector;
    TextRects() = default;
    explicit TextRects(const QVector<QRectF> &rects);

    QPainterPath painterPath() const;
    TextRects mapped(const QTransform &transform) const;

    // Reads the stored form; false, and an empty value, on malformed input.
    static bool read(QDataStream &stream, TextRects &rects);
};

QDataStream &operator<<(QDataStream &stream, const TextRects &rects);
QDataStream &operator>>(QDataStream &stream, TextRects &rects);

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::TextRects)
