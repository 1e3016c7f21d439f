#include "tileitem.h"

#include <backend/page.h>
#include <backend/rendertask.h>

#include <QCache>
#include <QCoreApplication>
#include <QDataStream>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>

namespace {

struct PixmapKey
{
    quint64 page = 0;
    QByteArray param;

    bool operator==(const PixmapKey &other) const { return page == other.page && param == other.param; }
};

uint qHash(const PixmapKey &key, uint seed = 0) { return ::qHash(key.page, seed) ^ ::qHash(key.param, seed); }

struct CachedPixmap
{
    QPixmap pixmap;
    QRectF cropRect;
};

QCache<PixmapKey, CachedPixmap> &pixmapCache()
{
    static QCache<PixmapKey, CachedPixmap> cache(TileItem::pixmapCacheLimit());
    return cache;
}

PixmapKey makeKey(const Backend::Page *page, const RenderParam &param, const QRect &rect)
{
    PixmapKey key;
    key.page = page ? page->uid() : 0;
    key.param = param.key();
    QDataStream stream(&key.param, QIODevice::WriteOnly | QIODevice::Append);
    stream << rect << (page ? page->revision() : quint64(0));
    return key;
}

int pixmapCost(const QPixmap &pixmap)
{
    const qint64 bytes = qint64(pixmap.width()) * pixmap.height() * pixmap.depth() / 8;
    return static_cast<int>(qBound<qint64>(1, bytes, TileItem::PixmapCacheCeiling));
}

void insertPixmap(const PixmapKey &key, const QPixmap &pixmap, const QRectF &cropRect)
{
    pixmapCache().insert(key, new CachedPixmap { pixmap, cropRect }, pixmapCost(pixmap));
}

} // namespace

TileItem::TileItem(const QSharedPointer<Backend::Page> &page, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_renderTask(new RenderTask(page, this))
{
    connect(m_renderTask, &RenderTask::finished, this, &TileItem::on_renderTask_finished);
    connect(m_renderTask, &RenderTask::imageReady, this, &TileItem::on_renderTask_imageReady);
}

TileItem::~TileItem()
{
    m_renderTask->cancel(true);
    m_renderTask->dequeue();
    m_renderTask->wait();
}

bool TileItem::cacheContains(
    const QSharedPointer<Backend::Page> &page, const RenderParam &renderParam, const QRect &rect)
{
    return pixmapCache().contains(makeKey(page.data(), renderParam, rect));
}

void TileItem::clearCache() { pixmapCache().clear(); }

int TileItem::cacheTotalCost() { return pixmapCache().totalCost(); }

int TileItem::pixmapCacheLimit()
{
    // What the screen shows (tiles, previews, the pages beside them) a few times over, so that
    // scrolling back re-renders nothing; a larger screen needs more.
    qint64 screenBytes = 0;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSizeF pixels = QSizeF(screen->size()) * screen->devicePixelRatio();
        screenBytes = qint64(pixels.width() * pixels.height()) * 4;
    }
    return int(qBound<qint64>(PixmapCacheFloor, 4 * screenBytes, PixmapCacheCeiling));
}

void TileItem::refresh(bool) { }

void TileItem::refresh() { }

int TileItem::startRender(bool prefetch)
{
    if (m_failed || m_renderTask->isRunning()) {
        return 0;
    }
    if (prefetch && pixmapCache().contains(makeKey(m_page.data(), m_renderParam, m_rect))) {
        return 0;
    }
    m_renderTask->start(m_renderParam, m_rect, prefetch);
    m_renderUndelivered = true;
    return 1;
}

int TileItem::startRender() { return startRender(false); }

void TileItem::cancelRender()
{
    m_renderTask->cancel(false);
    m_pixmap = QPixmap();
    m_obsoletePixmap = QPixmap();
}

void TileItem::deleteAfterRender()
{
    if (!m_renderTask->isRunning()) {
        deleteLater();
        return;
    }
    m_renderTask->cancel(true);
    m_deleteAfterRender = true;
}

QPixmap TileItem::takeCached()
{
    CachedPixmap *cached = pixmapCache().object(makeKey(m_page.data(), m_renderParam, m_rect));
    if (!cached) {
        return {};
    }
    m_obsoletePixmap = QPixmap();
    if ((m_renderParam.flags() & RenderParam::Crop) && m_cropRect.isNull() && !cached->cropRect.isNull()) {
        m_cropRect = cached->cropRect;
        emit needUpdateCropRect();
    }
    return cached->pixmap;
}

QPixmap TileItem::pixmap(const RenderParam &renderParam)
{
    if (renderParam != m_renderParam) {
        m_renderParam = renderParam;
        m_pixmap = QPixmap();
        // A failure belongs to the parameters it happened with (say, a render over the memory
        // ceiling at a huge zoom); others may well succeed.
        m_failed = false;
    }
    const QPixmap cached = takeCached();
    if (!cached.isNull()) {
        return cached;
    }
    if (m_pixmap.isNull() && m_renderUndelivered && !m_renderTask->isRunning()) {
        // A render that ended may have its image waiting in the event queue behind this paint (the
        // first paint of a window comes before queued events): taken now, the page is not painted
        // without it once more.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (const QPixmap delivered = takeCached(); !delivered.isNull()) {
            return delivered;
        }
    }
    if (!m_pixmap.isNull()) {
        const QPixmap fresh = m_pixmap;
        m_pixmap = QPixmap();
        insertPixmap(makeKey(m_page.data(), m_renderParam, m_rect), fresh, m_cropRect);
        return fresh;
    }
    if (!m_failed && !m_renderTask->isRunning()) {
        m_renderTask->start(m_renderParam, m_rect, false);
        m_renderUndelivered = true;
    }
    return {};
}

QPixmap TileItem::pixmapForPrint(const RenderParam &renderParam)
{
    m_renderParam = renderParam;
    const QPixmap cached = takeCached();
    if (!cached.isNull() || !m_page) {
        return cached;
    }
    return QPixmap::fromImage(RenderTask::renderTile(*m_page, renderParam, m_rect));
}

void TileItem::on_renderTask_finished()
{
    m_renderUndelivered = false;
    if (m_deleteAfterRender) {
        deleteLater();
    }
    emit imageReady();
}

void TileItem::on_renderTask_imageReady(const RenderParam &renderParam, const QRect &rect, bool prefetch,
    const QImage &image, const QRectF &cropRect)
{
    if (renderParam != m_renderParam || rect != m_rect) {
        return;
    }
    m_obsoletePixmap = QPixmap();
    if (image.isNull()) {
        m_failed = true;
        return;
    }
    const int cancelState = m_renderTask->cancelState();
    if (prefetch) {
        if (cancelState != RenderTask::ForcedCancel) {
            insertPixmap(makeKey(m_page.data(), m_renderParam, m_rect), QPixmap::fromImage(image), cropRect);
        }
    } else if (cancelState == RenderTask::NotCancelled) {
        m_pixmap = QPixmap::fromImage(image);
    }
    if ((m_renderParam.flags() & RenderParam::Crop) && m_cropRect.isNull()) {
        if (CachedPixmap *cached = pixmapCache().object(makeKey(m_page.data(), m_renderParam, m_rect))) {
            if (!cached->cropRect.isNull()) {
                m_cropRect = cached->cropRect;
                emit needUpdateCropRect();
            }
        }
    }
}
