#pragma once

#include <backend/link.h>
#include <backend/renderparam.h>
#include <backend/searchresult.h>
#include <backend/textbox.h>

#include <QEnableSharedFromThis>
#include <QImage>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QReadWriteLock>
#include <QRect>
#include <QSet>
#include <QSharedPointer>
#include <QSizeF>
#include <QVector>
#include <QWaitCondition>

#include <atomic>

class QObject;

namespace Backend {

class Document;
class RenderCookie;

// One page of a Document. Pages are created by Document::pageAt and shared; a page kept after its
// document detached it (clearPages, reload) still answers queries but drops asynchronous requests.
//
// Locking: the document lock first, then the page lock. Synchronous calls may come from any thread.
class Page : public QEnableSharedFromThis<Page>
{
public:
    Page(Document *parent, int pageNumber);
    virtual ~Page();
    Q_DISABLE_COPY_MOVE(Page)

    virtual void detachFromParent();
    // Queues a render on the document's processing thread; the listener gets a PDFPageRenderedEvent.
    // Listeners live on the interface thread; one deleted before its answer arrives gets none.
    // The answer has the colour treatment of colors (its resolutions are not used); what the cache
    // keeps is untreated.
    virtual void requestRender(QObject *listener, double xres, double yres, const QRect &renderBox,
        bool cache, const RenderParam &colors = RenderParam::defaultParam());
    // In points.
    virtual QSizeF pageSize() const = 0;
    // Computed once and cached.
    virtual QList<QSharedPointer<PdfAnnotation::Link>> loadLinks() = 0;
    // The listener gets a PDFLinksLoadedEvent.
    virtual void requestLinks(QObject *listener);
    virtual QList<TextBox> textBoxes() const;
    virtual QString selectedText(const QList<QRectF> &selection, QMap<int, QRectF> *wordBoxes = nullptr,
        QMap<int, QRectF> *charBoxes = nullptr) const;
    // Fills rects with one rectangle per UTF-16 unit of the returned text.
    virtual QString text(QVector<QRectF> &rects) const;
    // Resolutions in dots per inch (72 = one pixel per point). renderBox is in pixels of the
    // rendered page; an empty box renders the whole page. An aborted cookie yields a null image.
    // With cache set, a successful render is stored in the document's page cache.
    virtual QImage renderImage(double xres, double yres, const QRect &renderBox = QRect(), bool cache = false,
        RenderCookie *cookie = nullptr) const = 0;
    virtual QList<QSharedPointer<PdfAnnotation::AbstractAnnotation>> loadAnnotations();
    // Why the last render gave no image, in the library's words; empty after one that did.
    virtual QString failureReason() const;
    // The areas raster pictures cover, in points from the page's top-left corner; none for a page
    // without pictures and for a scan (ScannedPageCoverage). Found once and kept with the page.
    virtual QVector<QRectF> pictureAreas() const;
    // The same areas in the pixels of a render at xres × yres of renderBox (empty: the whole page),
    // cut to the box.
    QVector<QRect> pictureRects(double xres, double yres, const QRect &renderBox) const;
    // What the colour treatment of colors leaves alone in that render: the pictures, when colors
    // keeps them and treats colours at all.
    QVector<QRect> keptRects(
        const RenderParam &colors, double xres, double yres, const QRect &renderBox) const;
    // A picture covering at least this share of the page makes the page a scan. Text blocks
    // take under two thirds of common page formats, so a figure inside the margins stays below it,
    // while a scanned page fills the page but for what the scanner cropped.
    static constexpr double ScannedPageCoverage = 0.75;
    virtual QVector<SearchResult> search(const QString &text, int flags) const = 0;

    // The cached image of the area, or a provisional one made of the placeholder pattern and any
    // cached renders of this page at other resolutions; with a listener, the real render is queued.
    QImage pageImage(QObject *listener, double xres, double yres, const QRect &renderBox);

    // The file's own annotations, by object number, that renders of this page leave out: the
    // program shows them its own way. The file itself is not changed. Any thread.
    void setHiddenAnnotations(const QSet<int> &objectNumbers);
    QSet<int> hiddenAnnotations() const;
    // Changes whenever what a render of the page shows changes without its parameters changing; it
    // is part of the key under which renders are kept.
    quint64 revision() const { return m_revision.load(); }

    // A whole-page render drawn before any view asks for it: the page a start opens on, drawn
    // while its window is still being built. expectPreparedRender() names the resolution,
    // drawPreparedRender() draws it (on any thread, once). The first whole-page render of the page
    // takes it (takePreparedRender) when it is at that resolution and the page shows the same as
    // when it was expected; one asking while it is being drawn waits for it rather than drawing
    // the page a second time, one asking before the drawing began draws the page itself.
    void expectPreparedRender(double xres, double yres);
    void drawPreparedRender();
    // Null when nothing prepared fits; what was prepared is let go either way.
    QImage takePreparedRender(double xres, double yres);
    // Whether a render drawn ahead waits to be taken.
    bool hasPreparedRender() const;

    int pageNumber() const { return m_pageNumber; }
    // Null once detached.
    Document *parent() const;
    // Unique over the process's lifetime, unlike the object's address.
    quint64 uid() const { return m_uid; }
    static QBrush placeholderBrush();

protected:
    // Stores a finished render in the parent's cache; needs the document lock held.
    void storeInCache(double xres, double yres, const QRect &renderBox, const QImage &image) const;
    QRect wholePageBox(double xres, double yres) const;

    Document *m_parent; // not owned; guarded by m_lock
    const int m_pageNumber;
    mutable QReadWriteLock m_lock { QReadWriteLock::Recursive };
    QSharedPointer<QReadWriteLock> m_documentLock;
    const quint64 m_uid;

private:
    // Apart from the page lock, so that changing the set never waits for a render in progress.
    mutable QMutex m_hiddenMutex;
    QSet<int> m_hiddenAnnotations; // guarded by m_hiddenMutex
    std::atomic<quint64> m_revision { 0 };

    struct PreparedRender
    {
        bool expected = false;
        bool drawing = false;
        double xres = 0;
        double yres = 0;
        quint64 revision = 0;
        QImage image;
    };
    mutable QMutex m_preparedMutex;
    QWaitCondition m_preparedDrawn;
    PreparedRender m_prepared; // guarded by m_preparedMutex
};

} // namespace Backend
