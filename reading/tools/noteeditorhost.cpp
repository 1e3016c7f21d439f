#include "noteeditorhost.h"

#include <annotating/noteitem.h>
#include <editor/editortoolbar.h>

#include <QApplication>
#include <QEvent>
#include <QGraphicsView>
#include <QScrollBar>

namespace Nod::Presentation {

namespace {

constexpr int Gap = 4; // between the bar and the note

} // namespace

NoteEditorHost::NoteEditorHost(QGraphicsView *view, Application::TagService *tags)
    : QObject(view)
    , m_view(view)
    , m_tags(tags)
{
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &NoteEditorHost::place);
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, &NoteEditorHost::place);
    view->viewport()->installEventFilter(this);
}

EditorToolBar *NoteEditorHost::toolBar()
{
    if (!m_bar) {
        m_bar = new EditorToolBar(m_view->viewport());
        m_bar->setObjectName(QStringLiteral("NoteEditorToolBar"));
        m_bar->setTagService(m_tags);
        m_bar->hide();
    }
    return m_bar;
}

NoteItem *NoteEditorHost::note() const { return m_note; }

void NoteEditorHost::startEditing(NoteItem *note, int annotationId)
{
    if (!note) {
        return;
    }
    toolBar();
    if (m_note != note) {
        disconnect(m_formatConnection);
        disconnect(m_heightConnection);
        m_note = note;
        m_formatConnection
            = connect(note, &NoteItem::currentCharFormatChanged, m_bar, &EditorToolBar::updateFormatState);
        m_heightConnection = connect(note, &NoteItem::heightChanged, this, &NoteEditorHost::place);
        // The note goes with its annotation (a removal, an undo, a reload).
        connect(note, &QObject::destroyed, this, &NoteEditorHost::hide, Qt::UniqueConnection);
    }
    m_bar->attach(note, annotationId);
    m_bar->adjustSize();
    place();
    m_bar->show();
    m_bar->raise();
}

void NoteEditorHost::finishEditing()
{
    // The focus left for another window: a dialog opened from the bar (images, tags), which gives
    // the focus back to the note, or another program, after which the scene refocuses the note.
    if (m_note && (QApplication::activeModalWidget() || QApplication::activeWindow() != m_view->window())) {
        return;
    }
    hide();
}

void NoteEditorHost::hide()
{
    disconnect(m_formatConnection);
    disconnect(m_heightConnection);
    m_note = nullptr;
    if (m_bar) {
        m_bar->detach();
        m_bar->hide();
    }
}

void NoteEditorHost::place()
{
    if (!m_note || !m_bar || !m_bar->isAttached()) {
        return;
    }
    const QRect note = m_view->mapFromScene(m_note->sceneBoundingRect()).boundingRect();
    const QRect area = m_view->viewport()->rect();
    const QSize size = m_bar->sizeHint();
    int y = note.top() - Gap - size.height();
    if (y < area.top()) {
        y = note.bottom() + Gap;
    }
    const int x = qBound(area.left(), note.left(), qMax(area.left(), area.right() - size.width()));
    y = qBound(area.top(), y, qMax(area.top(), area.bottom() - size.height()));
    m_bar->setGeometry(QRect(QPoint(x, y), size));
}

bool NoteEditorHost::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Resize) {
        place();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace Nod::Presentation
