#pragma once

#include <domain/annotation.h>
#include <domain/iannotationrepository.h>
#include <domain/identity.h>
#include <domain/marker.h>

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointF>
#include <QVector>

#include <memory>
#include <optional>

namespace Nod::Application {

using Domain::Annotation;

// Everything needed to create one node; the undo command of a creation keeps it so that undo and
// redo re-create the same node with the same id.
struct NewAnnotation
{
    int id = 0;
    int documentId = 0;
    int pageIndex = 0;
    QPointF position;
    Domain::Marker canvas;
    QVector<Domain::Marker> markers;
    QString noteText;
    QDateTime createdAt;
    int parentId = 0;
    int index = 0; // place among the parent's children
};

struct MoveRequest
{
    int sourceParentId = 0;
    int sourceIndex = 0;
    int destinationParentId = 0;
    int destinationIndex = 0;
};

struct RemoveRequest
{
    int index = 0; // place among the parent's children
    int parentId = 0;
};

// The only writer of annotations. Every annotation of a document is a node of one tree whose root is
// the document note; each change runs in one transaction and is announced afterwards, and listeners
// of the advance signals run before any row changes.
class NoteService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoteService)

public:
    explicit NoteService(std::shared_ptr<Domain::IAnnotationRepository> repository);
    ~NoteService() override;

    // Throws std::runtime_error "annotation not exist, id: <id>".
    Annotation annotation(int id) const;
    // Throws std::runtime_error "document note not exist, id: <documentId>".
    Annotation documentNote(int documentId) const;
    std::optional<Annotation> find(int id) const;
    QVector<Annotation> annotations(int documentId, int pageIndex) const;
    int nextId() const;
    // Rows of the document in the table, its document note included.
    int annotationCount(int documentId);

    void newAnnotation(const NewAnnotation &request);
    bool changeCanvas(int id, const Domain::Marker &canvas);
    bool changeNote(int id, const QString &noteText);
    bool insertMarker(int id, int index, const Domain::Marker &marker);
    bool removeMarker(int id, int index);
    bool replaceMarker(int id, int index, const Domain::Marker &marker);
    void handle(const MoveRequest &request);
    void handle(const RemoveRequest &request);

signals:
    void added(Annotation anno, int index, int parentId);
    void aboutToBeRemoved(Annotation anno, int index, Domain::Identity parentId);
    void removed(Annotation anno, int index, Domain::Identity parentId);
    void canvasChanged(Annotation anno);
    void markerInserted(Annotation anno, int index);
    void markerAboutToBeRemoved(Annotation anno, int index);
    void markerRemoved(Annotation anno, int index);
    void markerReplaced(Annotation anno, int index);
    void noteChanged(Annotation anno);
    void aboutToBeMoved(
        Annotation sourceParent, int sourceIndex, Annotation destinationParent, int destinationIndex);
    void moved(Annotation sourceParent, int sourceIndex, Annotation destinationParent, int destinationIndex);

public slots:
    void on_added(Annotation anno, int index, int parentId);
    void on_removed(Annotation anno, int index, int parentId);

private:
    int countRows(int documentId) const;
    void moveWithinParent(const MoveRequest &request);
    void moveAcrossParents(const MoveRequest &request);

    std::shared_ptr<Domain::IAnnotationRepository> m_repository;
    QHash<int, int> m_annotationCounts; // document id -> rows
};

} // namespace Nod::Application
