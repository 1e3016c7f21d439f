// The reading view's navigation: page jumps and history steps, page modes, zoom, and which page is current.
#include "pdfdocumentview.h"

#include <reading/annotationindex.h>
#include <reading/historycommands.h>
#include <reading/pdfdocumentscene.h>
#include <reading/readingpageitem.h>

#include <annotating/markeritem.h>
#include <application/noteservice.h>
#include <backend/document.h>

#include <QScrollBar>
#include <QUndoStack>

#include <cmath>

// Navigation ------------------------------------------------------------------------------------

void PDFDocumentView::goPrev() { m_history->push(new PageCommand(this, m_currentPage, m_currentPage - 1)); }

void PDFDocumentView::goNext() { m_history->push(new PageCommand(this, m_currentPage, m_currentPage + 1)); }

void PDFDocumentView::goFirst() { m_history->push(new PageCommand(this, m_currentPage, 0)); }

void PDFDocumentView::goLast() { m_history->push(new PageCommand(this, m_currentPage, m_lastPage - 1)); }

void PDFDocumentView::jumpToPage(int page)
{
    if (!m_pdfScene || page < 0 || page >= m_lastPage) {
        return;
    }
    m_history->push(new DestinationCommand(this, currentDestination(), PDFDestination(page, QRectF())));
}

void PDFDocumentView::jumpToAnnotation(int annoId)
{
    AnnotationIndex *index = m_pdfScene ? m_pdfScene->annotations() : nullptr;
    const std::optional<Nod::Domain::Annotation> anno
        = index && index->noteService() ? index->noteService()->find(annoId) : std::nullopt;
    if (!anno || anno->documentId() != m_pdfScene->documentId() || anno->pageIndex() < 0) {
        return;
    }
    ReadingPageItem *page = m_pdfScene->readingPageAt(anno->pageIndex());
    if (!page) {
        return;
    }
    jumpToPage(anno->pageIndex());
    index->populate(page);
    if (Nod::Presentation::MarkerItem *canvas = index->canvasItem(annoId)) {
        centerOn(canvas);
    }
}

void PDFDocumentView::goToPage(int pageNum, int alignment)
{
    if (!m_pdfScene || pageNum < 0 || pageNum >= m_lastPage || pageNum == m_currentPage) {
        return;
    }
    goToPageItem(m_pdfScene->readingPageAt(pageNum), alignment);
}

void PDFDocumentView::goToPage(int pageNum) { goToPage(pageNum, AlignLeft | AlignTop); }

void PDFDocumentView::goToPage(int pageNum, QPointF anchor, int alignment)
{
    if (!m_pdfScene || pageNum < 0 || pageNum >= m_lastPage) {
        return;
    }
    ReadingPageItem *page = m_pdfScene->readingPageAt(pageNum);
    QRectF rect(QPointF(0, 0), visibleSceneRect().size());
    if (alignment & AlignLeft) {
        rect.moveLeft(anchor.x());
    } else if (alignment & AlignRight) {
        rect.moveRight(anchor.x());
    } else {
        rect.moveCenter(QPointF(anchor.x(), rect.center().y()));
    }
    if (alignment & AlignTop) {
        rect.moveTop(anchor.y());
    } else if (alignment & AlignBottom) {
        rect.moveBottom(anchor.y());
    } else {
        rect.moveCenter(QPointF(rect.center().x(), anchor.y()));
    }
    goToPageItem(page, rect, false);
}

void PDFDocumentView::goToPage(int pageNum, QPointF anchor) { goToPage(pageNum, anchor, AlignCenter); }

