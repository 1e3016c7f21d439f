#include "searchrequest.h"

#include <backend/page.h>

QVector<ISearchable::Result> SearchRequest::run() const
{
    QVector<ISearchable::Result> results;
    if (keyword.isEmpty()) {
        return results;
    }
    const QSharedPointer<Backend::Page> backendPage = page.toStrongRef();
    if (!backendPage) {
        return results;
    }
    const QVector<Backend::SearchResult> hits = backendPage->search(keyword, 0);
    results.reserve(hits.size());
    for (const Backend::SearchResult &hit : hits) {
        ISearchable::Result result;
        result.item = pageItem;
        result.path.addRect(pageTransform.mapRect(hit.rect));
        results.append(result);
    }
    return results;
}
