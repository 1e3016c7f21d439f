#pragma once

#include <QFuture>
#include <QPainterPath>
#include <QString>
#include <QVector>

class QGraphicsItem;

// Something on a scene that can be searched for a keyword, on the interface thread.
class ISearchable
{
public:
    // One hit: the item the highlight goes on and the area it covers, in that item's coordinates.
    struct Result
    {
        QGraphicsItem *item = nullptr; // not owned
        QPainterPath path;
        // Non-zero: the annotation the hit belongs to, by which the view finds its items again on
        // the interface thread. Without a path, the hit lies in that annotation's note, found in a
        // copy of the note's text: the view finds the outline of the hits in the note.
        int annotationId = 0;
    };

    virtual ~ISearchable() = default;
    virtual QVector<Result> search(const QString &keyword) = 0;
};

// A view whose content is searched on worker threads. The future holds one vector of results per
// piece of work, at that piece's index; the view chooses the order of the pieces, and that order is
// the order in which results are shown and stepped through. Items named in the results stay alive
// until the search is cancelled and waited for, which the view does before removing any of them.
class IParalleledSearchable
{
public:
    virtual ~IParalleledSearchable() = default;
    virtual QFuture<QVector<ISearchable::Result>> search(const QString &keyword) = 0;
    // On the interface thread, before a piece's results are shown: fills in what a worker could not
    // (the outlines of hits in notes). Results left without a path are not shown.
    virtual void completeResults(QVector<ISearchable::Result> &results, const QString &keyword)
    {
        Q_UNUSED(results)
        Q_UNUSED(keyword)
    }
};