void PDFDocumentView::goToPageItem(const ReadingPageItem *page, int alignment)
{
    if (!page || !m_pdfScene) {
        return;
    }
    const int index = page->pageNumber();
    if (m_pageMode == PageMode_Presentation) {
        m_pdfScene->showOnePage(index);
        m_currentPage = index;
        maybeUpdateSceneRect();
        zoomFitWindow();
    } else {
        const QRectF visible = visibleSceneRect();
        const ReadingPageItem *old = m_pdfScene->readingPageAt(m_currentPage);
        QRectF rect;
        if (old && old->isVisible()) {
            rect = old->mapRectFromScene(visible);
        } else {
            rect = page->mapRectFromScene(visible);
            rect.moveTopLeft(QPointF(0, 0));
        }
        const QRectF bounds = page->boundingRect();
        if (alignment & AlignLeft) {
            rect.moveLeft(bounds.left());
        } else if (alignment & AlignRight) {
            rect.moveRight(bounds.right());
        } else if (alignment & AlignHCenter) {
            rect.moveCenter(QPointF(bounds.center().x(), rect.center().y()));
        }
        if (alignment & AlignTop) {
            rect.moveTop(bounds.top());
        } else if (alignment & AlignBottom) {
            rect.moveBottom(bounds.bottom());
        } else if (alignment & AlignVCenter) {
            rect.moveCenter(QPointF(rect.center().x(), bounds.center().y()));
        }
        if (m_pageMode == PageMode_SinglePage) {
            m_pdfScene->showOnePage(index);
            m_currentPage = index;
            maybeUpdateSceneRect();
        }
        centerOn(page->mapRectToScene(rect).center());
        anchorPage(page, rect, alignment);
    }
    m_pageChosenAt = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    m_currentPage = index;
    emit changedPage(m_currentPage);
}

void PDFDocumentView::anchorPage(const ReadingPageItem *page, const QRectF &rect, int alignment)
{
    m_anchorPage = page->pageNumber();
    m_anchorRect = rect;
    m_anchorAlignment = alignment;
}

