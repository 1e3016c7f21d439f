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
// Whatever else a piece covers later (the plain text of the notes beside the page) is copied in
// the same way.
struct SearchRequest
{
    QString keyword;
    QWeakPointer<Backend::Page> page;
    QGraphicsItem *pageItem = nullptr; // handed back in results, never read by the worker
    QTransform pageTransform;

    // The hits on the page in the back-end's order, one result per hit. Any thread.
    QVector<ISearchable::Result> run() const;
};
