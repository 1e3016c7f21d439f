#include "searching.h"

#include <QGraphicsPathItem>
#include <QPen>

#include <utility>

namespace {

// Above the page's tiles and links, below nothing that takes input.
constexpr qreal HighlightZ = 50;

} // namespace

// A result's highlight, a child of the item the result lies on. Deleted with that item, it takes
// itself out of the results.
class SearchHighlight final : public QGraphicsPathItem
{
public:
    SearchHighlight(Searching *searching, const QPainterPath &path, QGraphicsItem *parent)
        : QGraphicsPathItem(path, parent)
        , m_searching(searching)
    { }
    ~SearchHighlight() override
    {
        if (m_searching) {
            m_searching->forgetHighlight(this);
        }
    }
    void detach() { m_searching = nullptr; }

private:
    Searching *m_searching; // not owned; null once the results let go of this highlight
};

Searching::Searching(IParalleledSearchable *view, QObject *parent)
    : QObject(parent)
    , m_view(view)
{ }

Searching::~Searching()
{
    // The highlights belong to their items and stay with them; the workers must stop.
    cancelAndWait();
    for (QGraphicsPathItem *highlight : qAsConst(m_highlights)) {
        static_cast<SearchHighlight *>(highlight)->detach();
    }
}

QBrush Searching::resultsBrush()
{
    QColor color(Qt::darkYellow);
    color.setAlpha(128);
    return QBrush(color);
}

QBrush Searching::currentResultBrush() { return QBrush(QColor(255, 150, 50, 128)); }

QGraphicsPathItem *Searching::currentHighlight() const
{
    return m_current >= 0 && m_current < m_highlights.size() ? m_highlights.at(m_current) : nullptr;
}

void Searching::start(const QString &keyword, QTextDocument::FindFlags options)
{
    if (keyword.isEmpty()) {
        return;
    }
    if (keyword == m_keyword) {
        nextResult();
        return;
    }
    // The previous search ends (and says so) before this one starts.
    clearResults();
    emit started();
    m_keyword = keyword;
    m_options = options;
    m_canceled = false;
    m_nextDelivery = 0;
    m_watcher = new QFutureWatcher<QVector<ISearchable::Result>>(this);
    connect(m_watcher, &QFutureWatcherBase::resultReadyAt, this, &Searching::on_resultReadyAt);
    connect(m_watcher, &QFutureWatcherBase::finished, this, &Searching::on_watcher_finished);
    connect(m_watcher, &QFutureWatcherBase::progressRangeChanged, this, &Searching::progressRangeChanged);
    connect(m_watcher, &QFutureWatcherBase::progressValueChanged, this, &Searching::progressValueChanged);
    m_watcher->setFuture(m_view->search(keyword));
}

void Searching::cancel()
{
    if (!m_watcher) {
        return;
    }
    m_canceled = true;
    m_watcher->cancel();
    // The same word again starts afresh instead of stepping through what was found so far.
    m_keyword.clear();
    emit canceled();
}

void Searching::cancelAndWait()
{
    if (!m_watcher) {
        return;
    }
    m_watcher->cancel();
    m_watcher->waitForFinished();
    dropWatcher();
}

void Searching::dropWatcher()
{
    if (!m_watcher) {
        return;
    }
    // Once it is gone, nothing the search still had posted to it arrives; it may be the sender
    // of the signal being handled, so it goes later.
    m_watcher->disconnect(this);
    m_watcher->deleteLater();
    m_watcher = nullptr;
}

void Searching::clearResults()
{
    const bool wasRunning = isRunning();
    cancelAndWait();
    const QList<QGraphicsPathItem *> highlights = std::exchange(m_highlights, {});
    for (QGraphicsPathItem *highlight : highlights) {
        static_cast<SearchHighlight *>(highlight)->detach();
        delete highlight;
    }
    m_current = -1;
    m_nextDelivery = 0;
    m_keyword.clear();
    if (wasRunning) {
        emit canceled();
    }
    emit resultCleared();
}

void Searching::previousResult() { step(-1); }

void Searching::nextResult() { step(+1); }

void Searching::step(int by)
{
    if (m_highlights.isEmpty()) {
        if (!isRunning()) {
            emit finished();
        }
        return;
    }
    if (QGraphicsPathItem *old = currentHighlight()) {
        old->setBrush(resultsBrush());
    }
    const int total = m_highlights.size();
    m_current = m_current < 0 ? (by > 0 ? 0 : total - 1) : ((m_current + by) % total + total) % total;
    m_highlights.at(m_current)->setBrush(currentResultBrush());
    emit currentResultChanged(m_current);
}

void Searching::on_resultReadyAt(int) { deliverReadyResults(); }

void Searching::deliverReadyResults()
{
    if (!m_watcher || m_watcher->isCanceled()) {
        return;
    }
    const ResultFuture future = m_watcher->future();
    const int before = m_highlights.size();
    while (future.isResultReadyAt(m_nextDelivery)) {
        QVector<ISearchable::Result> results = future.resultAt(m_nextDelivery);
        ++m_nextDelivery;
        m_view->completeResults(results, m_keyword);
        for (const ISearchable::Result &result : results) {
            if (!result.item || result.path.isEmpty()) {
                continue;
            }
            auto *highlight = new SearchHighlight(this, result.path, result.item);
            highlight->setPen(Qt::NoPen);
            highlight->setBrush(resultsBrush());
            highlight->setZValue(HighlightZ);
            highlight->setAcceptedMouseButtons(Qt::NoButton);
            highlight->setAcceptHoverEvents(false);
            m_highlights.append(highlight);
        }
    }
    if (m_highlights.size() == before) {
        return;
    }
    emit numberOfResultChanged(m_highlights.size());
    if (m_current < 0) {
        nextResult();
    }
}

void Searching::forgetHighlight(QGraphicsPathItem *highlight)
{
    const int index = m_highlights.indexOf(highlight);
    if (index < 0) {
        return;
    }
    m_highlights.removeAt(index);
    if (index < m_current) {
        --m_current;
    } else if (index == m_current) {
        // No hit is current until the next step, which starts at the first.
        m_current = -1;
    }
    emit numberOfResultChanged(m_highlights.size());
    emit currentResultChanged(m_current);
}

void Searching::on_watcher_finished()
{
    deliverReadyResults();
    const bool canceled = m_canceled;
    dropWatcher();
    if (!canceled) {
        emit finished();
    }
}
