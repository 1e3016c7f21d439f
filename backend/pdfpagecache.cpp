#include "pdfpagecache.h"

#include <QHash>

namespace Backend {

uint qHash(const PDFPageTile &tile, uint seed)
{
    return ::qHash(tile.xres, seed) ^ ::qHash(tile.yres, seed) ^ ::qHash(tile.renderBox.x(), seed)
        ^ ::qHash(tile.renderBox.y() * 31, seed) ^ ::qHash(tile.renderBox.width() * 131, seed)
        ^ ::qHash(tile.renderBox.height() * 1031, seed) ^ ::qHash(tile.pageNumber, seed);
}

PDFPageCache::PDFPageCache() { m_cache.setMaxCost(CostLimit); }

QImage PDFPageCache::image(const PDFPageTile &tile) const
{
    QWriteLocker locker(&m_lock);
    const QImage *image = m_cache.object(tile);
    return image ? *image : QImage();
}

bool PDFPageCache::contains(const PDFPageTile &tile) const
{
    QReadLocker locker(&m_lock);
    return m_cache.contains(tile);
}

bool PDFPageCache::insert(const PDFPageTile &tile, const QImage &image, bool replace)
{
    QWriteLocker locker(&m_lock);
    if (!replace && m_cache.contains(tile)) {
        return false;
    }
    const qint64 bytes = image.sizeInBytes();
    const int cost = static_cast<int>(qBound<qint64>(1, bytes, CostLimit));
    return m_cache.insert(tile, new QImage(image), cost);
}

QList<QPair<PDFPageTile, QImage>> PDFPageCache::tilesOfPage(int pageNumber) const
{
    QReadLocker locker(&m_lock);
    QList<QPair<PDFPageTile, QImage>> result;
    const QList<PDFPageTile> keys = m_cache.keys();
    for (const PDFPageTile &tile : keys) {
        if (tile.pageNumber == pageNumber) {
            // QCache::object would reorder the recency list, which the read lock does not allow.
            result.append(qMakePair(tile, QImage()));
        }
    }
    locker.unlock();
    for (auto &entry : result) {
        entry.second = image(entry.first);
    }
    return result;
}

void PDFPageCache::clear()
{
    QWriteLocker locker(&m_lock);
    m_cache.clear();
}

int PDFPageCache::count() const
{
    QReadLocker locker(&m_lock);
    return m_cache.count();
}

} // namespace Backend
