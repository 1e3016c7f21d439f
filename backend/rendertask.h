#pragma once

#include <backend/rendercookie.h>
#include <backend/renderparam.h>

#include <QImage>
#include <QMutex>
#include <QObject>
#include <QRect>
#include <QRunnable>
#include <QSharedPointer>
#include <QWaitCondition>

#include <atomic>

class QThreadPool;

namespace Backend {
class Page;
}

// Renders one tile of a page on the process-wide render pool. Lives on the interface thread;
// run() executes on a pool thread and reports through queued signals. The pool does not own it.
class RenderTask final : public QObject, public QRunnable
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RenderTask)

public:
    enum CancelState { NotCancelled = 0, SoftCancel = 1, ForcedCancel = 2 };

    explicit RenderTask(const QSharedPointer<Backend::Page> &page, QObject *parent = nullptr);
    ~RenderTask() override;

    static QThreadPool *threadPool();
    // What the task does, without colour treatment, on the calling thread; a whole page drawn
    // ahead for this resolution is taken rather than drawn again.
    static QImage renderTile(Backend::Page &page, const RenderParam &param, const QRect &rect,
        Backend::RenderCookie *cookie = nullptr);

    bool isRunning() const;
    // Any thread but the pool's: blocks until the task is neither queued nor running.
    void wait();
    // Removes the task from the pool's queue if it has not started; true when it was removed.
    bool dequeue();
    int cancelState() const { return m_cancelState.load(); }
    bool isPrefetch() const;

    void run() override;

signals:
    void finished();
    void imageReady(const RenderParam &renderParam, const QRect &rect, bool prefetch, const QImage &image,
        const QRectF &cropRect);

public slots:
    void start(const RenderParam &renderParam, const QRect &rect, bool prefetch);
    void cancel(bool force);
    void cancel() { cancel(false); }

private:
    // A soft cancel lets a prefetch finish, so its result still reaches the cache.
    bool isCancelled() const;
    void finish();

    mutable QMutex m_mutex;
    QWaitCondition m_waitCondition;
    bool m_running = false;
    std::atomic<int> m_cancelState { NotCancelled };
    QSharedPointer<Backend::Page> m_page;
    RenderParam m_renderParam;
    QRect m_rect;
    bool m_prefetch = false;
    Backend::RenderCookie m_cookie;
};
