#pragma once

#include "marker.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QVector>

namespace Nod::Domain {

// One node of a document's annotation tree. The root (the document note) has parent id 0 and page -1;
// every other node is a mark on a page with its note. The properties are the columns of the table
// `Annotation`; `position`, `canvas`, `markers` and `children` are encoded.
class Annotation final
{
    Q_GADGET
    Q_PROPERTY(int id READ id WRITE setId)
    Q_PROPERTY(int documentId READ documentId WRITE setDocumentId)
    Q_PROPERTY(int pageIndex READ pageIndex WRITE setPageIndex)
    Q_PROPERTY(QByteArray position READ positionData WRITE setPositionData)
    Q_PROPERTY(QByteArray canvas READ canvasData WRITE setCanvasData)
    Q_PROPERTY(QByteArray markers READ markersData WRITE setMarkersData)
    Q_PROPERTY(QString noteText READ noteText WRITE setNoteText)
    Q_PROPERTY(QDateTime createdAt READ createdAt WRITE setCreatedAt)
    Q_PROPERTY(int parentId READ parentId WRITE setParentId)
    Q_PROPERTY(QByteArray children READ childrenData WRITE setChildrenData)
    Q_PROPERTY(bool isFolded READ isFolded WRITE setFolded)

public:
    // All zero and empty; the form the repository fills from a row.
    Annotation() = default;
    // The document note: page -1, canvas of the rectangle (0, 0, 1, 1), created now.
    Annotation(int id, int documentId, int parentId);
    // A page annotation without a canvas, created now.
    Annotation(int id, int documentId, int pageIndex, const QPointF &position, int parentId);

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    int documentId() const { return m_documentId; }
    void setDocumentId(int id) { m_documentId = id; }
    int pageIndex() const { return m_pageIndex; }
    void setPageIndex(int pageIndex) { m_pageIndex = pageIndex; }
    QPointF position() const { return m_position; }
    void setPosition(const QPointF &position) { m_position = position; }

    Marker canvas() const { return m_canvas; }
    // A null Marker leaves the canvas unchanged.
    void setCanvas(const Marker &canvas);

    int markerCount() const { return m_markers.size(); }
    QVector<Marker> markers() const { return m_markers; }
    // The null Marker for an index out of range.
    Marker marker(int index) const;
    // A null Marker is not inserted; the index is clamped to the list.
    void insertMarker(int index, const Marker &marker);
    // A null Marker or an index out of range leaves the list unchanged.
    void replaceMarker(int index, const Marker &marker);
    void removeMarker(int index);

    QString noteText() const { return m_noteText; }
    void setNoteText(const QString &text) { m_noteText = text; }
    QDateTime createdAt() const { return m_createdAt; }
    void setCreatedAt(const QDateTime &at) { m_createdAt = at; }
    int parentId() const { return m_parentId; }
    void setParentId(int id) { m_parentId = id; }
    QVector<int> children() const { return m_children; }
    void setChildren(const QVector<int> &children) { m_children = children; }
    bool isFolded() const { return m_isFolded; }
    void setFolded(bool folded) { m_isFolded = folded; }

    // Encoded columns. The setters take untrusted bytes and fall back to the defaults on bad input.
    QByteArray positionData() const;
    void setPositionData(const QByteArray &bytes);
    QByteArray canvasData() const;
    void setCanvasData(const QByteArray &bytes);
    QByteArray markersData() const;
    void setMarkersData(const QByteArray &bytes);
    QByteArray childrenData() const;
    void setChildrenData(const QByteArray &bytes);

private:
    int m_id = 0;
    int m_documentId = 0;
    int m_pageIndex = -1; // a row without a page (NULL) is a document note
    QPointF m_position;
    Marker m_canvas;
    QVector<Marker> m_markers;
    QString m_noteText;
    QDateTime m_createdAt;
    int m_parentId = 0;
    QVector<int> m_children;
    bool m_isFolded = false;
};

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::Annotation)
