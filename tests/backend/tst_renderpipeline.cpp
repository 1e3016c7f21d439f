#include <backend/mupdf/context.h>
#include <backend/mupdf/document.h>
#include <backend/mupdf/imagebuffers.h>
#include <backend/page.h>
#include <backend/pageprocessingrequest.h>
#include <backend/pdfpageevents.h>
#include <backend/renderparam.h>
#include <backend/rendertask.h>
#include <backend/tileitem.h>
#include <domain/backgroundmode.h>
#include <domain/largepages.h>

#include "support/mappings.h"
#include "testdocuments.h"

#include <QSignalSpy>
#include <QtTest>

using Backend::MuPDF::Document;

namespace {

const QRgb White = qRgba(255, 255, 255, 255);
const QRgb Blue = qRgba(0, 0, 255, 255);

class RenderListener final : public QObject
{
public:
    QList<double> xres;
    QList<QImage> images;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == Backend::PDFPageRenderedEvent::eventType()) {
            auto *rendered = static_cast<Backend::PDFPageRenderedEvent *>(event);
            xres.append(rendered->xres());
            images.append(rendered->image());
            return true;
        }
        return QObject::event(event);
    }
};

// Records each render answer under its own number into a log that outlives it.
class NumberedListener final : public QObject
{
public:
    NumberedListener(int number, QVector<QPair<int, double>> *log)
        : m_number(number)
        , m_log(log)
    { }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == Backend::PDFPageRenderedEvent::eventType()) {
            m_log->append({ m_number, static_cast<Backend::PDFPageRenderedEvent *>(event)->xres() });
            return true;
        }
        return QObject::event(event);
    }

private:
    const int m_number;
    QVector<QPair<int, double>> *m_log; // not owned
};

QImage solid(QRgb colour)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// One pixel through the treatment as written out plainly: multiply, grey, invert then screen.
QRgb treatedByFormula(QRgb pixel, int flags, const QColor &color)
{
    const auto div255 = [](int x) { return (x + (x >> 8) + 0x80) >> 8; };
    int r = qRed(pixel);
    int g = qGreen(pixel);
    int b = qBlue(pixel);
    int a = qAlpha(pixel);
    if (flags & RenderParam::Multiply) {
        r = div255(r * color.red());
        g = div255(g * color.green());
        b = div255(b * color.blue());
    }
    if (flags & RenderParam::Grey) {
        r = g = b = (11 * r + 16 * g + 5 * b) / 32;
    }
    if (flags & RenderParam::Invert) {
        const auto screen
            = [&](int value, int fill) { return 255 - value + fill - div255((255 - value) * fill); };
        r = screen(r, color.red());
        g = screen(g, color.green());
        b = screen(b, color.blue());
        a = 255;
    }
    return qRgba(r, g, b, a);
}

} // namespace

class TestRenderPipeline final : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void renderParam_equalityAndKey();
    void renderParam_colourTreatment_data();
    void renderParam_colourTreatment();
    void renderParam_treatsEveryPixelAsTheFormulasSay_data();
    void renderParam_treatsEveryPixelAsTheFormulasSay();

    void renderTask_deliversTreatedImage();
    void renderTask_cancelledVisibleRenderStopsWithoutResult();
    void renderTask_takesAPageDrawnAheadOnlyWhereItFits();
    void tileItem_rendersOnMissThenServesFromCache();
    void tileItem_takesAnEndedRenderStillInTheEventQueue();
    void tileItem_ignoresStaleResultsAndRetriesFailuresWithNewParameters();
    void tileItem_softCancelKeepsPrefetchResult();
    void tileItem_destroyedWhileRendering();

    void processingThread_servesNewestFirst();
    void processingThread_answersOnlyListenersThatStillExist();
    void pageImage_composesPlaceholderThenServesRealRender();
    void imageBuffers_pageImagesLieInLargePagesAndAreRecycledOrUnmapped();

private:
    QSharedPointer<Backend::Page> textPage(int index);

    std::unique_ptr<Document> m_document;
};

void TestRenderPipeline::init()
{
    TileItem::clearCache();
    m_document.reset(new Document(TestDocuments::data(QStringLiteral("text.pdf"))));
    QVERIFY(m_document->isValid());
}

