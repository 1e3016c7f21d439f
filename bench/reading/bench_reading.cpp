// bench_reading FILE [SCREENSHOT_DIR]
//
// Opens FILE in the reading view (a 1000 × 800 window) and measures what a reader feels: the time
// from opening to the first page painted sharp, the scene build, the longest stall of the interface
// thread and the frame rate while scrolling through 300 pages at 60 steps a second (a 1 ms watchdog
// timer measures the stalls), the time from moving the scroll bar to page 2000 to that page painted
// sharp, the time from choosing a background mode to the page on screen painted sharp in it, and
// the peak memory after scrolling the whole document and after zooming to 8x, and the time a reload
// of the file takes with the longest stall meanwhile. For an
// EPUB it also times the off-thread open and the stalls meanwhile, against mutool's count script.
// With SCREENSHOT_DIR, the view is saved as PNG at each stage.

#include <reading/backgroundmodeholder.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>

#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/documentloader.h>

#include <bench/benchsupport.h>
#include <bench/interfacewatch.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

using Bench::print;
using Bench::rssMiB;
using Bench::Watchdog;

namespace {

// Counts the frames the viewport paints.
class FrameCounter final : public QObject
{
public:
    int frames = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++frames;
        }
        return false;
    }
};

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

bool pageSharp(PDFDocumentView &view, int index)
{
    ReadingPageItem *page = view.pdfScene()->readingPageAt(index);
    if (!page) {
        return false;
    }
    view.viewport()->repaint();
    return page->isSharp();
}

void shoot(PDFDocumentView &view, const QString &dir, const QString &name)
{
    if (!dir.isEmpty()) {
        view.window()->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }
}

