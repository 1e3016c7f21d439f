#pragma once

#include <reading/searchable.h>

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
    QGraphicsItem *pageItem = nullptr; // handed back in results, never read by the worker
    QTransform pageTransform;
    QVector<Note> notes;

    // The hits on the page in the back-end's order, one result per hit, then one result for each
    // note holding the keyword (ignoring case), with its annotation id and no path. Any thread.
    QVector<ISearchable::Result> run() const;
};
