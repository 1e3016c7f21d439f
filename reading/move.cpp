#include "move.h"

#include <reading/pdfdocumentview.h>

#include <QMouseEvent>
#include <QScrollBar>

namespace DocumentTool {

Move::Move(PDFDocumentView *view)
    : AbstractTool(view)
{
    m_cursor = QCursor(Qt::OpenHandCursor);
}

void Move::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::LeftButton) {
        return;
    }
    m_dragging = true;
    m_view->viewport()->setCursor(m_closedHandCursor);
    m_lastPosition = event->pos();
    event->accept();
}

void Move::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        m_view->viewport()->setCursor(m_cursor);
        return;
    }
    QScrollBar *horizontal = m_view->horizontalScrollBar();
    QScrollBar *vertical = m_view->verticalScrollBar();
    horizontal->setValue(horizontal->value() + m_lastPosition.x() - event->pos().x());
    vertical->setValue(vertical->value() + m_lastPosition.y() - event->pos().y());
    m_lastPosition = event->pos();
    event->accept();
}

void Move::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::NoButton) {
        return;
    }
    m_view->viewport()->setCursor(m_cursor);
    m_dragging = false;
}

} // namespace DocumentTool