QSharedPointer<Backend::Page> TestRenderPipeline::textPage(int index)
{
    return m_document->pageAt(index).toStrongRef();
}

void TestRenderPipeline::renderParam_equalityAndKey()
{
    const RenderParam defaults;
    QCOMPARE(defaults.resolutionX(), 72);
    QCOMPARE(defaults.resolutionY(), 72);
    QCOMPARE(defaults.devicePixelRatio(), 1.0);
    QCOMPARE(defaults.scaleFactor(), 1.0);
    QCOMPARE(defaults.flags(), 0);
    QVERIFY(!defaults.color().isValid());
    QCOMPARE(defaults, RenderParam::defaultParam());

    RenderParam zoomed(72, 72, 2.0, 1.5);
    RenderParam nearly(72, 72, 2.0, 1.5 * (1 + 1e-14));
    QCOMPARE(zoomed, nearly);
    QCOMPARE(zoomed.key().size() > 0, true);
    QVERIFY(zoomed != RenderParam(72, 72, 2.0, 1.51));
    QVERIFY(zoomed != RenderParam(72, 72, 2.0, 1.5, RenderParam::Grey));
    QVERIFY(zoomed != RenderParam(96, 72, 2.0, 1.5));
    QVERIFY(zoomed.key() != RenderParam(72, 72, 2.0, 1.5, RenderParam::Grey).key());
    QCOMPARE(zoomed.renderXres(), 216.0);

    // A copy shares data until written to.
    RenderParam copy = zoomed;
    copy.setScaleFactor(3.0);
    QCOMPARE(zoomed.scaleFactor(), 1.5);

    const RenderParam night(
        Nod::Domain::BackgroundMode(RenderParam::Invert | RenderParam::Grey, Qt::darkBlue));
    QCOMPARE(night.flags(), 3);
    QCOMPARE(night.color(), QColor(Qt::darkBlue));
    QCOMPARE(night.resolutionX(), 72);
}

void TestRenderPipeline::renderParam_colourTreatment_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<uint>("input");
    QTest::addColumn<uint>("expected");
    QTest::newRow("none") << 0 << QColor(Qt::red) << uint(qRgb(200, 100, 50)) << uint(qRgb(200, 100, 50));
    // (11·200 + 16·100 + 5·50) / 32 = 4050 / 32 = 126 in integer division.
    QTest::newRow("grey formula") << int(RenderParam::Grey) << QColor() << uint(qRgb(200, 100, 50))
                                  << uint(qRgb(126, 126, 126));
    QTest::newRow("grey keeps alpha") << int(RenderParam::Grey) << QColor() << uint(qRgba(255, 255, 255, 128))
                                      << uint(qRgba(255, 255, 255, 128));
    QTest::newRow("multiply white paper")
        << int(RenderParam::Multiply) << QColor(250, 240, 200) << uint(White) << uint(qRgb(250, 240, 200));
    QTest::newRow("invert, screen black")
        << int(RenderParam::Invert) << QColor(Qt::black) << uint(White) << uint(qRgb(0, 0, 0));
    QTest::newRow("invert, screen grey")
        << int(RenderParam::Invert) << QColor(64, 64, 64) << uint(White) << uint(qRgb(64, 64, 64));
    // Multiply first, then grey: pure blue paper tinted red becomes black.
    QTest::newRow("multiply then grey") << (RenderParam::Multiply | RenderParam::Grey) << QColor(Qt::red)
                                        << uint(Blue) << uint(qRgb(0, 0, 0));
    // Grey before invert: white → 255 → 0, screened with black stays 0.
    QTest::newRow("grey then invert") << (RenderParam::Grey | RenderParam::Invert) << QColor(Qt::black)
                                      << uint(qRgb(200, 100, 50)) << uint(qRgb(129, 129, 129));
}

void TestRenderPipeline::renderParam_colourTreatment()
{
    QFETCH(int, flags);
    QFETCH(QColor, color);
    QFETCH(uint, input);
    QFETCH(uint, expected);
    QImage image = solid(input);
    const RenderParam param(72, 72, 1.0, 1.0, flags, color);
    QVERIFY(param.applyColorTreatment(image, [] { return false; }));
    QCOMPARE(QString::number(image.pixel(1, 1), 16), QString::number(expected, 16));

    QImage untouched = solid(input);
    if (flags != 0) {
        QVERIFY(!param.applyColorTreatment(untouched, [] { return true; }));
        QCOMPARE(untouched.pixel(1, 1), QRgb(input));
    }
}

