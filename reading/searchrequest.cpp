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
            const QRectF rect = pageTransform.mapRect(hit.rect);
            if (!clip.isNull() && !clip.intersects(rect)) {
                continue;
            }
            ISearchable::Result result;
            result.item = pageItem;
            result.path.addRect(clip.isNull() ? rect : rect & clip);
            result.annotationId = annotationId;
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
