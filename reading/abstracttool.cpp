#include "abstracttool.h"

#include <reading/pdfdocumentview.h>

#include <QGraphicsScene>

namespace DocumentTool {

AbstractTool::AbstractTool(PDFDocumentView *view)
    : QObject(view)
    , m_view(view)
{ }

void AbstractTool::activate()
{
    if (m_view && m_view->viewport()) {
        m_view->viewport()->setCursor(m_cursor);
    }
}

void AbstractTool::deactivate()
{
    if (!m_view) {
        return;
    }
    if (m_view->viewport()) {
        m_view->viewport()->unsetCursor();
    }
    if (m_view->scene()) {
        m_view->scene()->clearSelection();
    }
}

void AbstractTool::keyPressEvent(QKeyEvent *) { }
void AbstractTool::keyReleaseEvent(QKeyEvent *) { }
void AbstractTool::mouseDoubleClickEvent(QMouseEvent *) { }
void AbstractTool::mousePressEvent(QMouseEvent *) { }
void AbstractTool::mouseMoveEvent(QMouseEvent *) { }
void AbstractTool::mouseReleaseEvent(QMouseEvent *) { }
void AbstractTool::contextMenuEvent(QContextMenuEvent *) { }
void AbstractTool::paintEvent(QPainter *) { }
void AbstractTool::setColor(const QColor &) { }

} // namespace DocumentTool