void PDFDocumentView::reapplyAnchor()
{
    const ReadingPageItem *page = m_pdfScene ? m_pdfScene->readingPageAt(m_anchorPage) : nullptr;
    if (!page || m_anchorPage != m_currentPage) {
        return;
    }
    const QSizeF size = mapToScene(viewport()->rect()).boundingRect().size();
    QRectF rect(m_anchorRect.topLeft(), page->mapRectFromScene(QRectF(QPointF(), size)).size());
    if (m_anchorAlignment & AlignRight) {
        rect.moveRight(m_anchorRect.right());
    } else if (m_anchorAlignment & AlignHCenter) {
        rect.moveCenter(QPointF(m_anchorRect.center().x(), rect.center().y()));
    }
    if (m_anchorAlignment & AlignBottom) {
        rect.moveBottom(m_anchorRect.bottom());
    } else if (m_anchorAlignment & AlignVCenter) {
        rect.moveCenter(QPointF(rect.center().x(), m_anchorRect.center().y()));
    }
    centerOn(page->mapRectToScene(rect).center());
    m_pageChosenAt = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void PDFDocumentView::goToPageItem(const ReadingPageItem *page, const QRectF &viewRect, bool mayZoom)
{
    if (!page || !m_pdfScene) {
        return;
    }
    const int index = page->pageNumber();
    const bool changed = index != m_currentPage;
    if (m_pageMode == PageMode_Presentation) {
        m_pdfScene->showOnePage(index);
        m_currentPage = index;
        maybeUpdateSceneRect();
        zoomFitWindow();
    } else {
        if (m_pageMode == PageMode_SinglePage) {
            m_pdfScene->showOnePage(index);
            m_currentPage = index;
            maybeUpdateSceneRect();
        }
        const QRectF target = page->mapRectToScene(viewRect);
        if (mayZoom && !target.isEmpty()) {
            const QSizeF shown = visibleSceneRect().size();
            // Same size as now (a position taken from this view): keep the zoom exactly.
            if (std::abs(target.width() - shown.width()) > 1e-3 * shown.width()
                || std::abs(target.height() - shown.height()) > 1e-3 * shown.height()) {
                const double scale
                    = std::min(viewport()->width() / target.width(), viewport()->height() / target.height());
                setZoomLevel(clampZoom(scale));
            }
        }
        centerOn(target.center());
        anchorPage(page, page->mapRectFromScene(target), AlignLeft | AlignTop);
    }
    m_pageChosenAt = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    m_currentPage = index;
    if (changed) {
        emit changedPage(m_currentPage);
    }
}

PDFDestination PDFDocumentView::currentDestination() const
{
    const ReadingPageItem *page = currentPageItem();
    if (!page) {
        return PDFDestination(m_currentPage, QRectF());
    }
    const QRectF inItem = page->mapRectFromScene(visibleSceneRect());
    return PDFDestination(m_currentPage, page->pageTransform().inverted().mapRect(inItem));
}

void PDFDocumentView::goToPDFDestination(const PDFDestination &dest)
{
    if ((dest.pageNumber() < 0 && dest.destinationName().isEmpty()) || !document() || !m_pdfScene) {
        return;
    }
    const PDFDestination resolved = document()->resolveDestination(dest);
    ReadingPageItem *target = m_pdfScene->readingPageAt(resolved.pageNumber());
    if (!target) {
        return;
    }
    const PDFDestination here = currentDestination();
    QRectF rect = here.rect();
    if (rect.isEmpty()) {
        rect = target->pageTransform().inverted().mapRect(visibleSceneRect());
    }
    if (resolved.kind() == PDFDestination::Explicit) {
        const QRectF wanted = resolved.rect();
        if (wanted.width() > 0 && wanted.height() > 0) {
            // A full position taken from this view: go back to exactly that.
            rect = wanted;
        } else {
            if (wanted.left() >= 0) {
                rect.moveLeft(wanted.left());
            }
            if (wanted.top() >= 0) {
                rect.moveTop(wanted.top());
            }
        }
        if (resolved.zoom() > 0) {
            const double factor = m_zoomLevel / resolved.zoom();
            rect.setSize(rect.size() * factor);
        }
    }
    goToPageItem(target, target->pageTransform().mapRect(rect), true);
}

// Page modes ------------------------------------------------------------------------------------

void PDFDocumentView::setPageMode(PDFDocumentView::PageMode pageMode, bool forceRelayout)
{
    if (pageMode == m_pageMode && !forceRelayout) {
        return;
    }
    const PageMode oldMode = m_pageMode;
    ReadingPageItem *current = currentPageItem();
    if (m_pdfScene && current) {
        const QRectF remembered = current->mapRectFromScene(visibleSceneRect());
        PageLayout &layout = m_pdfScene->pageLayout();
        switch (pageMode) {
        case PageMode_SinglePage:
        case PageMode_Presentation:
            m_pdfScene->showOnePage(m_currentPage);
            layout.setContinuous(false);
            break;
        case PageMode_OneColumnContinuous:
        case PageMode_TwoColumnContinuous:
            if (oldMode == PageMode_SinglePage || oldMode == PageMode_Presentation || forceRelayout) {
                layout.setContinuous(true);
                m_pdfScene->showAllPages();
                setSceneRect(QRectF());
            }
            if (pageMode == PageMode_OneColumnContinuous) {
                layout.setColumnCount(1, 0);
            } else {
                layout.setColumnCount(2, 1);
            }
            break;
        }
        setBackgroundBrush(pageMode == PageMode_Presentation ? QBrush(Qt::black) : QBrush(Qt::NoBrush));
        // A fitted page needs no scroll bars, and bars appearing would unfit it.
        const Qt::ScrollBarPolicy bars
            = pageMode == PageMode_Presentation ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
        setHorizontalScrollBarPolicy(bars);
        setVerticalScrollBarPolicy(bars);
        m_pageMode = pageMode;
        layout.relayout();
        maybeUpdateSceneRect();
        if (pageMode == PageMode_Presentation) {
            zoomFitWindow();
        } else {
            centerOn(current->mapRectToScene(remembered).center());
        }
        m_pageChosenAt = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    } else {
        setBackgroundBrush(pageMode == PageMode_Presentation ? QBrush(Qt::black) : QBrush(Qt::NoBrush));
    }
    m_pageMode = pageMode;
    if (pageMode != oldMode) {
        emit changedPageMode(pageMode);
    }
}

void PDFDocumentView::setPageMode(PDFDocumentView::PageMode pageMode) { setPageMode(pageMode, false); }

void PDFDocumentView::setSinglePageMode() { setPageMode(PageMode_SinglePage); }

void PDFDocumentView::setOneColContPageMode() { setPageMode(PageMode_OneColumnContinuous); }

void PDFDocumentView::setTwoColContPageMode() { setPageMode(PageMode_TwoColumnContinuous); }

void PDFDocumentView::setPresentationMode() { setPageMode(PageMode_Presentation); }

void PDFDocumentView::maybeUpdateSceneRect()
{
    if (!m_pdfScene) {
        return;
    }
    if (m_pageMode == PageMode_SinglePage || m_pageMode == PageMode_Presentation) {
        if (ReadingPageItem *page = m_pdfScene->readingPageAt(m_currentPage)) {
            setSceneRect(page->sceneBoundingRect());
        }
    } else {
        setSceneRect(QRectF());
    }
}

ReadingPageItem *PDFDocumentView::currentPageItem() const
{
    return m_pdfScene ? m_pdfScene->readingPageAt(m_currentPage) : nullptr;
}

// Zoom ------------------------------------------------------------------------------------------

void PDFDocumentView::zoomToRect(QRectF a_rect)
{
    if (a_rect.isEmpty()) {
        return;
    }
    fitInView(a_rect, Qt::KeepAspectRatio);
    readZoomFromTransform();
}

void PDFDocumentView::zoomFitWindow()
{
    const ReadingPageItem *page = currentPageItem();
    if (!page) {
        return;
    }
    const PageLayout &layout = m_pdfScene->pageLayout();
    const QRectF rect = page->sceneBoundingRect().adjusted(
        -layout.xSpacing() / 2, -layout.ySpacing() / 2, layout.xSpacing() / 2, layout.ySpacing() / 2);
    fitInView(rect, Qt::KeepAspectRatio);
    readZoomFromTransform();
}

void PDFDocumentView::zoomFitWidth()
{
    const ReadingPageItem *page = currentPageItem();
    if (!page) {
        return;
    }
    const PageLayout &layout = m_pdfScene->pageLayout();
    const QRectF bounds = page->sceneBoundingRect();
    const double centerY = visibleSceneRect().center().y();
    const QRectF rect(
        bounds.left() - layout.xSpacing() / 2, centerY - 1e-5, bounds.width() + layout.xSpacing(), 2e-5);
    fitInView(rect, Qt::KeepAspectRatio);
    readZoomFromTransform();
}

void PDFDocumentView::zoom100()
{
    const QGraphicsView::ViewportAnchor oldAnchor = transformationAnchor();
    setTransformationAnchor(QGraphicsView::AnchorViewCenter);
    setTransform(QTransform());
    setTransformationAnchor(oldAnchor);
    readZoomFromTransform();
}

QRectF PDFDocumentView::visibleSceneRect() const { return mapToScene(viewport()->rect()).boundingRect(); }

void PDFDocumentView::setScrollValue(int value) { verticalScrollBar()->setValue(value); }

// Current page ---------------------------------------------------------------------------------

void PDFDocumentView::updateCurrentPage()
{
    const QPoint position(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (position == m_pageChosenAt || m_pageMode == PageMode_SinglePage
        || m_pageMode == PageMode_Presentation) {
        return;
    }
    // The page that fills most of the upper half of the viewport; the first on a tie.
    const QRectF visible = visibleSceneRect();
    const QRectF upperHalf(visible.topLeft(), QSizeF(visible.width(), visible.height() / 2));
    int best = -1;
    double bestArea = 0;
    for (ReadingPageItem *page : qAsConst(m_paintedPages)) {
        const QRectF overlap = page->sceneBoundingRect() & upperHalf;
        const double area = overlap.width() * overlap.height();
        if (area > bestArea || (area == bestArea && area > 0 && page->pageNumber() < best)) {
            best = page->pageNumber();
            bestArea = area;
        }
    }
    if (best >= 0 && best != m_currentPage) {
        m_currentPage = best;
        emit changedPage(m_currentPage);
    }
}

void PDFDocumentView::on_verticalScrollBar_actionTriggered(int action)
{
    if (action == QAbstractSlider::SliderNoAction) {
        return;
    }
    QScrollBar *bar = verticalScrollBar();
    if (bar->value() == bar->sliderPosition()) {
        return;
    }
    m_history->push(new ScrollBarValueCommand(this, bar->value(), bar->sliderPosition()));
}
