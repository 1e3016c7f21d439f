#pragma once

#include <QCache>
#include <QImage>
#include <QList>
#include <QPair>
#include <QReadWriteLock>
#include <QRect>

namespace Backend {

// Identifies one rendered area of a page at one resolution.
struct PDFPageTile
{
    double xres = 0;
    double yres = 0;
    QRect renderBox;
    int pageNumber = -1;

    bool operator==(const PDFPageTile &other) const
    {
        return xres == other.xres && yres == other.yres && renderBox == other.renderBox
            && pageNumber == other.pageNumber;
    }
};

uint qHash(const PDFPageTile &tile, uint seed = 0);

// The document's least-recently-used cache of rendered page areas, bounded by byte size.
// Thread-safe: every operation takes the cache's own lock.
class PDFPageCache final
{
public:
    static constexpr int CostLimit = 1 << 30;

    PDFPageCache();
    Q_DISABLE_COPY_MOVE(PDFPageCache)

    // A null image when the tile is not cached.
    QImage image(const PDFPageTile &tile) const;
    bool contains(const PDFPageTile &tile) const;
    // Keeps an existing entry unless replace is set; returns whether the image was stored.
    bool insert(const PDFPageTile &tile, const QImage &image, bool replace = true);
    QList<QPair<PDFPageTile, QImage>> tilesOfPage(int pageNumber) const;
    void clear();
    int count() const;

private:
    mutable QReadWriteLock m_lock;
    // A lookup reorders the cache's recency list, so even lookups take the lock for writing.
    mutable QCache<PDFPageTile, QImage> m_cache;
};

} // namespace Backend
