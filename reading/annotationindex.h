#pragma once

#include <domain/annotation.h>
#include <domain/identity.h>
#include <domain/marker.h>

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QVector>

class PagedScene;
class QGraphicsItem;

namespace Base {
class Page;
}

namespace Nod::Application {
class NoteService;
class ResourceService;
} // namespace Nod::Application

namespace Nod::Presentation {
class MarkerItem;
class NoteAreaLayout;
class NoteItem;
} // namespace Nod::Presentation

// Shows a paged scene's annotations on their pages and turns what the user does to them into undo
// commands. Pages are filled when first asked (requestPopulateChildren); the service's signals keep
// the shown items in step, so the first application, undo and redo all take one path. Each
// annotation is shown at most once, and only on a filled page.
class AnnotationIndex : public QObject
{
    Q_OBJECT

public:
    // The scene's undo stack receives the commands; the services default to the registry's.
    explicit AnnotationIndex(PagedScene *scene, Nod::Application::NoteService *notes = nullptr,
        Nod::Application::ResourceService *resources = nullptr);
    ~AnnotationIndex() override;

    // Steps the tab's undo stack keeps; a note change holds two texts, so the memory stays bounded.
    static constexpr int undoLimit = 1000;

    Nod::Presentation::MarkerItem *canvasItem(int annotationId) const;
    Nod::Presentation::NoteItem *noteItem(int annotationId) const;
    Nod::Application::NoteService *noteService() const { return m_notes; }
    bool isShown(int annotationId) const { return m_entries.contains(annotationId); }
    // The annotation of the topmost composite mark whose shape holds the scene point (a canvas or
    // one of its marks), or 0. Tools keep this id, never the item, across a gesture.
    int annotationAt(const QPointF &scenePos) const;
    // The annotation shown by a canvas item or one of its marks, or 0.
    int annotationOf(const QGraphicsItem *item) const;
    int shownCount() const { return m_entries.size(); }
    // Of those, how many are on a page.
    int shownCountOn(int pageIndex) const;
    bool isPopulated(int pageIndex) const;
    Nod::Presentation::NoteAreaLayout *layoutOf(int pageIndex) const;

    // Creates an annotation on a page, appended to the document note's children, and selects it.
    // Position and shapes are in page coordinates (points), the shapes relative to the position.
    // Returns the new id, or 0 when nothing was created.
    int createAnnotation(int pageIndex, const QPointF &position, const Nod::Domain::Marker &canvas,
        const QVector<Nod::Domain::Marker> &markers = {});
    // Appends a mark to an annotation; false when it could not be added.
    bool appendMarker(int annotationId, const Nod::Domain::Marker &marker);
    // Removes an annotation as one undo step, its children moving to the document note.
    bool removeAnnotation(int annotationId);
    bool moveNode(int sourceParentId, int sourceIndex, int destinationParentId, int destinationIndex);

    // Stores the text of every note being edited, as an undo step each. Run before the tab closes,
    // the file reloads, the view switches and an undo or redo runs.
    void commitEditing();
    // Removes the images that no stored note text of the notes touched in this tab names any more.
    // Only where no undo step can need them: when the tab closes.
    int removeUnusedImages();

    // Rebuilds the note areas of the filled pages for the pages' current note-area mode.
    void updateNoteAreas();
    // Fills a page with its annotations (once).
    void populate(Base::Page *page);

signals:
    void editingStarted(Nod::Presentation::NoteItem *note, int id);
    void editingFinished();
    void noteHeightChanged(Nod::Presentation::NoteItem *note);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry
    {
        int pageIndex = -1;
        QPointer<Nod::Presentation::MarkerItem> canvas; // child of the page
        QPointer<Nod::Presentation::NoteItem> note; // child of the page
    };
    struct PageState
    {
        QPointer<Base::Page> page;
        Nod::Presentation::NoteAreaLayout *layout = nullptr; // owned
        QList<int> ids; // in the order they were attached
        bool populated = false;
    };

    void connectPages();
    void clear();
    // readNote: the annotation came without its note text, which is read from the store.
    void attach(const Nod::Domain::Annotation &anno, bool readNote = false);
    void detach(int annotationId);
    void resetLayout(PageState &state);
    void relayout(int pageIndex);
    Nod::Presentation::MarkerItem *makeMark(
        int annotationId, const Nod::Domain::Marker &marker, Base::Page *page, QGraphicsItem *parent);
    bool pushCommand(class QUndoCommand *command);
    bool ours(const Nod::Domain::Annotation &anno) const;

    void on_annotation_shapeEdited(int annotationId);
    void on_marker_shapeEdited(int annotationId, Nod::Presentation::MarkerItem *mark);
    void on_marker_removeRequested(int annotationId, Nod::Presentation::MarkerItem *mark);
    void on_note_contentChanged(int annotationId);

    void on_service_added(const Nod::Domain::Annotation &anno);
    void on_service_removed(const Nod::Domain::Annotation &anno);
    void on_service_canvasChanged(const Nod::Domain::Annotation &anno);
    void on_service_markerInserted(const Nod::Domain::Annotation &anno, int index);
    void on_service_markerRemoved(const Nod::Domain::Annotation &anno, int index);
    void on_service_markerReplaced(const Nod::Domain::Annotation &anno, int index);
    void on_service_noteChanged(const Nod::Domain::Annotation &anno);

    PagedScene *m_scene; // parent
    Nod::Application::NoteService *m_notes; // not owned
    Nod::Application::ResourceService *m_resources; // not owned
    QHash<int, Entry> m_entries; // by annotation id
    QHash<int, PageState> m_pages; // by page index
    QSet<int> m_touchedNotes; // whose images may have lost their last reference
    // Set while stored changes are shown: the items' change signals then are no user edits.
    bool m_applying = false;
};