void TestRenderPipeline::renderParam_treatsEveryPixelAsTheFormulasSay_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QColor>("color");
    QTest::newRow("night") << int(RenderParam::Invert) << QColor(53, 62, 66);
    QTest::newRow("eye tint") << int(RenderParam::Multiply) << QColor(210, 227, 199);
    QTest::newRow("grey") << int(RenderParam::Grey) << QColor();
    QTest::newRow("all three") << int(RenderParam::Multiply | RenderParam::Grey | RenderParam::Invert)
                               << QColor(228, 221, 195);
    QTest::newRow("tint, then night")
        << int(RenderParam::Multiply | RenderParam::Invert) << QColor(7, 250, 128);
}

void TestRenderPipeline::renderParam_treatsEveryPixelAsTheFormulasSay()
{
    QFETCH(int, flags);
    QFETCH(QColor, color);
    // Rows long enough for blocks of many pixels and an odd remainder; runs of paper white among
    // every channel value, also filling either half of a block of sixteen; a kept rectangle
    // starting and ending inside blocks.
    QImage image(83, 9, QImage::Format_ARGB32_Premultiplied);
    image.fill(White);
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int y = 1; y < image.height(); ++y) {
        for (int x = (y % 3) * 20; x < image.width(); ++x) {
            const quint32 value = next();
            const bool paper = x % 16 == 5 || (y % 2 == 0 && x >= 56 && x < 64);
            image.setPixel(
                x, y, paper ? White : qRgb(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF));
        }
    }
    for (int v = 0; v < 256; ++v) {
        image.setPixel(v % 83, 3 + v / 83, qRgb(v, 255 - v, (v * 7) & 0xFF));
    }
    const QImage before = image;
    const QRect kept(13, 2, 21, 4);
    const RenderParam param(72, 72, 1.0, 1.0, flags, color);
    QVERIFY(param.applyColorTreatment(image, [] { return false; }, { kept }));
    QCOMPARE(image.size(), before.size());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb expected = kept.contains(x, y) ? before.pixel(x, y)
                                                      : treatedByFormula(before.pixel(x, y), flags, color);
            if (image.pixel(x, y) != expected) {
                QFAIL(qPrintable(
                    QStringLiteral("%1,%2: %3 from %4, expected %5")
                        .arg(x)
                        .arg(y)
                        .arg(QString::number(image.pixel(x, y), 16), QString::number(before.pixel(x, y), 16),
                            QString::number(expected, 16))));
            }
        }
    }
}

void TestRenderPipeline::renderTask_deliversTreatedImage()
{
    RenderTask task(textPage(2));
    QSignalSpy ready(&task, &RenderTask::imageReady);
    QSignalSpy finished(&task, &RenderTask::finished);
    const RenderParam param(72, 72, 2.0, 0.5, RenderParam::Grey);
    task.start(param, QRect(), false);
    QVERIFY(finished.wait(10000) || finished.count() == 1);
    QTRY_COMPARE(ready.count(), 1);
    QCOMPARE(ready[0][0].value<RenderParam>(), param);
    const QImage image = ready[0][3].value<QImage>();
    QCOMPARE(image.size(), QSize(300, 400));
    QCOMPARE(image.devicePixelRatio(), 2.0);
    QCOMPARE(image.pixel(100, 100), qRgb(39, 39, 39)); // blue → 5·255 / 32
    QCOMPARE(image.pixel(10, 10), White);
    QVERIFY(ready[0][4].value<QRectF>().isNull());
    task.wait();
    QVERIFY(!task.isRunning());
}

