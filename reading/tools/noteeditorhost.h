#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QGraphicsView;

namespace Nod::Application {
class TagService;
}

namespace Nod::Presentation {

class EditorToolBar;
class NoteItem;

// Shows the note editor's tool bar over a view while one of the view's notes is being edited: the
// bar is attached to the note, follows the character format at its cursor, and sits just above
// the note (below it when there is no room), inside the viewport. The bar stays while another
// window has the focus (a dialog of its own for images or tags, another program): the note gets
// the focus back afterwards.
class NoteEditorHost final : public QObject
{
    Q_OBJECT

public:
    explicit NoteEditorHost(QGraphicsView *view, Application::TagService *tags = nullptr);

    // Made on first use: most documents are read without editing a note.
    EditorToolBar *toolBar();
    NoteItem *note() const;

    void startEditing(NoteItem *note, int annotationId);
    void finishEditing();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void hide();

    QGraphicsView *m_view; // parent
    Application::TagService *m_tags; // not owned
    EditorToolBar *m_bar = nullptr; // child of the view's viewport
    QPointer<NoteItem> m_note;
    QMetaObject::Connection m_formatConnection;
    QMetaObject::Connection m_heightConnection;
};

} // namespace Nod::Presentation
