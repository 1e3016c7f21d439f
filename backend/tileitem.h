#pragma once

#include <backend/renderparam.h>

#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QRectF>
#include <QSharedPointer>

class RenderTask;

namespace Backend {
class Page;
}

// The image side of one page item: asks its RenderTask for renders and keeps the results in the
// process-wide pixmap cache. Interface thread only.
class TileItem final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TileItem)

public:
    static constexpr int PixmapCacheFloor = 32 << 20;
    static constexpr int PixmapCacheCeiling = 256 << 20;
    // The pixmap cache's byte limit, from the primary screen's size; fixed at first use.
    static int pixmapCacheLimit();

    explicit TileItem(const QSharedPointer<Backend::Page> &page, QObject *parent = nullptr);
    ~TileItem() override;

    // In page pixels; empty means the whole page.
    QRect rect() const { return m_rect; }
    void setRect(const QRect &rect)
    {
        if (rect != m_rect) {
            m_rect = rect;
            m_pixmap = QPixmap();
            m_failed = false;
        }
    }
    QRectF cropRect() const { return m_cropRect; }
    RenderParam renderParam() const { return m_renderParam; }
    bool isFailed() const { return m_failed; }
    RenderTask *renderTask() const { return m_renderTask; }

    // For painting: the cached or freshly rendered pixmap, or a null one while a render runs.
    QPixmap pixmap(const RenderParam &renderParam);
    // For printing: renders on the calling thread on a cache miss, without caching the result.
    QPixmap pixmapForPrint(const RenderParam &renderParam);

    static bool cacheContains(
        const QSharedPointer<Backend::Page> &page, const RenderParam &renderParam, const QRect &rect);
    static void clearCache();
    static int cacheTotalCost();

signals:
    void imageReady();
    void needUpdateCropRect();

public slots:
    void refresh(bool keepObsoletePixmaps);
    void refresh();
    int startRender(bool prefetch);
    int startRender();
    void cancelRender();
    void deleteAfterRender();
    void on_renderTask_finished();
    void on_renderTask_imageReady(const RenderParam &renderParam, const QRect &rect, bool prefetch,
        const QImage &image, const QRectF &cropRect);

private:
    QPixmap takeCached();

    QSharedPointer<Backend::Page> m_page;
    RenderParam m_renderParam { 72, 72, 1.0, 1.0, 0 };
    QRect m_rect;
    QRectF m_cropRect;
    bool m_failed = false;
    // A render was started and its queued finish has not reached this tile yet.
    bool m_renderUndelivered = false;
    QPixmap m_pixmap;
    QPixmap m_obsoletePixmap;
    bool m_deleteAfterRender = false;
    RenderTask *m_renderTask; // child
};
