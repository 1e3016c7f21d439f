#include "readingpageitem.h"

#include <reading/backgroundmodeholder.h>
#include <reading/pdfdocumentview.h>
#include <reading/pdflinkgraphicsitem.h>

#include <backend/document.h>
#include <backend/page.h>
#include <backend/pdfpageevents.h>
#include <backend/rendertask.h>
#include <backend/tileitem.h>

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <cmath>

namespace {

quint64 cellKey(int column, int row) { return (quint64(quint32(column)) << 32) | quint32(row); }
int cellColumn(quint64 key) { return int(quint32(key >> 32)); }
int cellRow(quint64 key) { return int(quint32(key)); }

PDFDocumentView *documentViewOf(QWidget *widget)
{
    return widget ? qobject_cast<PDFDocumentView *>(widget->parentWidget()) : nullptr;
}

} // namespace

ReadingPageItem::ReadingPageItem(const QWeakPointer<Backend::Page> &page, int pageNumber, double resolutionX,
    double resolutionY, const QSizeF &fallbackSize, QGraphicsItem *parent)
    : Base::Page(page, pageNumber, resolutionX, resolutionY, fallbackSize, parent)
{ }

ReadingPageItem::ReadingPageItem(const QSharedPointer<Backend::Document> &document, int pageNumber,
    double resolutionX, double resolutionY, const QSizeF &size, QGraphicsItem *parent)
    : Base::Page(document, pageNumber, resolutionX, resolutionY, size, parent)
{ }

ReadingPageItem::~ReadingPageItem() = default;

RenderParam ReadingPageItem::renderParamFor(double zoom, double devicePixelRatio) const
{
    RenderParam param(int(m_dpiX), int(m_dpiY), devicePixelRatio, zoom);
    BackgroundModeHolder::instance()->applyTo(param);
    return param;
}

RenderParam ReadingPageItem::previewParamFor(const RenderParam &param) const
{
    RenderParam preview = param;
    preview.setScaleFactor(previewZoom(pageRect().size(), m_dpiX, param));
    return preview;
}

double ReadingPageItem::previewZoom(const QSizeF &itemSize, double dpiX, const RenderParam &param)
{
    const double zoom = param.scaleFactor();
    // Device pixels per item unit at this zoom.
    const double pixelsPerUnit = param.renderXres() / dpiX;
    const double pagePixels = itemSize.width() * pixelsPerUnit * itemSize.height() * pixelsPerUnit;
    // The whole-page render stays under the limit; beyond it, a smaller preview shows under the
    // tiles until they arrive.
    return pagePixels * 4 <= WholePageLimit ? zoom
                                            : zoom * std::sqrt(double(PreviewLimit) / (pagePixels * 4));
}

QPair<double, double> ReadingPageItem::firstRenderResolution(
    const QSizeF &pointSize, double dpiX, double dpiY, double devicePixelRatio, double zoom)
{
    // As the scene places the page and renderParamFor() and previewParamFor() draw it.
    RenderParam param(int(dpiX), int(dpiY), devicePixelRatio, zoom);
    const QSizeF itemSize(pointSize.width() * dpiX / 72.0, pointSize.height() * dpiY / 72.0);
    param.setScaleFactor(previewZoom(itemSize, dpiX, param));
    return { param.renderXres(), param.renderYres() };
}

void ReadingPageItem::ensurePreviewTile(const QSharedPointer<Backend::Page> &page)
{
    if (!m_previewTile) {
        m_previewTile = new TileItem(page, this);
        connect(m_previewTile, &TileItem::imageReady, this, &ReadingPageItem::on_imageReady);
    }
}

void ReadingPageItem::prepareRender(double zoom, double devicePixelRatio)
{
    const QSharedPointer<Backend::Page> page = Base::Page::page().toStrongRef();
    if (!page) {
        return;
    }
    ensurePreviewTile(page);
    m_previewTile->pixmap(previewParamFor(renderParamFor(zoom, devicePixelRatio)));
}

void ReadingPageItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    const QSharedPointer<Backend::Page> page = Base::Page::page().toStrongRef();
    if (!page) {
        paintUnloadable(painter, widget);
        return;
    }
    if (!m_linksRequested) {
        m_linksRequested = true;
        page->requestLinks(this);
        // Marks and notes are made on the first paint, once painting is over.
        QMetaObject::invokeMethod(this, &Base::Page::requestPopulateChildren, Qt::QueuedConnection);
    }
    const QTransform world = painter->worldTransform();
    const double zoom = world.m11();
    if (std::abs(zoom - m_zoom) > 1e-12 * std::max(std::abs(zoom), std::abs(m_zoom))) {
        m_zoom = zoom;
    }
    if (!documentViewOf(widget)) {
        paintForPrint(painter);
        return;
    }

    const double ratio = painter->device()->devicePixelRatioF();
    const RenderParam param = renderParamFor(zoom, ratio);
    const QRectF deviceRect = world.mapRect(pageRect());
    const RenderParam previewParam = previewParamFor(param);
    const double previewZoom = previewParam.scaleFactor();
    ensurePreviewTile(page);

    painter->save();
    painter->setWorldTransform(QTransform());
    painter->fillRect(deviceRect, param.flags() ? param.color() : QColor(Qt::white));
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QPixmap preview = m_previewTile->pixmap(previewParam);
    if (!preview.isNull()) {
        m_fallback = preview;
    }
    if (!m_fallback.isNull()) {
        if (m_fallback.cacheKey() == preview.cacheKey() && previewZoom == zoom) {
            painter->drawPixmap(deviceRect.topLeft(), m_fallback);
        } else {
            painter->drawPixmap(deviceRect, m_fallback, QRectF(m_fallback.rect()));
        }
    }
    m_sharp = !preview.isNull() && previewZoom == zoom;
    if (previewZoom < zoom) {
        QRectF exposed = option ? option->exposedRect : boundingRect();
        if (widget) {
            // Only what the view shows; exposed areas outside it come from scrolling past.
            exposed &= world.inverted().mapRect(QRectF(widget->rect()));
        }
        m_sharp = paintTiles(painter, world, exposed & pageRect(), param);
    } else if (!m_gridTiles.isEmpty()) {
        for (TileItem *tile : qAsConst(m_gridTiles)) {
            tile->deleteAfterRender();
        }
        m_gridTiles.clear();
    }
    if (m_previewTile->isFailed()) {
        paintFailure(painter, deviceRect, page->failureReason(), param.flags() & RenderParam::Invert);
    }
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(Qt::lightGray, 0));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(deviceRect);
    painter->restore();
}

void ReadingPageItem::paintUnloadable(QPainter *painter, QWidget *widget)
{
    const QSharedPointer<Backend::Document> document = m_document.toStrongRef();
    const QString reason = document ? document->pageFailure(m_pageNumber) : QString();
    if (reason.isEmpty()) {
        return;
    }
    const bool dark = widget && (BackgroundModeHolder::instance()->mode().mode() & RenderParam::Invert);
    painter->save();
    painter->fillRect(
        pageRect(), dark ? BackgroundModeHolder::instance()->mode().color() : QColor(Qt::white));
    paintFailure(painter, pageRect(), reason, dark);
    painter->setPen(QPen(Qt::lightGray, 0));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(pageRect());
    painter->restore();
}

void ReadingPageItem::paintFailure(QPainter *painter, const QRectF &rect, const QString &reason, bool dark)
{
    const QString text = tr("This page could not be shown: %1")
                             .arg(reason.isEmpty() ? tr("the document is damaged") : reason);
    const double margin = std::min(rect.width(), rect.height()) * 0.1;
    painter->save();
    painter->setPen(dark ? QColor(Qt::lightGray) : QColor(Qt::darkGray));
    painter->drawText(
        rect.adjusted(margin, margin, -margin, -margin), Qt::AlignCenter | Qt::TextWordWrap, text);
    painter->restore();
}

