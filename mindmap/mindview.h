#pragma once

#include <reading/baseview.h>

#include <QPointer>
#include <QSharedPointer>

class QUndoStack;

namespace Backend {
class Document;
}

namespace Nod::Application {
class NoteService;
}

namespace Nod::Presentation {

class MindModel;
class MindScene;
class NoteItem;

// Shows the mind map of one document. Scrolls when a dragged node nears an edge, zooms with
// Ctrl+wheel like the other views, and renders page excerpts only for the nodes it shows, at a
// resolution that follows the zoom.
class MindView : public Base::View
{
    Q_OBJECT

public:
    // Within this many pixels of an edge a drag scrolls the view by autoScrollStep pixels per move.
    static constexpr int autoScrollMargin = 60;
    static constexpr int autoScrollStep = 20;

    explicit MindView(QWidget *parent = nullptr);
    ~MindView() override;

    // Shows the map of a document over the tab's undo stack, replacing any earlier one. The model and
    // the scene (owned by the view) are built when the view is first shown, so that a tab opens without
    // paying for a map nobody looks at. The resolution is the reading view's; without a note service
    // the registry's is used. False when the document has no note tree.
    bool openDocument(const QSharedPointer<Backend::Document> &document, int documentId,
        QUndoStack *undoStack, double resolutionX, double resolutionY,
        Application::NoteService *notes = nullptr);
    void closeDocument();
    // Builds the map now if a document is open and it was not built yet.
    void ensureBuilt();

    // Null until the map is built.
    MindModel *model() const { return m_model; }
    MindScene *mindScene() const { return m_scene; }

    // The map cannot be printed; the user is told so.
    bool print() override;
    // Finds the keyword node after node in tree order, folded branches included, on worker threads:
    // in the page text under the node's canvas, then in its note.
    QFuture<QVector<ISearchable::Result>> search(const QString &keyword) override;
    void completeResults(QVector<ISearchable::Result> &results, const QString &keyword) override;
    // Stores the note being edited, if any, as an undo step (before the view is left or the tab closes).
    void commitEditing();

public slots:
    // Unfolds the way to the annotation's node, selects it and brings it into the middle.
    void jumpToAnnotation(int annoId);

signals:
    void toggleView(int annoId);
    // The annotations shown changed (the scene's contentChanged()).
    void contentChanged();
    // A note of the map started or stopped being edited (the scene's signals, which outlive a reload
    // but not a new document).
    void noteEditingStarted(Nod::Presentation::NoteItem *note, int annotationId);
    void noteEditingFinished();

protected:
    void dragMoveEvent(QDragMoveEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // A result in a folded branch is shown by unfolding the way to it.
    void revealSearchResult(QGraphicsItem *highlight) override;

private:
    struct Pending
    {
        QSharedPointer<Backend::Document> document;
        int documentId = 0;
        QUndoStack *undoStack = nullptr;
        double resolutionX = 0;
        double resolutionY = 0;
        Application::NoteService *notes = nullptr;
    };

    void updateDetailScale();

    Pending m_pending;
    QPointer<MindScene> m_scene; // child
    QPointer<MindModel> m_model; // child
};

} // namespace Nod::Presentation
