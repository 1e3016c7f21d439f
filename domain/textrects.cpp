#include "textrects.h"

#include "boundedreader.h"

#include <QDataStream>

namespace Nod::Domain {

TextRects::TextRects(const QVector<QRectF> &rects)
    : QVector<QRectF>(rects)
{ }

QPainterPath TextRects::painterPath() const
{
    QPainterPath path;
    for (const QRectF &rect : *this) {
        path.addRect(rect);
    }
    return path;
}

TextRects TextRects::mapped(const QTransform &transform) const
{
    TextRects result;
    result.reserve(size());
    for (const QRectF &rect : *this) {
        result.append(transform.mapRect(rect));
    }
    return result;
}

bool TextRects::read(QDataStream &stream, TextRects &rects)
{
    rects.clear();
    quint32 count = 0;
    if (!BoundedReader::readCount(stream, count, 4 * 8)) {
        return false;
    }
    TextRects result;
    result.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        QRectF rect;
        if (!BoundedReader::readRect(stream, rect)) {
            return false;
        }
        result.append(rect);
    }
    rects = result;
    return true;
}

QDataStream &operator<<(QDataStream &stream, const TextRects &rects)
{
    stream << quint32(rects.size());
    for (const QRectF &rect : rects) {
        stream << rect;
    }
    return stream;
}

QDataStream &operator>>(QDataStream &stream, TextRects &rects)
{
    StreamStatusGuard guard(stream);
    guard.finish(TextRects::read(stream, rects));
    return stream;
}

} // namespace Nod::Domain
