#include "recttool.h"

#include <reading/annotationindex.h>
#include <reading/basepage.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>

#include <annotating/markeritem.h>
#include <domain/marker.h>

#include <QApplication>
#include <QMouseEvent>
#include <QRubberBand>

using Nod::Domain::Marker;

namespace DocumentTool {

AbstractRectAnnotation::AbstractRectAnnotation(PDFDocumentView *view)
    : AbstractTool(view)
{
    m_cursor = QCursor(Qt::CrossCursor);
}

AbstractRectAnnotation::~AbstractRectAnnotation() { delete m_rubberBand.data(); }

QPolygonF AbstractRectAnnotation::twelvePointPolygon(const QRectF &rect)
{
    QPolygonF polygon;
    for (const QPointF &corner : { rect.topLeft(), rect.topRight(), rect.bottomRight(), rect.bottomLeft() }) {
        polygon << corner << corner << corner;
    }
    return polygon;
}

void AbstractRectAnnotation::deactivate()
{
    cancel();
    AbstractTool::deactivate();
}

void AbstractRectAnnotation::cancel()
{
    m_pressed = false;
    m_pressPage = -1;
    m_targetId = 0;
    if (m_rubberBand) {
        m_rubberBand->hide();
        m_rubberBand->setGeometry(QRect());
    }
}

void AbstractRectAnnotation::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::LeftButton) {
        cancel();
        return;
    }
    const QSharedPointer<PDFDocumentScene> scene = m_view->pdfScene();
    if (!scene) {
        return;
    }
    m_pressPoint = m_view->mapToScene(event->pos());
    m_pressPage = scene->pageIndexAt(m_pressPoint);
    if (m_pressPage < 0) {
        return;
    }
    m_pressed = true;
    m_pressPosition = event->pos();
    m_targetId = scene->annotations() ? scene->annotations()->annotationAt(m_pressPoint) : 0;
    if (!m_rubberBand) {
        m_rubberBand = new QRubberBand(QRubberBand::Rectangle, m_view->viewport());
    }
    m_rubberBand->setGeometry(QRect(m_pressPosition, QSize()));
    m_rubberBand->show();
    event->accept();
}

void AbstractRectAnnotation::mouseMoveEvent(QMouseEvent *event)
{
    m_view->viewport()->setCursor(m_cursor);
    if (!m_pressed) {
        return;
    }
    if (event->buttons() != Qt::LeftButton) {
        cancel();
        return;
    }
    if ((event->pos() - m_pressPosition).manhattanLength() > QApplication::startDragDistance()) {
        m_rubberBand->setGeometry(QRect(m_pressPosition, event->pos()).normalized());
    }
    event->accept();
}

void AbstractRectAnnotation::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_pressed) {
        return;
    }
    const bool clean = event->button() == Qt::LeftButton && event->buttons() == Qt::NoButton;
    const bool dragged
        = (event->pos() - m_pressPosition).manhattanLength() > QApplication::startDragDistance();
    const QSharedPointer<PDFDocumentScene> scene = m_view->pdfScene();
    // Looked up again: a reload or an undo may have happened while the button was down.
    Base::Page *page = scene ? scene->pageAt(m_pressPage) : nullptr;
    if (clean && dragged && page) {
        const QRectF sceneRect
            = QRectF(m_view->mapToScene(m_pressPosition), m_view->mapToScene(event->pos())).normalized();
        const QRectF itemRect = page->mapFromScene(sceneRect).boundingRect() & page->pageRect();
        if (itemRect.width() > 0 && itemRect.height() > 0) {
            commit(itemRect);
        }
    }
    cancel();
    event->accept();
}

void AbstractRectAnnotation::commit(const QRectF &pageItemRect)
{
    const QSharedPointer<PDFDocumentScene> scene = m_view->pdfScene();
    AnnotationIndex *index = scene->annotations();
    Base::Page *page = scene->pageAt(m_pressPage);
    if (!index || !page) {
        return;
    }
    const QTransform toPoints = page->pageTransform().inverted();
    const QRectF points = toPoints.mapRect(pageItemRect);
    Nod::Presentation::MarkerItem *canvas = m_targetId ? index->canvasItem(m_targetId) : nullptr;
    if (canvas && canvas->parentItem() == page) {
        const QPointF origin = toPoints.map(canvas->pos());
        if (index->appendMarker(m_targetId, makeMarker(twelvePointPolygon(points.translated(-origin))))) {
            return;
        }
    }
    // No mark under the press point, or its annotation went away during the drag.
    index->createAnnotation(
        m_pressPage, points.topLeft(), makeMarker(twelvePointPolygon(points.translated(-points.topLeft()))));
}

Rectangle::Rectangle(PDFDocumentView *view)
    : AbstractRectAnnotation(view)
{ }

void Rectangle::setColor(const QColor &color)
{
    if (color.isValid()) {
        m_pen.setColor(color);
    }
}

Marker Rectangle::makeMarker(const QPolygonF &polygon) const
{
    return Marker(polygon, Marker::AllEdges, m_pen, QBrush(Qt::NoBrush));
}

RectangleHighlight::RectangleHighlight(PDFDocumentView *view)
    : AbstractRectAnnotation(view)
{ }

void RectangleHighlight::setColor(const QColor &color)
{
    if (color.isValid()) {
        QColor translucent(color);
        translucent.setAlpha(128);
        m_brush.setColor(translucent);
    }
}

Marker RectangleHighlight::makeMarker(const QPolygonF &polygon) const
{
    return Marker(polygon, Marker::NoLine, QPen(Qt::NoPen), m_brush);
}

} // namespace DocumentTool
