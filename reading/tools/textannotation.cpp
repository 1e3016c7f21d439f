#include "textannotation.h"

#include <reading/annotationindex.h>
#include <reading/basepage.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>

#include <annotating/markeritem.h>
#include <backend/page.h>

#include <QMouseEvent>

namespace DocumentTool {

using Nod::Domain::Marker;
using Nod::Domain::TextRects;

namespace {

TextRects translated(const TextRects &boxes, const QPointF &origin)
{
    TextRects out;
    out.reserve(boxes.size());
    for (const QRectF &box : boxes) {
        out.append(box.translated(-origin));
    }
    return out;
}

} // namespace

void AbstractTextAnnotation::mouseReleaseEvent(QMouseEvent *event)
{
    Select::mouseReleaseEvent(event);
    if (!isGestureRelease(event) || selection().isEmpty()) {
        return;
    }
    const TextSelection committed = selection();
    clearSelection();
    commit(committed, pressPoint());
}

int AbstractTextAnnotation::commit(const TextSelection &selection, const QPointF &pressScenePos)
{
    const QSharedPointer<PDFDocumentScene> scene = m_view ? m_view->pdfScene() : nullptr;
    AnnotationIndex *index = scene ? scene->annotations() : nullptr;
    Base::Page *page = scene ? scene->pageAt(selection.page) : nullptr;
    if (!index || !page || selection.isEmpty()) {
        return 0;
    }
    // A selection made before a reload names boxes of a page that is gone.
    const QSharedPointer<Backend::Page> backend = page->page().toStrongRef();
    if (!backend || backend->uid() != selection.pageUid) {
        return 0;
    }
    TextRects boxes;
    QRectF bounds;
    for (const QRectF &rect : selection.rects) {
        if (!rect.isEmpty()) {
            boxes.append(rect);
            bounds |= rect;
        }
    }
    if (boxes.isEmpty()) {
        return 0;
    }
    const int target = index->annotationAt(pressScenePos);
    const Nod::Presentation::MarkerItem *canvas = target ? index->canvasItem(target) : nullptr;
    if (canvas && canvas->parentItem() == page) {
        return appendToMarker(index, target, boxes) ? target : 0;
    }
    return createMarker(index, selection.page, bounds.topLeft(), boxes);
}

int AbstractTextAnnotation::createMarker(
    AnnotationIndex *index, int pageIndex, const QPointF &topLeft, const TextRects &boxes)
{
    return index->createAnnotation(pageIndex, topLeft, marker(translated(boxes, topLeft)));
}

bool AbstractTextAnnotation::appendToMarker(AnnotationIndex *index, int annotationId, const TextRects &boxes)
{
    const Nod::Presentation::MarkerItem *canvas = index->canvasItem(annotationId);
    const auto *page = canvas ? dynamic_cast<const Base::Page *>(canvas->parentItem()) : nullptr;
    if (!page) {
        return false;
    }
    const QPointF position = page->pageTransform().inverted().map(canvas->pos());
    return index->appendMarker(annotationId, marker(translated(boxes, position)));
}

TextHighlight::TextHighlight(PDFDocumentView *view)
    : AbstractTextAnnotation(view)
{ }

void TextHighlight::setColor(const QColor &color)
{
    if (!color.isValid()) {
        return;
    }
    QColor c = color;
    c.setAlpha(128);
    m_brush.setColor(c);
}

Marker TextHighlight::marker(const TextRects &boxes) const
{
    return Marker(boxes, Marker::NoLine, QPen(Qt::NoPen), m_brush);
}

TextUnderline::TextUnderline(PDFDocumentView *view)
    : AbstractTextAnnotation(view)
{ }

void TextUnderline::setColor(const QColor &color)
{
    if (color.isValid()) {
        m_pen.setColor(color);
    }
}

Marker TextUnderline::marker(const TextRects &boxes) const
{
    return Marker(boxes, Marker::Underline, m_pen, QBrush(Qt::NoBrush));
}

} // namespace DocumentTool
