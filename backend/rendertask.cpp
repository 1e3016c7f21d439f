#include "rendertask.h"

#include <backend/page.h>

#include <QMutexLocker>
#include <QThreadPool>

RenderTask::RenderTask(const QSharedPointer<Backend::Page> &page, QObject *parent)
    : QObject(parent)
    , m_page(page)
{
    setAutoDelete(false);
}

RenderTask::~RenderTask()
{
    cancel(true);
    dequeue();
    wait();
}

QThreadPool *RenderTask::threadPool()
{
    static QThreadPool pool;
    return &pool;
}

QImage RenderTask::renderTile(
    Backend::Page &page, const RenderParam &param, const QRect &rect, Backend::RenderCookie *cookie)
{
    QImage image;
    if (rect.isEmpty()) {
        image = page.takePreparedRender(param.renderXres(), param.renderYres());
    }
    if (image.isNull()) {
        image = page.renderImage(param.renderXres(), param.renderYres(), rect, false, cookie);
    }
    image.setDevicePixelRatio(param.devicePixelRatio());
    return image;
}

bool RenderTask::isRunning() const
{
    QMutexLocker locker(&m_mutex);
    return m_running;
}

bool RenderTask::isPrefetch() const
{
    QMutexLocker locker(&m_mutex);
    return m_prefetch;
}

void RenderTask::wait()
{
    QMutexLocker locker(&m_mutex);
    while (m_running) {
        m_waitCondition.wait(&m_mutex);
    }
}

bool RenderTask::dequeue()
{
    if (!threadPool()->tryTake(this)) {
        return false;
    }
    QMutexLocker locker(&m_mutex);
    m_running = false;
    m_renderParam = RenderParam::defaultParam();
    m_waitCondition.wakeAll();
    return true;
}

void RenderTask::start(const RenderParam &renderParam, const QRect &rect, bool prefetch)
{
    {
        QMutexLocker locker(&m_mutex);
        if (m_running) {
            return;
        }
        m_renderParam = renderParam;
        m_rect = rect;
        m_prefetch = prefetch;
        m_running = true;
        m_cancelState = NotCancelled;
        m_cookie.reset();
    }
    threadPool()->start(this, prefetch ? 0 : 1);
}

void RenderTask::cancel(bool force)
{
    m_cancelState = force ? ForcedCancel : SoftCancel;
    if (isCancelled()) {
        m_cookie.abort();
    }
}

bool RenderTask::isCancelled() const
{
    const int state = m_cancelState.load();
    QMutexLocker locker(&m_mutex);
    return m_prefetch ? state == ForcedCancel : state != NotCancelled;
}

void RenderTask::run()
{
    if (isCancelled() || !m_page) {
        finish();
        return;
    }
    QImage image = renderTile(*m_page, m_renderParam, m_rect, &m_cookie);
    const auto cancelled = [this] { return isCancelled(); };
    if (!isCancelled()
        && (image.isNull()
            || m_renderParam.applyColorTreatment(image, cancelled,
                m_page->keptRects(
                    m_renderParam, m_renderParam.renderXres(), m_renderParam.renderYres(), m_rect)))) {
        // A page is drawn onto white, so its render is opaque. Said so here, where the image is
        // not shared, the interface thread neither scans it for transparency nor copies it to
        // make a pixmap, and paints it without blending.
        if (image.format() == QImage::Format_ARGB32_Premultiplied) {
            image.reinterpretAsFormat(QImage::Format_RGB32);
        }
        emit imageReady(m_renderParam, m_rect, m_prefetch, image, QRectF());
    }
    finish();
}

void RenderTask::finish()
{
    {
        QMutexLocker locker(&m_mutex);
        m_renderParam = RenderParam::defaultParam();
    }
    emit finished();
    QMutexLocker locker(&m_mutex);
    m_running = false;
    m_waitCondition.wakeAll();
}
