#include "searchrequest.h"

#include <backend/page.h>

#include <QTextDocumentFragment>

QVector<ISearchable::Result> SearchRequest::run() const
{
    QVector<ISearchable::Result> results;
    if (keyword.isEmpty()) {
        return results;
    }
    if (const QSharedPointer<Backend::Page> backendPage = page.toStrongRef()) {
        const QVector<Backend::SearchResult> hits = backendPage->search(keyword, 0);
        results.reserve(hits.size());
        for (const Backend::SearchResult &hit : hits) {
            ISearchable::Result result;
            result.item = pageItem;
            result.path.addRect(pageTransform.mapRect(hit.rect));
            results.append(result);
        }
    }
    for (const Note &note : notes) {
        const QString text = note.plainText.isEmpty()
            ? QTextDocumentFragment::fromHtml(note.html).toPlainText()
            : note.plainText;
        if (text.contains(keyword, Qt::CaseInsensitive)) {
            ISearchable::Result result;
            result.item = pageItem;
            result.annotationId = note.annotationId;
            results.append(result);
        }
    }
    return results;
}