void TestRenderPipeline::renderTask_cancelledVisibleRenderStopsWithoutResult()
{
    Document slow(TestDocuments::data(QStringLiteral("nested-forms.pdf")));
    RenderTask task(slow.pageAt(0).toStrongRef());
    QSignalSpy ready(&task, &RenderTask::imageReady);
    QSignalSpy finished(&task, &RenderTask::finished);
    task.start(RenderParam(150, 150, 1.0, 1.0), QRect(), false);
    QTest::qWait(100);
    QVERIFY(task.isRunning());
    task.cancel();
    QVERIFY(finished.wait(10000) || finished.count() == 1);
    task.wait();
    QTest::qWait(50);
    QCOMPARE(ready.count(), 0);
}

void TestRenderPipeline::renderTask_takesAPageDrawnAheadOnlyWhereItFits()
{
    const QSharedPointer<Backend::Page> page = textPage(2);
    const RenderParam param(72, 72, 2.0, 0.5);
    const double xres = param.renderXres();
    QImage direct = page->renderImage(xres, xres);
    QVERIFY(!direct.isNull());
    direct.setDevicePixelRatio(param.devicePixelRatio());
    const auto prepare = [&page](double resolution) {
        page->expectPreparedRender(resolution, resolution);
        page->drawPreparedRender();
    };

    // At the resolution asked for, the render task takes it; once.
    prepare(xres);
    QVERIFY(page->hasPreparedRender());
    const QImage taken = RenderTask::renderTile(*page, param, QRect());
    QVERIFY(!page->hasPreparedRender());
    QCOMPARE(taken.devicePixelRatio(), 2.0);
    QCOMPARE(taken.convertToFormat(QImage::Format_ARGB32), direct.convertToFormat(QImage::Format_ARGB32));
    QVERIFY(page->takePreparedRender(xres, xres).isNull());

    // A tile, another resolution, or a page that shows something else since: drawn afresh, and
    // what was prepared is let go.
    prepare(xres);
    QVERIFY(!RenderTask::renderTile(*page, param, QRect(0, 0, 10, 10)).isNull());
    QVERIFY(page->hasPreparedRender());
    QVERIFY(page->takePreparedRender(xres * 2, xres * 2).isNull());
    QVERIFY(!page->hasPreparedRender());
    QVERIFY(page->takePreparedRender(xres, xres).isNull());
    prepare(xres);
    page->setHiddenAnnotations({ 9999 });
    QVERIFY(page->takePreparedRender(xres, xres).isNull());

    // Asked for before the drawing began: the asker draws it, and the drawing is not done.
    page->expectPreparedRender(xres, xres);
    QVERIFY(page->takePreparedRender(xres, xres).isNull());
    page->drawPreparedRender();
    QVERIFY(!page->hasPreparedRender());
}

void TestRenderPipeline::tileItem_rendersOnMissThenServesFromCache()
{
    const auto page = textPage(2);
    TileItem tile(page);
    QSignalSpy ready(&tile, &TileItem::imageReady);
    const RenderParam param(72, 72, 1.0, 1.0);
    QVERIFY(tile.pixmap(param).isNull());
    QVERIFY(ready.wait(10000));
    tile.renderTask()->wait(); // the task hands its image over before it winds down
    const QPixmap fresh = tile.pixmap(param);
    QCOMPARE(fresh.size(), QSize(300, 400));
    QVERIFY(TileItem::cacheContains(page, param, QRect()));
    QCOMPARE(TileItem::cacheTotalCost(), 300 * 400 * fresh.depth() / 8);
    // Served from the cache now, without another render.
    QCOMPARE(tile.pixmap(param).cacheKey(), fresh.cacheKey());
    QVERIFY(!tile.renderTask()->isRunning());
    QCOMPARE(tile.startRender(true), 0); // a prefetch of a cached tile does nothing

    // A different zoom misses and renders again.
    const RenderParam zoomed(72, 72, 1.0, 2.0);
    QVERIFY(tile.pixmap(zoomed).isNull());
    QVERIFY(ready.wait(10000));
    QCOMPARE(tile.pixmap(zoomed).size(), QSize(600, 800));

    // Printing renders synchronously without caching.
    TileItem other(textPage(0));
    const QPixmap printed = other.pixmapForPrint(param);
    QCOMPARE(printed.size(), QSize(612, 792));
    QVERIFY(!TileItem::cacheContains(textPage(0), param, QRect()));
}

