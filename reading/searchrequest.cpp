#include "searchrequest.h"

#include <backend/page.h>

#include <infrastructure/database.h>

#include <QDebug>
#include <QTextDocumentFragment>

#include <stdexcept>

StoredNotes::StoredNotes(const QString &databaseFile, const QVector<int> &annotationIds)
    : m_file(databaseFile)
    , m_ids(annotationIds)
{ }

QString StoredNotes::take(int annotationId)
{
    std::call_once(m_read, [this] {
        QVector<qint64> rowIds(m_ids.cbegin(), m_ids.cend());
        QHash<qint64, QString> html;
        try {
            html = Nod::Infrastructure::readTexts(
                m_file, QStringLiteral("Annotation"), QStringLiteral("noteText"), rowIds);
        } catch (const std::runtime_error &error) {
            qWarning() << "The notes could not be read for searching:" << error.what();
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_html = std::move(html);
    });
    // Each note belongs to one page's request: handing it over frees a long text as soon as it is searched.
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_html.take(annotationId);
}

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
        const QString text = note.stored && storedNotes
            ? QTextDocumentFragment::fromHtml(storedNotes->take(note.annotationId)).toPlainText()
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