double mutoolCountMs(const QString &file)
{
    const QString script = QDir(QStringLiteral(NODERA_BENCH_SCRIPTS)).filePath(QStringLiteral("count.js"));
    if (!QFileInfo::exists(script)) {
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(QStringLiteral("mutool"), { QStringLiteral("run"), script, file });
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        return -1;
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_reading FILE [SCREENSHOT_DIR]\n");
        return 2;
    }
    const QString file = QFileInfo(args.at(1)).absoluteFilePath();
    const QString shots = args.value(2);
    const bool epub = QFileInfo(file).suffix().compare(QLatin1String("epub"), Qt::CaseInsensitive) == 0;

    PDFDocumentView view;
    view.resize(1000, 800);
    view.show();
    QCoreApplication::processEvents();
    const double idle = rssMiB("VmRSS");
    print("idle_rss_mib", idle, "MiB");

    Watchdog watchdog;
    if (epub) {
        Backend::DocumentLoader loader;
        bool done = false;
        QObject::connect(&loader, &Backend::DocumentLoader::finished, [&done] { done = true; });
        QElapsedTimer timer;
        timer.start();
        watchdog.start();
        loader.start(file);
        waitFor([&done] { return done; }, 600000);
        const double stall = watchdog.stop();
        print("epub_open_ms", timer.nsecsElapsed() / 1e6, "ms");
        print("epub_open_max_ui_stall_ms", stall, "ms");
        print("mutool_count_ms", mutoolCountMs(file), "ms");
    }

    QElapsedTimer openTimer;
    openTimer.start();
    const QSharedPointer<Backend::Document> document = BackendManager::instance()->openDocument(file);
    if (!document || !document->isValid()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    QElapsedTimer buildTimer;
    buildTimer.start();
    auto scene = QSharedPointer<PDFDocumentScene>::create(
        document, 1, nullptr, view.logicalDpiX(), view.logicalDpiY());
    const double buildMs = buildTimer.nsecsElapsed() / 1e6;
    view.setScene(scene);
    const bool firstSharp = waitFor([&view] { return pageSharp(view, 0); }, 60000);
    print("open_to_first_page_ms", firstSharp ? openTimer.nsecsElapsed() / 1e6 : -1, "ms");
    print("scene_build_ms", buildMs, "ms");
    print("pages", scene->pageCount(), "pages");
    shoot(view, shots, QStringLiteral("1-first-page"));

    // Reloading, as after a save by another program: until the pages are back, and the longest the
    // interface waits meanwhile.
    bool reloaded = false;
    const QMetaObject::Connection onReload = QObject::connect(
        scene.data(), &PDFDocumentScene::documentChanged, [&reloaded] { reloaded = true; });
    QElapsedTimer reloadTimer;
    reloadTimer.start();
    watchdog.start();
    scene->reloadDocument();
    const bool reloadDone = waitFor([&reloaded] { return reloaded; }, 600000);
    const double reloadStall = watchdog.stop();
    QObject::disconnect(onReload);
    print("reload_ms", reloadDone ? reloadTimer.nsecsElapsed() / 1e6 : -1, "ms");
    print("reload_max_ui_stall_ms", reloadStall, "ms");
    waitFor([&view] { return pageSharp(view, 0); }, 60000);

    // Choosing a background mode with the first page in sight, until that page shows it sharp; each
    // mode is new to the page, so no render of it is cached. The slowest of three counts.
    double switchMs = 0;
    for (const Nod::Domain::BackgroundMode &mode : { Nod::Domain::BackgroundMode(1, QColor(53, 62, 66)),
             Nod::Domain::BackgroundMode(8, QColor(210, 227, 199)),
             Nod::Domain::BackgroundMode(8, QColor(228, 221, 195)) }) {
        QElapsedTimer switchTimer;
        switchTimer.start();
        BackgroundModeHolder::instance()->setMode(mode);
        const bool switched = waitFor([&view] { return pageSharp(view, 0); }, 60000);
        switchMs = std::max(switchMs, switched ? switchTimer.nsecsElapsed() / 1e6 : 60000.0);
    }
    print("mode_switch_repaint_ms", switchMs, "ms");
    shoot(view, shots, QStringLiteral("1-parchment-mode"));
    BackgroundModeHolder::instance()->setMode(Nod::Domain::BackgroundMode());
    waitFor([&view] { return pageSharp(view, 0); }, 60000);

    // Continuous scrolling through 300 pages (or the whole document) at 60 steps a second.
    QScrollBar *bar = view.verticalScrollBar();
    const int pagesToScroll = std::min(300, scene->pageCount() - 1);
    const ReadingPageItem *target = scene->readingPageAt(pagesToScroll);
    const int endValue = std::min(bar->maximum(), int(target->sceneBoundingRect().top()));
    const int steps = std::max(1, pagesToScroll * 2); // half a page a step
    const double stepSize = double(endValue - bar->value()) / steps;
    FrameCounter frames;
    view.viewport()->installEventFilter(&frames);
    QTimer stepper;
    stepper.setTimerType(Qt::PreciseTimer);
    stepper.setInterval(1000 / 60);
    int step = 0;
    const int startValue = bar->value();
    QObject::connect(&stepper, &QTimer::timeout, [&] {
        ++step;
        bar->setValue(startValue + int(step * stepSize));
        if (step >= steps) {
            stepper.stop();
        }
    });
    QElapsedTimer scrollTimer;
    scrollTimer.start();
    watchdog.start();
    stepper.start();
    waitFor([&stepper] { return !stepper.isActive(); }, 600000);
    const double stall = watchdog.stop();
    const double seconds = scrollTimer.nsecsElapsed() / 1e9;
    print("max_ui_stall_ms", stall, "ms");
    print("frames_per_s", frames.frames / seconds, "frames/s");
    shoot(view, shots, QStringLiteral("2-after-scroll"));

    // Jump with the scroll bar to page 2000 (or the last page of a shorter document).
    const int jumpPage = std::min(1999, scene->pageCount() - 1);
    QElapsedTimer jumpTimer;
    jumpTimer.start();
    bar->setValue(int(scene->readingPageAt(jumpPage)->sceneBoundingRect().top()));
    const bool jumpSharp = waitFor([&] { return pageSharp(view, jumpPage); }, 60000);
    print("jump_to_sharp_ms", jumpSharp ? jumpTimer.nsecsElapsed() / 1e6 : -1, "ms");
    int rendering = 0;
    for (int i = 0; i < scene->pageCount(); ++i) {
        rendering += scene->readingPageAt(i)->hasActiveRenders() ? 1 : 0;
    }
    print("pages_rendering_after_jump", rendering, "pages");
    shoot(view, shots, QStringLiteral("3-after-jump"));

    // The whole document, a screen at a time, then 8x zoom.
    bar->setValue(0);
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + bar->pageStep());
        view.viewport()->repaint();
        QCoreApplication::processEvents();
    }
    waitFor([] { return false; }, 500);
    print("peak_rss_after_scroll_mib", rssMiB("VmHWM"), "MiB");
    print("peak_rss_after_scroll_above_idle_mib", rssMiB("VmHWM") - idle, "MiB");

    view.goToPage(0);
    view.setZoomLevel(8.0);
    waitFor([&] { return pageSharp(view, view.currentPage()); }, 60000);
    shoot(view, shots, QStringLiteral("4-zoom-8x"));
    for (int i = 0; i < 40; ++i) {
        bar->setValue(bar->value() + bar->pageStep());
        view.viewport()->repaint();
        QCoreApplication::processEvents();
    }
    waitFor([&] { return pageSharp(view, view.currentPage()); }, 60000);
    shoot(view, shots, QStringLiteral("5-zoom-8x-scrolled"));
    print("peak_rss_after_zoom_mib", rssMiB("VmHWM"), "MiB");
    print("peak_rss_after_zoom_above_idle_mib", rssMiB("VmHWM") - idle, "MiB");
    return 0;
}
