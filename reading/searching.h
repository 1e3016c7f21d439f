#pragma once

#include <reading/searchable.h>

#include <QBrush>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTextDocument>

class QGraphicsPathItem;
class SearchHighlight;

// The search of one view: starts the view's search, shows a highlight for every result as results
// arrive and steps through them. Results are shown in the order of the view's pieces of work (for
// the reading view: the current page first, then onwards, wrapping), whatever order the workers
// finish in: a piece's results wait until every piece before it has delivered. A highlight goes with
// the item it lies on (a note removed, a node folded away) and leaves the results then.
class Searching final : public QObject
{
    Q_OBJECT
    friend class SearchHighlight;

public:
    using ResultFuture = QFuture<QVector<ISearchable::Result>>;

    Searching(IParalleledSearchable *view, QObject *parent = nullptr);
    ~Searching() override;
    Q_DISABLE_COPY_MOVE(Searching)

    static QBrush resultsBrush();
    static QBrush currentResultBrush();

    // The keyword of the last search; empty once the results were cleared or the search cancelled.
    QString keyword() const { return m_keyword; }
    QTextDocument::FindFlags options() const { return m_options; }
    // -1 when none.
    int currentIndex() const { return m_current; }
    int total() const { return m_highlights.size(); }
    bool isRunning() const { return m_watcher != nullptr; }
    // The running search, or a finished empty one.
    ResultFuture future() const { return m_watcher ? m_watcher->future() : ResultFuture(); }
    // Scene items, one per result in result order; valid until the results are cleared.
    const QList<QGraphicsPathItem *> &highlights() const { return m_highlights; }
    QGraphicsPathItem *currentHighlight() const;
    // Stops the running search and returns once no worker runs any of it.
    void cancelAndWait();

public slots:
    void start(const QString &keyword, QTextDocument::FindFlags options);
    void cancel();
    void previousResult();
    void nextResult();
    void clearResults();

signals:
    void started();
    void finished();
    void canceled();
    void currentResultChanged(int current);
    void numberOfResultChanged(int total);
    void resultCleared();
    void progressRangeChanged(int minimum, int maximum);
    void progressValueChanged(int value);

private:
    void on_resultReadyAt(int index);
    void on_watcher_finished();
    void deliverReadyResults();
    void step(int by);
    void dropWatcher();
    void forgetHighlight(QGraphicsPathItem *highlight);

    IParalleledSearchable *m_view; // not owned
    QString m_keyword;
    QTextDocument::FindFlags m_options;
    int m_current = -1;
    QList<QGraphicsPathItem *> m_highlights; // children of the result items
    // One per search, so that nothing a cancelled search posted can reach the next one.
    QFutureWatcher<QVector<ISearchable::Result>> *m_watcher = nullptr; // child
    int m_nextDelivery = 0; // the first piece whose results are not shown yet
    bool m_canceled = false;
};
