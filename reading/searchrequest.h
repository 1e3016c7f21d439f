#pragma once

#include <reading/searchable.h>

#include <QRectF>
#include <QString>
#include <QTransform>
#include <QVector>
#include <QWeakPointer>

namespace Backend {
class Page;
}

// One piece of a view's search, run on a worker thread. Everything a worker needs is copied into
// the request on the interface thread, so that a worker never reads a scene item while the user
// works: the back-end page and the transform from page points into the page item's coordinates.
// The notes beside the page are copied the same way: as the plain text of a note being shown, or as
// the stored HTML of one not made yet, which the worker turns into text.
struct SearchRequest
{
    struct Note
    {
        int annotationId = 0;
        QString plainText;
        QString html; // used when plainText is empty
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

    // The hits on the page in the back-end's order, one result per hit, then one result for each
    // note holding the keyword (ignoring case), with its annotation id and no path. Any thread.
    QVector<ISearchable::Result> run() const;
};
