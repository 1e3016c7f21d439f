#include "page.h"

#include <backend/document.h>
#include <backend/pageprocessingrequest.h>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QMutexLocker>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

namespace Backend {

namespace {
std::atomic<quint64> s_nextUid { 1 };
}

Page::Page(Document *parent, int pageNumber)
    : m_parent(parent)
    , m_pageNumber(pageNumber)
    , m_documentLock(
          parent ? parent->documentLock() : QSharedPointer<QReadWriteLock>::create(QReadWriteLock::Recursive))
    , m_uid(s_nextUid++)
{ }

Page::~Page() = default;

Document *Page::parent() const
{
    QReadLocker locker(&m_lock);
    return m_parent;
}

void Page::detachFromParent()
{
    QWriteLocker locker(&m_lock);
    m_parent = nullptr;
}

void Page::requestRender(QObject *listener, double xres, double yres, const QRect &renderBox, bool cache,
    const RenderParam &colors)
{
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (!m_parent) {
        return;
    }
    m_parent->processingThread().addRequest(std::make_unique<PageProcessingRenderPageRequest>(
        sharedFromThis(), listener, xres, yres, renderBox, cache, colors));
}

QVector<QRectF> Page::pictureAreas() const { return {}; }

QString Page::failureReason() const { return {}; }

QVector<QRect> Page::pictureRects(double xres, double yres, const QRect &renderBox) const
{
    const QVector<QRectF> areas = pictureAreas();
    QVector<QRect> rects;
    if (areas.isEmpty()) {
        return rects;
    }
    const QRect box = renderBox.isEmpty() ? wholePageBox(xres, yres) : renderBox;
    const double sx = xres / 72.0;
    const double sy = yres / 72.0;
    for (const QRectF &area : areas) {
        // Edge pixels go to whichever side covers more of them.
        const QRect pixels
            = QRectF(area.x() * sx, area.y() * sy, area.width() * sx, area.height() * sy).toRect();
        const QRect inBox = pixels.intersected(box).translated(-box.topLeft());
        if (!inBox.isEmpty()) {
            rects.append(inBox);
        }
    }
    return rects;
}

QVector<QRect> Page::keptRects(
    const RenderParam &colors, double xres, double yres, const QRect &renderBox) const
{
    if (!colors.keepPictures() || !colors.treatsColors()) {
        return {};
    }
    return pictureRects(xres, yres, renderBox);
}

void Page::requestLinks(QObject *listener)
{
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (!m_parent) {
        return;
    }
    m_parent->processingThread().addRequest(
        std::make_unique<PageProcessingLoadLinksRequest>(sharedFromThis(), listener));
}

void Page::setHiddenAnnotations(const QSet<int> &objectNumbers)
{
    QMutexLocker locker(&m_hiddenMutex);
    if (objectNumbers != m_hiddenAnnotations) {
        m_hiddenAnnotations = objectNumbers;
        ++m_revision;
    }
}

void Page::expectPreparedRender(double xres, double yres)
{
    QMutexLocker locker(&m_preparedMutex);
    m_prepared = PreparedRender { true, false, xres, yres, revision(), {} };
}

void Page::drawPreparedRender()
{
    QMutexLocker locker(&m_preparedMutex);
    if (!m_prepared.expected || m_prepared.drawing || !m_prepared.image.isNull()) {
        return;
    }
    m_prepared.drawing = true;
    const double xres = m_prepared.xres;
    const double yres = m_prepared.yres;
    locker.unlock();
    const QImage image = renderImage(xres, yres);
    locker.relock();
    m_prepared.drawing = false;
    if (m_prepared.expected) {
        m_prepared.image = image;
    }
    m_preparedDrawn.wakeAll();
}

QImage Page::takePreparedRender(double xres, double yres)
{
    QMutexLocker locker(&m_preparedMutex);
    while (m_prepared.expected && m_prepared.drawing) {
        m_preparedDrawn.wait(&m_preparedMutex);
    }
    const PreparedRender prepared = std::exchange(m_prepared, PreparedRender {});
    const auto same = [](double a, double b) { return std::abs(a - b) <= 1e-9 * std::max(a, b); };
    if (prepared.image.isNull() || !same(prepared.xres, xres) || !same(prepared.yres, yres)
        || prepared.revision != revision()) {
        return {};
    }
    return prepared.image;
}

bool Page::hasPreparedRender() const
{
    QMutexLocker locker(&m_preparedMutex);
    return m_prepared.expected && !m_prepared.image.isNull();
}

QSet<int> Page::hiddenAnnotations() const
{
    QMutexLocker locker(&m_hiddenMutex);
    return m_hiddenAnnotations;
}

QList<TextBox> Page::textBoxes() const { return {}; }

QString Page::selectedText(
    const QList<QRectF> &, QMap<int, QRectF> *wordBoxes, QMap<int, QRectF> *charBoxes) const
{
    if (wordBoxes) {
        wordBoxes->clear();
    }
    if (charBoxes) {
        charBoxes->clear();
    }
    return {};
}

QString Page::text(QVector<QRectF> &) const { return {}; }

QList<QSharedPointer<PdfAnnotation::AbstractAnnotation>> Page::loadAnnotations() { return {}; }

QRect Page::wholePageBox(double xres, double yres) const
{
    const QSizeF size = pageSize();
    return QRect(0, 0, static_cast<int>(std::ceil(size.width() * xres / 72.0)),
        static_cast<int>(std::ceil(size.height() * yres / 72.0)));
}

void Page::storeInCache(double xres, double yres, const QRect &renderBox, const QImage &image) const
{
    QReadLocker locker(&m_lock);
    if (!m_parent || image.isNull()) {
        return;
    }
    const QRect box = renderBox.isEmpty() ? QRect(QPoint(0, 0), image.size()) : renderBox;
    m_parent->pageCache().insert(PDFPageTile { xres, yres, box, m_pageNumber }, image);
}

QBrush Page::placeholderBrush()
{
    static const QBrush brush = [] {
        QImage image(1024, 1024, QImage::Format_ARGB32);
        image.fill(Qt::white);
        const QString text = QCoreApplication::translate(" PDFDocumentScene", "rendering page");
        QPainter painter(&image);
        painter.setPen(QColor(Qt::lightGray));
        const QRect bounds = painter.fontMetrics().boundingRect(image.rect(), Qt::AlignCenter, text);
        painter.drawText(image.rect(), Qt::AlignCenter, text);
        painter.end();
        const int dx = static_cast<int>(bounds.width() * 0.05);
        const int dy = static_cast<int>(bounds.height() * 0.10);
        QBrush result(image.copy(bounds.adjusted(-dx, -dy, dx, dy)));
        QTransform transform;
        transform.rotate(-45);
        result.setTransform(transform);
        return result;
    }();
    return brush;
}

QImage Page::pageImage(QObject *listener, double xres, double yres, const QRect &renderBox)
{
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (!m_parent || xres <= 0 || yres <= 0) {
        return {};
    }
    const QRect box = renderBox.isEmpty() ? wholePageBox(xres, yres) : renderBox;
    if (box.isEmpty()) {
        return {};
    }
    PDFPageCache &cache = m_parent->pageCache();
    const PDFPageTile wanted { xres, yres, box, m_pageNumber };
    const QImage cached = cache.image(wanted);
    if (!cached.isNull()) {
        return cached;
    }
    if (listener) {
        m_parent->processingThread().addRequest(std::make_unique<PageProcessingRenderPageRequest>(
            sharedFromThis(), listener, xres, yres, box, true));
    }

    QImage image(box.size(), QImage::Format_ARGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), placeholderBrush());