void TestRenderPipeline::tileItem_takesAnEndedRenderStillInTheEventQueue()
{
    // A paint that comes before the queued result (a window's first paint) draws the image all the
    // same, and starts no second render.
    TileItem tile(textPage(2));
    const RenderParam param(72, 72, 1.0, 1.0);
    QVERIFY(tile.pixmap(param).isNull());
    tile.renderTask()->wait();
    const QPixmap image = tile.pixmap(param);
    QCOMPARE(image.size(), QSize(300, 400));
    QVERIFY(!tile.renderTask()->isRunning());
    QCOMPARE(tile.pixmap(param).cacheKey(), image.cacheKey());
}

void TestRenderPipeline::tileItem_ignoresStaleResultsAndRetriesFailuresWithNewParameters()
{
    TileItem tile(textPage(1));
    QSignalSpy ready(&tile, &TileItem::imageReady);
    const RenderParam current(72, 72, 1.0, 1.0);
    const RenderParam old(72, 72, 1.0, 3.0);
    QVERIFY(tile.pixmap(current).isNull());
    QVERIFY(ready.wait(10000));
    tile.renderTask()->wait();
    // A late result for the previous zoom is dropped.
    TileItem::clearCache();
    const QPixmap rendered = tile.pixmap(current);
    QVERIFY(!rendered.isNull());
    TileItem::clearCache();
    tile.on_renderTask_imageReady(old, QRect(), false, solid(Blue), QRectF());
    QVERIFY(!tile.isFailed());
    QVERIFY(tile.pixmap(current).isNull()); // nothing stored: a new render starts
    QVERIFY(ready.wait(10000));
    tile.renderTask()->wait();

    QVERIFY(!tile.pixmap(current).isNull());

    // A null result marks the tile failed; it never renders again with those parameters.
    TileItem::clearCache();
    tile.on_renderTask_imageReady(current, QRect(), false, QImage(), QRectF());
    QVERIFY(tile.isFailed());
    QVERIFY(tile.pixmap(current).isNull());
    QVERIFY(!tile.renderTask()->isRunning());
    QCOMPARE(tile.startRender(), 0);

    // Other parameters (another zoom) try again.
    const RenderParam other(72, 72, 1.0, 0.5);
    QVERIFY(tile.pixmap(other).isNull());
    QVERIFY(!tile.isFailed());
    QVERIFY(ready.wait(10000));
    tile.renderTask()->wait();
    QCOMPARE(tile.pixmap(other).size(), QSize(306, 396));
}

void TestRenderPipeline::tileItem_softCancelKeepsPrefetchResult()
{
    const auto page = textPage(0);
    TileItem tile(page);
    tile.setRect(QRect(0, 0, 100, 100));
    QSignalSpy ready(&tile, &TileItem::imageReady);
    QCOMPARE(tile.startRender(true), 1);
    tile.cancelRender();
    QVERIFY(ready.wait(10000));
    QVERIFY(TileItem::cacheContains(page, tile.renderParam(), QRect(0, 0, 100, 100)));

    // A forced cancel drops it.
    TileItem::clearCache();
    TileItem second(page);
    QSignalSpy secondReady(&second, &TileItem::imageReady);
    QCOMPARE(second.startRender(true), 1);
    second.renderTask()->cancel(true);
    QVERIFY(secondReady.wait(10000));
    QVERIFY(!TileItem::cacheContains(page, second.renderParam(), QRect()));
}

void TestRenderPipeline::tileItem_destroyedWhileRendering()
{
    Document slow(TestDocuments::data(QStringLiteral("nested-forms.pdf")));
    {
        TileItem tile(slow.pageAt(0).toStrongRef());
        QVERIFY(tile.pixmap(RenderParam(150, 150, 1.0, 1.0)).isNull());
        QTest::qWait(100);
        QVERIFY(tile.renderTask()->isRunning());
    }
    // The destructor force-cancelled the render through the library's abort flag and waited for it.
    QVERIFY(RenderTask::threadPool()->waitForDone(10000));
}

