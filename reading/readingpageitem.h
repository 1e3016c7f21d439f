#pragma once

#include <reading/basepage.h>

#include <backend/link.h>
#include <backend/renderparam.h>

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QSharedPointer>

class PDFLinkGraphicsItem;
class TileItem;

// A page of the reading scene. It paints from TileItems: at low zoom one tile holds the whole page;
// beyond a size limit the page is cut into a grid of tiles and only the exposed ones are rendered,
// over a whole-page preview of bounded size, so a page's memory stays bounded at any zoom. Renders
// run off the interface thread; the item repaints when one arrives. Its links are requested on the
// first paint and shown as PDFLinkGraphicsItem children.
class ReadingPageItem final : public Base::Page
{
    Q_OBJECT

public:
    enum { Type = UserType + 2 };
    // Side of a grid tile, in device pixels.
    static constexpr int TileSize = 512;
    // Largest whole-page render, in bytes; above it the page is tiled.
    static constexpr qint64 WholePageLimit = 8 << 20;
    // Largest preview under the tiles of a tiled page: about a screen's worth of the page, blurred
    // for the moment the tiles take to arrive.
    static constexpr qint64 PreviewLimit = 2 << 20;

    ReadingPageItem(const QWeakPointer<Backend::Page> &page, int pageNumber, double resolutionX,
        double resolutionY, const QSizeF &fallbackSize = QSizeF(612, 792), QGraphicsItem *parent = nullptr);
    // The back-end page is made on first paint.
    ReadingPageItem(const QSharedPointer<Backend::Document> &document, int pageNumber, double resolutionX,
        double resolutionY, const QSizeF &size, QGraphicsItem *parent = nullptr);
    ~ReadingPageItem() override;

    int type() const override { return Type; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
    bool event(QEvent *event) override;

    // Paints the page for a printer or an image, rendering on this thread at the device's
    // resolution; false when the page could not be rendered.
    bool paintForPrint(QPainter *painter);
    // Starts rendering the page as a view at this zoom would first paint it, so that the image
    // is on its way while the window is still being laid out and painted.
    void prepareRender(double zoom, double devicePixelRatio);
    // The resolution (x and y, dots per inch) of the first render of a page of this size (in
    // points) in a view at this zoom, whose pages are placed at dpiX × dpiY: what prepareRender()
    // asks for, known before there is a view.
    static QPair<double, double> firstRenderResolution(
        const QSizeF &pointSize, double dpiX, double dpiY, double devicePixelRatio, double zoom);
    // Stops renders in flight and drops the pixmaps this page holds (the cache keeps its copies).
    void cancelRenders();
    // Renders afresh in the background mode now in force; nothing of the old mode is shown again.
    void backgroundModeChanged();
    bool hasActiveRenders() const;
    // The last paint showed final images of everything it exposed, at the zoom it painted at.
    bool isSharp() const { return m_sharp; }
    const QList<PDFLinkGraphicsItem *> &linkItems() const { return m_linkItems; }
    bool linksRequested() const { return m_linksRequested; }
    void retranslateUi();

signals:
    void rendered();

private:
    void addLinks(const QList<QSharedPointer<PdfAnnotation::Link>> &links);
    void on_imageReady();
    RenderParam renderParamFor(double zoom, double devicePixelRatio) const;
    // A page the back-end could not make: the reason on a blank page, when the back-end gave one.
    void paintUnloadable(QPainter *painter, QWidget *widget);
    // Tells the reader, on the page itself, why it shows no image.
    static void paintFailure(QPainter *painter, const QRectF &rect, const QString &reason, bool dark);
    // The whole page at param's zoom, or a smaller preview of a page too large for one image.
    RenderParam previewParamFor(const RenderParam &param) const;
    // The zoom of the whole-page render under param of a page of itemSize (in item units).
    static double previewZoom(const QSizeF &itemSize, double dpiX, const RenderParam &param);
    void ensurePreviewTile(const QSharedPointer<Backend::Page> &page);
    // True when every exposed tile was painted.
    bool paintTiles(
        QPainter *painter, const QTransform &world, const QRectF &exposed, const RenderParam &param);

    TileItem *m_previewTile = nullptr; // child; whole page up to WholePageLimit
    QHash<quint64, TileItem *> m_gridTiles; // children, by grid cell (column, row)
    QPixmap m_fallback; // the last whole-page image shown, drawn scaled while a new one renders
    bool m_sharp = false;
    bool m_linksRequested = false;
    QList<PDFLinkGraphicsItem *> m_linkItems; // children
};