    struct Candidate
    {
        PDFPageTile tile;
        QImage image;
        QRectF scaledBox;
    };
    std::vector<Candidate> candidates;
    for (const auto &entry : cache.tilesOfPage(m_pageNumber)) {
        const PDFPageTile &tile = entry.first;
        if (entry.second.isNull() || tile.xres <= 0 || tile.yres <= 0) {
            continue;
        }
        const double sx = xres / tile.xres;
        const double sy = yres / tile.yres;
        const QRectF scaled(tile.renderBox.x() * sx, tile.renderBox.y() * sy, tile.renderBox.width() * sx,
            tile.renderBox.height() * sy);
        if (scaled.intersects(box)) {
            candidates.push_back({ tile, entry.second, scaled });
        }
    }
    std::sort(candidates.begin(), candidates.end(),
        [](const Candidate &a, const Candidate &b) { return a.tile.xres > b.tile.xres; });

    QRegion uncovered(box);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const Candidate &candidate : candidates) {
        if (uncovered.isEmpty()) {
            break;
        }
        const QRectF target = candidate.scaledBox.intersected(box);
        const double sx = candidate.image.width() / candidate.scaledBox.width();
        const double sy = candidate.image.height() / candidate.scaledBox.height();
        const QRectF source((target.x() - candidate.scaledBox.x()) * sx,
            (target.y() - candidate.scaledBox.y()) * sy, target.width() * sx, target.height() * sy);
        painter.drawImage(target.translated(-box.topLeft()), candidate.image, source);
        uncovered -= target.toAlignedRect();
    }
    painter.end();
    // The provisional image is not the page: caching it under the tile's key would show the
    // placeholder for good.
    return image;
}

} // namespace Backend
