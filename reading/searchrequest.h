#pragma once

#include <reading/searchable.h>

#include <QHash>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QVector>
#include <QWeakPointer>

#include <memory>
#include <mutex>

namespace Backend {
class Page;
}

// The stored notes of one search, read from the database file on the first worker that needs them,
// through a connection of that worker's own, and handed out once each.
class StoredNotes final
{
public:
    StoredNotes(const QString &databaseFile, const QVector<int> &annotationIds);

    // The stored HTML of one of the annotations; empty when it has none or cannot be read. Any thread.
    QString take(int annotationId);

private:
    const QString m_file;
    const QVector<int> m_ids;
    std::once_flag m_read;
    std::mutex m_mutex;
    QHash<qint64, QString> m_html;
};

// One piece of a view's search, run on a worker thread. Everything a worker needs is copied into
// the request on the interface thread, so that a worker never reads a scene item while the user
// works: the back-end page and the transform from page points into the page item's coordinates.
// The notes beside the page are copied the same way when they may hold edits not stored yet, as their
// plain text; the others are read from the store by the worker, which turns their HTML into text.
struct SearchRequest
{
    struct Note
    {
        int annotationId = 0;
        QString plainText;
        bool stored = false; // read from storedNotes instead
    };

    QString keyword;
    QWeakPointer<Backend::Page> page;
    // The item the hits go on (the page, or a row showing part of it): handed back in results,
    // never read by the worker; pageTransform maps page points into its coordinates.
    QGraphicsItem *pageItem = nullptr;
    QTransform pageTransform;
    // In the item's coordinates: only hits meeting it count. Null: the whole page.
    QRectF clip;
    // Handed back with the page's hits: the annotation the item shows, 0 for a page.
    int annotationId = 0;
    QVector<Note> notes;
    std::shared_ptr<StoredNotes> storedNotes;

    // The hits on the page in the back-end's order, one result per hit, then one result for each
    // note holding the keyword (ignoring case), with its annotation id and no path. Any thread.
    QVector<ISearchable::Result> run() const;
};
