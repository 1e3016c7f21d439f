#include "annotation.h"

#include "boundedreader.h"

#include <QDataStream>

namespace Nod::Domain {

Annotation::Annotation(int id, int documentId, int parentId)
    : m_id(id)
    , m_documentId(documentId)
    , m_pageIndex(-1)
    , m_canvas(QRectF(0, 0, 1, 1))
    , m_createdAt(QDateTime::currentDateTime())
    , m_parentId(parentId)
{ }

Annotation::Annotation(int id, int documentId, int pageIndex, const QPointF &position, int parentId)
    : m_id(id)
    , m_documentId(documentId)
    , m_pageIndex(pageIndex)
    , m_position(position)
    , m_createdAt(QDateTime::currentDateTime())
    , m_parentId(parentId)
{ }

void Annotation::setCanvas(const Marker &canvas)
{
    if (!canvas.isNull()) {
        m_canvas = canvas;
    }
}

Marker Annotation::marker(int index) const
{
    return index >= 0 && index < m_markers.size() ? m_markers.at(index) : Marker();
}

void Annotation::insertMarker(int index, const Marker &marker)
{
    if (marker.isNull()) {
        return;
    }
    m_markers.insert(qBound(0, index, m_markers.size()), marker);
}

void Annotation::replaceMarker(int index, const Marker &marker)
{
    if (!marker.isNull() && index >= 0 && index < m_markers.size()) {
        m_markers[index] = marker;
    }
}

void Annotation::removeMarker(int index)
{
    if (index >= 0 && index < m_markers.size()) {
        m_markers.remove(index);
    }
}

QByteArray Annotation::positionData() const
{
    QByteArray bytes;
    StoredWriter stream(&bytes);
    stream << m_position;
    return bytes;
}

void Annotation::setPositionData(const QByteArray &bytes)
{
    m_position = QPointF();
    StoredReader stream(bytes);
    QPointF position;
    if (BoundedReader::readPoint(stream, position)) {
        m_position = position;
    }
}

QByteArray Annotation::canvasData() const { return m_canvas.isNull() ? QByteArray() : m_canvas.encode(); }

void Annotation::setCanvasData(const QByteArray &bytes)
{
    // An empty or unreadable value keeps the canvas the annotation was constructed with.
    setCanvas(Marker::decode(bytes));
}

QByteArray Annotation::markersData() const
{
    if (m_markers.isEmpty()) {
        return QByteArray();
    }
    QByteArray bytes;
    StoredWriter stream(&bytes);
    stream << qint32(m_markers.size());
    for (const Marker &marker : m_markers) {
        stream << marker;
    }
    return bytes;
}

void Annotation::setMarkersData(const QByteArray &bytes)
{
    m_markers.clear();
    if (bytes.isEmpty()) {
        return;
    }
    StoredReader stream(bytes);
    qint32 count = 0;
    // A record holds at least its pair count.
    if (!BoundedReader::readInt(stream, count) || count < 0
        || qint64(count) * 4 > BoundedReader::remaining(stream)) {
        return;
    }
    QVector<Marker> markers;
    for (qint32 i = 0; i < count; ++i) {
        Marker marker;
        if (!Marker::read(stream, marker)) {
            return;
        }
        // A mark without a shape cannot be drawn or edited; it is dropped rather than kept as a hole.
        if (!marker.isNull()) {
            markers.append(marker);
        }
    }
    m_markers = markers;
}

QByteArray Annotation::childrenData() const
{
    QByteArray bytes;
    StoredWriter stream(&bytes);
    stream << quint32(m_children.size());
    for (const int child : m_children) {
        stream << qint32(child);
    }
    return bytes;
}

void Annotation::setChildrenData(const QByteArray &bytes)
{
    m_children.clear();
    StoredReader stream(bytes);
    quint32 count = 0;
    if (!BoundedReader::readCount(stream, count, 4)) {
        return;
    }
    QVector<int> children;
    children.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        qint32 child = 0;
        if (!BoundedReader::readInt(stream, child)) {
            return;
        }
        children.append(child);
    }
    m_children = children;
}

} // namespace Nod::Domain