bool ReadingPageItem::paintTiles(
    QPainter *painter, const QTransform &world, const QRectF &exposed, const RenderParam &param)
{
    const QSharedPointer<Backend::Page> page = Base::Page::page().toStrongRef();
    if (!page || exposed.isEmpty()) {
        return true;
    }
    bool complete = true;
    const double ratio = param.devicePixelRatio();
    const double pixelsPerUnit = param.renderXres() / m_dpiX;
    const QRectF pixels(exposed.topLeft() * pixelsPerUnit, exposed.size() * pixelsPerUnit);
    const int firstColumn = std::max(0, int(std::floor(pixels.left() / TileSize)));
    const int lastColumn = int(std::floor((pixels.right() - 1e-6) / TileSize));
    const int firstRow = std::max(0, int(std::floor(pixels.top() / TileSize)));
    const int lastRow = int(std::floor((pixels.bottom() - 1e-6) / TileSize));

    // Tiles out of sight are dropped so that a page's tiles stay bounded by the viewport.
    for (auto it = m_gridTiles.begin(); it != m_gridTiles.end();) {
        const int column = cellColumn(it.key());
        const int row = cellRow(it.key());
        if (column < firstColumn - 1 || column > lastColumn + 1 || row < firstRow - 1 || row > lastRow + 1) {
            it.value()->deleteAfterRender();
            it = m_gridTiles.erase(it);
        } else {
            ++it;
        }
    }
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            TileItem *&tile = m_gridTiles[cellKey(column, row)];
            if (!tile) {
                tile = new TileItem(page, this);
                tile->setRect(QRect(column * TileSize, row * TileSize, TileSize, TileSize));
                connect(tile, &TileItem::imageReady, this, &ReadingPageItem::on_imageReady);
            }
            const QPixmap pixmap = tile->pixmap(param);
            if (pixmap.isNull()) {
                complete = false;
                continue;
            }
            // The tile's top-left in item units, then in the painter's (logical device) space.
            const QPointF itemPos(column * TileSize / pixelsPerUnit, row * TileSize / pixelsPerUnit);
            const QPointF devicePos = world.map(itemPos);
            painter->drawPixmap(
                QPointF(std::round(devicePos.x() * ratio) / ratio, std::round(devicePos.y() * ratio) / ratio),
                pixmap);
        }
    }
    return complete;
}

bool ReadingPageItem::paintForPrint(QPainter *painter)
{
    const QSharedPointer<Backend::Page> page = Base::Page::page().toStrongRef();
    painter->fillRect(pageRect(), Qt::white);
    bool ok = false;
    if (page) {
        const double scale = painter->worldTransform().m11();
        const RenderParam param(int(m_dpiX), int(m_dpiY), 1.0, scale > 0 ? scale : 1.0);
        const QImage image = RenderTask::renderTile(*page, param, QRect());
        if (!image.isNull()) {
            painter->save();
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->drawImage(pageRect(), image, QRectF(QPointF(0, 0), QSizeF(image.size())));
            painter->restore();
            ok = true;
        } else {
            qWarning("Page %d could not be rendered for printing", m_pageNumber + 1);
            paintFailure(painter, pageRect(), page->failureReason(), false);
        }
    }
    painter->save();
    painter->setPen(QPen(Qt::lightGray, 0));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(pageRect());
    painter->restore();
    return ok;
}

void ReadingPageItem::cancelRenders()
{
    if (m_previewTile) {
        m_previewTile->cancelRender();
    }
    for (TileItem *tile : qAsConst(m_gridTiles)) {
        tile->deleteAfterRender();
    }
    m_gridTiles.clear();
    m_fallback = QPixmap();
    m_sharp = false;
}

void ReadingPageItem::backgroundModeChanged()
{
    cancelRenders();
    update();
}

bool ReadingPageItem::hasActiveRenders() const
{
    if (m_previewTile && m_previewTile->renderTask()->isRunning()) {
        return true;
    }
    for (TileItem *tile : qAsConst(m_gridTiles)) {
        if (tile->renderTask()->isRunning()) {
            return true;
        }
    }
    return false;
}

bool ReadingPageItem::event(QEvent *event)
{
    if (event->type() == Backend::PDFLinksLoadedEvent::eventType()) {
        addLinks(static_cast<Backend::PDFLinksLoadedEvent *>(event)->links());
        event->accept();
        return true;
    }
    if (event->type() == Backend::PDFPageRenderedEvent::eventType()) {
        update();
        event->accept();
        return true;
    }
    return Base::Page::event(event);
}

void ReadingPageItem::addLinks(const QList<QSharedPointer<PdfAnnotation::Link>> &links)
{
    for (const QSharedPointer<PdfAnnotation::Link> &link : links) {
        auto *item = new PDFLinkGraphicsItem(link, this);
        item->setTransform(m_pointScale);
        m_linkItems.append(item);
    }
    // The link areas draw nothing: the page looks as it did, and a repaint of it would cost as much
    // as its first.
}

void ReadingPageItem::retranslateUi()
{
    for (PDFLinkGraphicsItem *item : qAsConst(m_linkItems)) {
        item->retranslateUi();
    }
}

void ReadingPageItem::on_imageReady()
{
    update();
    emit rendered();
}
