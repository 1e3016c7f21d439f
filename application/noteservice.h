#pragma once

#include <application/annotationtree.h>
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

class ResourceService;

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
// the document note; each change runs in one transaction and is announced once the outermost
// transaction has committed, and listeners of the advance signals run before any row changes.
// Removing a node removes the images of its note in the same transaction.
class NoteService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoteService)

public:
    // `resources` is not owned and must outlive the service.
    NoteService(std::shared_ptr<Domain::IAnnotationRepository> repository, ResourceService *resources);
    ~NoteService() override;

    // Throws std::runtime_error "annotation not exist, id: <id>".
    Annotation annotation(int id) const;
    // Throws std::runtime_error "document note not exist, id: <documentId>".
    Annotation documentNote(int documentId) const;
    std::optional<Annotation> find(int id) const;
    QVector<Annotation> annotations(int documentId, int pageIndex) const;
    // The same with their note texts left empty, for showing them: a note can be too long to read
    // whole where only its beginning is shown. noteBeginning reads the notes.
    QVector<Annotation> annotationsWithoutNotes(int documentId, int pageIndex) const;
    // The note of an annotation, whole when it is stored in at most wholeUpTo bytes, else about its
    // first beginningBytes; nullopt for an unknown id.
    std::optional<Domain::TextBeginning> noteBeginning(int id, qint64 wholeUpTo, int beginningBytes) const;
    // The document's whole tree, safe to walk whatever the stored children lists hold (see
    // AnnotationTree); throws as documentNote() does.
    AnnotationTree tree(int documentId) const;
    // The same with the note texts left empty, for showing it; noteBeginning reads the notes.
    AnnotationTree treeWithoutNotes(int documentId) const;
    int nextId() const;
    // Rows of the document in the table, its document note included.
    int annotationCount(int documentId);
    // The same for every document that has rows, read at once (the library's shelf asks for all).
    QHash<int, int> annotationCounts();

    void newAnnotation(const NewAnnotation &request);
    bool changeCanvas(int id, const Domain::Marker &canvas);
    bool changeNote(int id, const QString &noteText);
    bool insertMarker(int id, int index, const Domain::Marker &marker);
    bool removeMarker(int id, int index);
    bool replaceMarker(int id, int index, const Domain::Marker &marker);
    void handle(const MoveRequest &request);
    void handle(const RemoveRequest &request);
    // Removes a document's whole tree, its document note and every image of its notes, as one unit:
    // nodes go bottom-up, each announced like a single removal. Nothing happens without a tree.
    void removeDocumentTree(int documentId);

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
    void removeImagesOf(int annotationId);
    void moveWithinParent(const MoveRequest &request);
    void moveAcrossParents(const MoveRequest &request);

    std::shared_ptr<Domain::IAnnotationRepository> m_repository;
    ResourceService *m_resources; // not owned
    QHash<int, int> m_annotationCounts; // document id -> rows
};

} // namespace Nod::Application
