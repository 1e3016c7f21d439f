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

    // Builds the model and the scene of a document over the tab's undo stack (both owned by the view,
    // replacing any earlier ones) and shows them. The resolution is the reading view's; without a
    // note service the registry's is used. False when the document has no note tree.
    bool openDocument(const QSharedPointer<Backend::Document> &document, int documentId,
        QUndoStack *undoStack, double resolutionX, double resolutionY,
        Application::NoteService *notes = nullptr);
    void closeDocument();

    MindModel *model() const { return m_model; }
    MindScene *mindScene() const { return m_scene; }

    // The map cannot be printed; the user is told so.
    bool print() override;
    // Finds the keyword in the notes, node after node in tree order, one result per occurrence.
    QFuture<QVector<ISearchable::Result>> search(const QString &keyword) override;
    // Stores the note being edited, if any, as an undo step (before the view is left or the tab closes).
    void commitEditing();

public slots:
    // Unfolds the way to the annotation's node, selects it and brings it into the middle.
    void jumpToAnnotation(int annoId);

signals:
    void toggleView(int annoId);

protected:
    void dragMoveEvent(QDragMoveEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // A result in a folded branch is shown by unfolding the way to it.
    void revealSearchResult(QGraphicsItem *highlight) override;

private:
    void updateDetailScale();

    QPointer<MindScene> m_scene; // child
    QPointer<MindModel> m_model; // child
};

} // namespace Nod::Presentation