void TestRenderPipeline::processingThread_servesNewestFirst()
{
    // An EPUB has no replicas to turn to, so while its library is held here the worker surely
    // blocks in its first request.
    Document book(TestDocuments::data(QStringLiteral("book.epub")));
    const auto page = book.pageAt(0).toStrongRef();
    RenderListener listener;
    {
        QMutexLocker blocker(&book.context()->mutex());
        page->requestRender(&listener, 10, 10, QRect(), false);
        QTRY_COMPARE(book.processingThread().pendingCount(), 0);
        page->requestRender(&listener, 20, 20, QRect(), false);
        page->requestRender(&listener, 30, 30, QRect(), false);
        page->requestRender(&listener, 20, 20, QRect(), false); // replaces the waiting equal request
        QCOMPARE(book.processingThread().pendingCount(), 2);
    }
    QTRY_COMPARE(listener.xres.size(), 3);
    QCOMPARE(listener.xres, (QList<double> { 10, 20, 30 }));
    QVERIFY(!listener.images[2].isNull());
    QCOMPARE(listener.images[2].size(), page->renderImage(30, 30).size());
}

void TestRenderPipeline::processingThread_answersOnlyListenersThatStillExist()
{
    // A reading view makes and deletes listeners all the time, on the interface thread, while the
    // worker finishes their requests. Every third listener stays; the others go at once, or after
    // some answers came in, while the worker runs.
    const auto page = textPage(0);
    QVector<QPair<int, double>> log;
    std::vector<std::unique_ptr<NumberedListener>> kept;
    QSet<int> deleted;
    constexpr int Listeners = 240;
    for (int i = 0; i < Listeners; ++i) {
        auto listener = std::make_unique<NumberedListener>(i, &log);
        page->requestRender(listener.get(), 4 + i * 0.25, 4 + i * 0.25, QRect(), false);
        if (i % 3 == 0) {
            kept.push_back(std::move(listener));
            continue;
        }
        if (i % 3 == 2) {
            QCoreApplication::processEvents();
        }
        listener.reset();
        deleted.insert(i);
    }
    // An answer already on its way when its listener goes is dropped too.
    auto late = std::make_unique<NumberedListener>(Listeners, &log);
    page->requestRender(late.get(), 2, 2, QRect(), false);
    while (m_document->processingThread().pendingCount() > 0) {
        QThread::msleep(1);
    }
    m_document->processingThread().cancelRequests(); // waits until the worker is idle
    late.reset();
    deleted.insert(Listeners);

    QTRY_COMPARE(log.size()
            - std::count_if(log.begin(), log.end(),
                [&](const QPair<int, double> &entry) { return deleted.contains(entry.first); }),
        int(kept.size()));
    QCoreApplication::processEvents();
    for (const auto &entry : qAsConst(log)) {
        QCOMPARE(entry.second, 4 + entry.first * 0.25);
        QVERIFY(!deleted.contains(entry.first) || entry.first % 3 == 2);
    }
    QSet<int> answered;
    for (const auto &entry : qAsConst(log)) {
        QVERIFY(!answered.contains(entry.first)); // one answer each
        answered.insert(entry.first);
    }
    for (int i = 0; i < Listeners; i += 3) {
        QVERIFY(answered.contains(i));
    }
    QVERIFY(!answered.contains(Listeners));
}

void TestRenderPipeline::pageImage_composesPlaceholderThenServesRealRender()
{
    const auto page = textPage(2);
    // A render at half resolution is the only cached content.
    const QImage half = page->renderImage(36, 36, QRect(), true);
    QCOMPARE(half.size(), QSize(150, 200));

    // Without a listener: a provisional image scaled up from the half-resolution render.
    const QImage provisional = page->pageImage(nullptr, 72, 72, QRect());
    QCOMPARE(provisional.size(), QSize(300, 400));
    QCOMPARE(qBlue(provisional.pixel(100, 100)), 255);
    QVERIFY(qRed(provisional.pixel(100, 100)) < 30);
    QCOMPARE(m_document->processingThread().pendingCount(), 0);
    // It is not the page: it never stands in the cache for the real render.
    QVERIFY(
        m_document->pageCache().image(Backend::PDFPageTile { 72, 72, QRect(0, 0, 300, 400), 2 }).isNull());
    RenderListener waiting;
    page->pageImage(&waiting, 72, 72, QRect());
    QTRY_COMPARE(waiting.images.size(), 1);
    QCOMPARE(page->pageImage(nullptr, 72, 72, QRect()), waiting.images[0]);
    QVERIFY(qRed(waiting.images[0].pixel(100, 100)) < 30);

    // A tile with no cached content shows the placeholder and queues the real render, which
    // replaces the provisional entry when it arrives.
    RenderListener listener;
    const QRect box(0, 0, 100, 100);
    const QImage placeholder = page->pageImage(&listener, 300, 300, box);
    QCOMPARE(placeholder.size(), QSize(100, 100));
    QTRY_COMPARE(listener.images.size(), 1);
    const QImage real = page->pageImage(nullptr, 300, 300, box);
    QCOMPARE(real, listener.images[0]);
    QCOMPARE(real.size(), QSize(100, 100));
    QCOMPARE(real.pixel(99, 99), White); // 300 dpi: the blue box starts at 208 pixels

    // Detached pages answer nothing.
    m_document->clearPages();
    QVERIFY(page->pageImage(&listener, 72, 72, QRect()).isNull());
}

