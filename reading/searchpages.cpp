// The reading view's search: one piece of work per page, run on the global thread pool.
#include "pdfdocumentscene.h"
#include "pdfdocumentview.h"
#include "readingpageitem.h"
#include "searchrequest.h"

#include <QFutureInterface>
#include <QtConcurrent>

QFuture<QVector<ISearchable::Result>> PDFDocumentView::search(const QString &keyword)
{
    QVector<SearchRequest> requests;
    const int count = m_pdfScene && !keyword.isEmpty() ? m_pdfScene->pageCount() : 0;
    if (count == 0) {
        return Base::View::search(keyword);
    }
    const int first = qBound(0, m_currentPage, count - 1);
    requests.reserve(count);
    for (int i = 0; i < count; ++i) {
        const ReadingPageItem *page = m_pdfScene->readingPageAt((first + i) % count);
        if (!page) {
            continue;
        }
        SearchRequest request;
        request.keyword = keyword;
        request.page = page->page();
        request.pageItem = const_cast<ReadingPageItem *>(page);
        request.pageTransform = page->pageTransform();
        requests.append(request);
    }
    return QtConcurrent::mapped(std::move(requests), &SearchRequest::run);
}

void PDFDocumentView::revealSearchResult(QGraphicsItem *highlight)
{
    // In the one-page modes the page of the result may not be shown yet.
    if (const auto *page = qgraphicsitem_cast<const ReadingPageItem *>(highlight->parentItem())) {
        if (!page->isVisible() || page->pageNumber() != m_currentPage) {
            if (m_pageMode == PageMode_SinglePage || m_pageMode == PageMode_Presentation) {
                goToPage(page->pageNumber());
            }
        }
    }
    Base::View::revealSearchResult(highlight);
}