QTEST_MAIN(TestRenderPipeline)
void TestRenderPipeline::imageBuffers_pageImagesLieInLargePagesAndAreRecycledOrUnmapped()
{
    using Nod::Domain::LargePages::kSize;
    if (!Nod::Domain::LargePages::onRequest()) {
        QSKIP("the kernel gives no large pages on request here");
    }
    const auto blockOf
        = [](const QImage &image) { return reinterpret_cast<quintptr>(image.constBits()) - 64; };

    // A page image of a few megabytes starts on a large page, in a mapping advised to use them,
    // and is whole: written end to end, it reads back.
    QImage page = Backend::MuPDF::ImageBuffers::allocate(1300, 1700);
    QVERIFY(!page.isNull());
    QCOMPARE(blockOf(page) % kSize, quintptr(0));
    QVERIFY(mappingFlags(page.constBits()).contains(" hg"));
    page.fill(0xff336699);
    QCOMPARE(page.pixel(1299, 1699), 0xff336699u);
    QCOMPARE(page.pixel(0, 0), 0xff336699u);

    // Let go, its buffer is the next image of that size; a small one still comes from the heap.
    const uchar *const bits = page.constBits();
    page = QImage();
    QImage again = Backend::MuPDF::ImageBuffers::allocate(1300, 1700);
    QCOMPARE(again.constBits(), bits);
    QCOMPARE(again.pixel(1299, 1699), 0xff336699u);
    const QImage icon = Backend::MuPDF::ImageBuffers::allocate(40, 40);
    QVERIFY(!icon.isNull());
    QVERIFY(!mappingFlags(icon.constBits()).contains(" hg"));

    // Beyond what the pool keeps, the oldest buffer is unmapped whole, not handed to the heap.
    QList<QImage> images;
    for (int i = 0; i < 10; ++i) {
        images.append(Backend::MuPDF::ImageBuffers::allocate(1000 + 10 * i, 1000));
        QVERIFY(!images.last().isNull());
    }
    const uchar *const first = images.first().constBits();
    const uchar *const last = images.last().constBits();
    while (!images.isEmpty()) {
        images.removeFirst(); // oldest first
    }
    QVERIFY(mappingFlags(first).isEmpty());
    QVERIFY(mappingFlags(last).contains(" hg"));

    // The length mapped: a tail under a quarter of a large page is rounded up, a longer one is
    // left in small pages rather than wasting most of a large one.
    std::size_t length = 0;
    void *block = Nod::Domain::LargePages::map(2 * kSize - 100 * 1024, &length);
    QVERIFY(block);
    QCOMPARE(length, 2 * kSize);
    Nod::Domain::LargePages::unmap(block, length);
    block = Nod::Domain::LargePages::map(kSize + 4096, &length);
    QVERIFY(block);
    QCOMPARE(reinterpret_cast<quintptr>(block) % kSize, quintptr(0));
    QCOMPARE(length, kSize + 4096);
    static_cast<char *>(block)[length - 1] = 1;
    Nod::Domain::LargePages::unmap(block, length);
    QVERIFY(mappingFlags(block).isEmpty());
}

#include "tst_renderpipeline.moc"
