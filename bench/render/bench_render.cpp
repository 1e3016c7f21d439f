// bench_render FILE FIRST LAST DPI [WORD]
//
// Renders pages FIRST..LAST (1-based) at DPI through Backend::Page::renderImage on one thread, again
// in Night Mode with pictures kept (against the default render of the same pages), and through the
// RenderTask pool, searches WORD (default "the") over every page, extracts all text,
// and times the same work done by mutool in the same run. Prints one "name: value unit" line per
// figure. Each measurement starts from a freshly opened document, so nothing is warm but the
// operating system's file cache. The render passes and mutool's draws are run NODERA_BENCH_RUNS
// times (3 by default) and the fastest run counts. Each run of mutool gets NODERA_BENCH_TOOL_TIMEOUT
// seconds (60 by default): one that takes longer is stopped and reported as "<figure>_timeout_ms"
// with the limit, in place of its figures.

#include <backend/document.h>
#include <backend/mupdf/document.h>
#include <backend/page.h>
#include <backend/renderparam.h>
#include <backend/rendertask.h>

#include <bench/benchsupport.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtConcurrent>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <memory>
#include <thread>

using Bench::print;

namespace {

void printText(const char *name, const QString &value)
{
    std::printf("%s: %s\n", name, qPrintable(value));
    std::fflush(stdout);
}

std::unique_ptr<Backend::MuPDF::Document> open(const QString &file)
{
    std::unique_ptr<Backend::MuPDF::Document> document(new Backend::MuPDF::Document(file));
    if (!document->isValid() || document->isLocked() || document->pageCount() <= 0) {
        return nullptr;
    }
    return document;
}

struct ProcessResult
{
    double ms = -1;
    QByteArray output;
    bool ok = false;
    bool timedOut = false;
};

int toolTimeoutMs()
{
    bool ok = false;
    const double seconds = qEnvironmentVariable("NODERA_BENCH_TOOL_TIMEOUT").toDouble(&ok);
    return ok && seconds > 0 ? qMax(1, int(seconds * 1000)) : 60000;
}

ProcessResult runTool(const QString &program, const QStringList &arguments)
{
    ProcessResult result;
    if (program.isEmpty()) {
        return result;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        return result;
    }
    // A damaged or hostile file can keep the reference tool busy for minutes.
    if (!process.waitForFinished(toolTimeoutMs())) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            result.timedOut = true;
        }
        return result;
    }
    result.ms = timer.nsecsElapsed() / 1e6;
    result.output = process.readAllStandardOutput();
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return result;
}

double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double peakRssMib()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// How many cores the machine gives this process right now: the pool figures mean little when
// other work holds a core.
double availableCores()
{
    const int threads = QThread::idealThreadCount();
    const double cpuBefore = cpuMs();
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> spinners;
    for (int i = 0; i < threads; ++i) {
        spinners.emplace_back([] {
            QElapsedTimer own;
            own.start();
            volatile double sink = 0;
            while (own.elapsed() < 300) {
                for (int j = 0; j < 10000; ++j) {
                    sink = sink + j * 0.5;
                }
            }
        });
    }
    for (auto &spinner : spinners) {
        spinner.join();
    }
    return (cpuMs() - cpuBefore) / (timer.nsecsElapsed() / 1e6);
}

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Stopwatch
{
    QElapsedTimer wall;
    double cpuStart = threadCpuMs();
    Stopwatch() { wall.start(); }
    double wallMs() const { return wall.nsecsElapsed() / 1e6; }
    double cpuMs() const { return threadCpuMs() - cpuStart; }
};

// One page's fastest render in each mode, or the sums of those over pages.
struct PairTimes
{
    double plainWallMs = -1;
    double plainCpuMs = -1;
    double treatedWallMs = -1;
    double treatedCpuMs = -1;

    void take(bool treated, const Stopwatch &watch)
    {
        const double cpu = watch.cpuMs();
        const double wall = watch.wallMs();
        double &bestWall = treated ? treatedWallMs : plainWallMs;
        double &bestCpu = treated ? treatedCpuMs : plainCpuMs;
        bestWall = bestWall < 0 ? wall : std::min(bestWall, wall);
        bestCpu = bestCpu < 0 ? cpu : std::min(bestCpu, cpu);
    }
    int pages = 0;

    void add(const PairTimes &page)
    {
        if (page.plainWallMs < 0 || page.treatedWallMs < 0) {
            return; // a page that could not be made
        }
        ++pages;
        plainWallMs = std::max(0.0, plainWallMs) + page.plainWallMs;
        plainCpuMs = std::max(0.0, plainCpuMs) + page.plainCpuMs;
        treatedWallMs = std::max(0.0, treatedWallMs) + page.treatedWallMs;
        treatedCpuMs = std::max(0.0, treatedCpuMs) + page.treatedCpuMs;
    }
};

// The figure in milliseconds, or, for a run that was stopped at the limit, the limit under a name
// that says so.
void printTool(const char *name, const ProcessResult &result)
{
    if (result.timedOut) {
        std::fprintf(
            stderr, "warning: mutool did not finish within %d ms and was stopped\n", toolTimeoutMs());
        print((QByteArray(name) + "_timeout_ms").constData(), toolTimeoutMs(), "ms");
    } else {
        print((QByteArray(name) + "_ms").constData(), result.ms, "ms");
    }
}

QString scriptPath(const QString &name)
{
    const QString dir = qEnvironmentVariable("NODERA_BENCH_SCRIPTS", QStringLiteral(NODERA_BENCH_SCRIPTS));
    return QDir(dir).filePath(name);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: bench_render FILE FIRST LAST DPI [WORD]\n");
        return 1;
    }
    // Library chatter about damaged files is debug output; keep the figures readable.
    qSetMessagePattern(QStringLiteral("%{if-debug}%{endif}%{if-info}%{endif}%{if-warning}warning: "
                                      "%{message}%{endif}%{if-critical}%{message}%{endif}"));
    const QString file = QFileInfo(args[1]).absoluteFilePath();
    bool okFirst = false;
    bool okLast = false;
    bool okDpi = false;
    const int first = args[2].toInt(&okFirst);
    int last = args[3].toInt(&okLast);
    const double dpi = args[4].toDouble(&okDpi);
    const QString word = args.size() > 5 ? args[5] : QStringLiteral("the");
    if (!okFirst || !okLast || !okDpi || first < 1 || last < first || dpi <= 0) {
        std::fprintf(stderr, "error: FIRST and LAST must be page numbers from 1, FIRST <= LAST, DPI > 0\n");
        return 1;
    }
    if (!QFileInfo(file).isFile()) {
        std::fprintf(stderr, "error: %s: no such file\n", qPrintable(file));
        return 2;
    }
    const QString mutool = QStandardPaths::findExecutable(QStringLiteral("mutool"));

    // Open and show the first page.
    QElapsedTimer timer;
    timer.start();
    auto document = open(file);
    if (!document) {
        const Backend::MuPDF::Document probe(file);
        std::fprintf(stderr, "error: %s: %s\n", qPrintable(file),
            probe.isLocked() ? "needs a password" : "not a readable document");
        return 2;
    }
    const double openMs = timer.nsecsElapsed() / 1e6;
    const QSharedPointer<Backend::Page> firstPage = document->pageAt(0).toStrongRef();
    const QImage firstImage = firstPage ? firstPage->renderImage(96, 96) : QImage();
    const double openFirstPageMs = timer.nsecsElapsed() / 1e6;
    if (firstImage.isNull()) {
        std::fprintf(stderr, "error: %s: the first page cannot be rendered\n", qPrintable(file));
        return 2;
    }
    const int pageCount = document->pageCount();
    last = qMin(last, pageCount);
    if (first > last) {
        std::fprintf(stderr, "error: the document has only %d pages\n", pageCount);
        return 1;
    }
    const int pages = last - first + 1;
    printText("file", file);
    print("pages", pageCount, "pages");
    print("range_pages", pages, "pages");
    print("open_ms", openMs, "ms");
    print("open_first_page_ms", openFirstPageMs, "ms");
    const ProcessResult mutoolOpen
        = runTool(mutool, { QStringLiteral("run"), scriptPath(QStringLiteral("count.js")), file });
    printTool("mutool_open", mutoolOpen);
    document.reset();

    // Render timings on a shared machine swing by a third from run to run, so each pass is run a
    // few times, every time on a freshly opened document, and the fastest run counts; the pool
    // and mutool are given the same number of tries.
    const int runs = qEnvironmentVariableIsSet("NODERA_BENCH_RUNS")
        ? qMax(1, qEnvironmentVariableIntValue("NODERA_BENCH_RUNS"))
        : 3;

    // One thread, through renderImage.
    int failures = 0;
    double firstPageMs = 0;
    double singleMs = -1;
    for (int run = 0; run < runs; ++run) {
        document = open(file);
        timer.restart();
        int runFailures = 0;
        double runFirstPageMs = 0;
        for (int i = first - 1; i < last; ++i) {
            const auto page = document->pageAt(i).toStrongRef();
            if (!page || page->renderImage(dpi, dpi).isNull()) {
                ++runFailures;
            }
            if (i == first - 1) {
                runFirstPageMs = timer.nsecsElapsed() / 1e6;
            }
        }
        const double runMs = timer.nsecsElapsed() / 1e6;
        document.reset();
        failures = qMax(failures, runFailures);
        if (singleMs < 0 || runMs < singleMs) {
            singleMs = runMs;
            firstPageMs = runFirstPageMs;
        }
    }

    // Night Mode with pictures kept, against the default mode: what the render task does in each
    // mode. Each page is rendered in both modes back to back, in turns that swap which mode goes
    // first, and its fastest render in each mode counts, so a burst of other work on the machine
    // falls on both modes alike. Beside the wall time the rendering thread's own processor time is
    // taken, which other processes competing for the cores leave alone.
    RenderParam night(
        qRound(dpi), qRound(dpi), 1.0, dpi / qRound(dpi), RenderParam::Invert, QColor(53, 62, 66));
    night.setKeepPictures(true);
    const int nightRounds = 4 * runs;
    std::vector<PairTimes> best(static_cast<size_t>(pages));
    int pictures = 0;
    for (int round = 0; round < nightRounds; ++round) {
        document = open(file);
        for (int i = first - 1; i < last; ++i) {
            const auto page = document->pageAt(i).toStrongRef();
            if (!page) {
                continue;
            }
            PairTimes &times = best[size_t(i - first + 1)];
            for (const bool treated : { round % 2 == 1, round % 2 == 0 }) {
                const Stopwatch watch;
                QImage image = RenderTask::renderTile(*page, night, QRect());
                if (treated && !image.isNull()) {
                    const QVector<QRect> kept
                        = page->keptRects(night, night.renderXres(), night.renderYres(), QRect());
                    night.applyColorTreatment(
                        image, [] { return false; }, kept);
                    pictures += round == 0 ? kept.size() : 0;
                }
                times.take(treated, watch);
            }
        }
        document.reset();
    }
    PairTimes nightTotal;
    for (const PairTimes &times : best) {
        nightTotal.add(times);
    }

    // The pool, through RenderTask.
    int poolFailures = 0;
    const RenderParam param(qRound(dpi), qRound(dpi), 1.0, dpi / qRound(dpi));
    double poolMs = -1;
    double poolCpuMs = 0;
    for (int run = 0; run < runs; ++run) {
        document = open(file);
        std::vector<std::unique_ptr<RenderTask>> tasks;
        QAtomicInt runFailures;
        const double cpuBefore = cpuMs();
        timer.restart();
        // Pages are made first, as the reading view does when it lays out the document: creating a
        // page takes the document lock for writing, which would wait for the renders in flight.
        std::vector<QSharedPointer<Backend::Page>> poolPages;
        for (int i = first - 1; i < last; ++i) {
            if (const QSharedPointer<Backend::Page> page = document->pageAt(i).toStrongRef()) {
                poolPages.push_back(page);
            } else {
                runFailures.fetchAndAddRelaxed(1);
            }
        }
        for (const auto &page : poolPages) {
            tasks.emplace_back(new RenderTask(page));
            QObject::connect(
                tasks.back().get(), &RenderTask::imageReady, tasks.back().get(),
                [&runFailures](const RenderParam &, const QRect &, bool, const QImage &image) {
                    if (image.isNull()) {
                        runFailures.fetchAndAddRelaxed(1);
                    }
                },
                Qt::DirectConnection);
            tasks.back()->start(param, QRect(), false);
        }
        RenderTask::threadPool()->waitForDone();
        const double runMs = timer.nsecsElapsed() / 1e6;
        const double runCpuMs = cpuMs() - cpuBefore;
        tasks.clear();
        poolPages.clear();
        document.reset();
        poolFailures = qMax(poolFailures, runFailures.loadRelaxed());
        if (poolMs < 0 || runMs < poolMs) {
            poolMs = runMs;
            poolCpuMs = runCpuMs;
        }
    }

    const QString range = QStringLiteral("%1-%2").arg(first).arg(last);
    const QStringList drawArgs { QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-r"),
        QString::number(dpi), QStringLiteral("-F"), QStringLiteral("ppm"), QStringLiteral("-o"),
        QStringLiteral("/dev/null"), file };
    const auto fastest = [&](const QStringList &arguments) {
        ProcessResult best;
        for (int run = 0; run < runs; ++run) {
            const ProcessResult result = runTool(mutool, arguments);
            if (result.timedOut) {
                return result; // another try would only wait as long again
            }
            if (result.ms > 0 && (best.ms < 0 || result.ms < best.ms)) {
                best = result;
            }
        }
        return best;
    };
    const ProcessResult mutoolRange = fastest(drawArgs + QStringList { range });
    const ProcessResult mutoolFirst
        = mutoolRange.timedOut ? ProcessResult() : fastest(drawArgs + QStringList { QString::number(first) });
    // The process start and the first page are taken out: what remains is the per-page cost.
    double mutoolPerPage = -1;
    if (mutoolRange.ms > 0 && mutoolFirst.ms > 0) {
        mutoolPerPage = pages > 1 ? (mutoolRange.ms - mutoolFirst.ms) / (pages - 1) : mutoolRange.ms;
    }
    // Our figure likewise leaves out the first page, which carries the one-off loading of fonts.
    const double renderPerPage = pages > 1 ? (singleMs - firstPageMs) / (pages - 1) : singleMs;
    print("render_ms_per_page", renderPerPage, "ms");
    print("render_failures", failures, "pages");
    if (mutoolRange.timedOut || mutoolFirst.timedOut) {
        printTool("mutool_draw", mutoolRange.timedOut ? mutoolRange : mutoolFirst);
    } else {
        print("mutool_ms_per_page", mutoolPerPage, "ms");
        print("mutool_ratio", mutoolPerPage > 0 ? renderPerPage / mutoolPerPage : -1, "x");
    }
    print("night_plain_ms_per_page", nightTotal.plainWallMs / std::max(1, nightTotal.pages), "ms");
    print("night_ms_per_page", nightTotal.treatedWallMs / std::max(1, nightTotal.pages), "ms");
    print("night_wall_ratio",
        nightTotal.plainWallMs > 0 ? nightTotal.treatedWallMs / nightTotal.plainWallMs : -1, "x");
    print("night_plain_cpu_ms_per_page", nightTotal.plainCpuMs / std::max(1, nightTotal.pages), "ms");
    print("night_cpu_ms_per_page", nightTotal.treatedCpuMs / std::max(1, nightTotal.pages), "ms");
    // Processor time of the rendering thread: the figure other work on the machine does not move.
    print(
        "night_ratio", nightTotal.plainCpuMs > 0 ? nightTotal.treatedCpuMs / nightTotal.plainCpuMs : -1, "x");
    print("night_kept_pictures", pictures, "pictures");
    print("pool_ms_per_page", poolMs / pages, "ms");
    print("cores_available", availableCores(), "cores");
    print("pool_threads", RenderTask::threadPool()->maxThreadCount(), "threads");
    print("pool_speedup", singleMs / poolMs, "x");
    // Below the thread count when the machine is busy with other work or threads wait on locks.
    print("pool_cores_used", poolCpuMs / poolMs, "cores");
    print("pool_failures", poolFailures, "pages");
    print("render_runs", runs, "runs");

    // First search over every page, on both cores.
    document = open(file);
    double cpuBefore = cpuMs();
    timer.restart();
    QVector<int> indexes(pageCount);
    std::iota(indexes.begin(), indexes.end(), 0);
    Backend::MuPDF::Document *searched = document.get();
    QVector<int> hitsPerPage(pageCount, 0);
    QtConcurrent::blockingMap(indexes, [searched, word, &hitsPerPage](const int &index) {
        const auto page = searched->pageAt(index).toStrongRef();
        hitsPerPage[index] = page ? page->search(word, 0).size() : 0;
    });
    const double searchMs = timer.nsecsElapsed() / 1e6;
    const double searchCpuMs = cpuMs() - cpuBefore;
    const int hits = std::accumulate(hitsPerPage.begin(), hitsPerPage.end(), 0);
    document.reset();
    print("search_ms", searchMs, "ms");
    print("search_hits", hits, "hits");
    print("search_cores_used", searchCpuMs / searchMs, "cores");
    const ProcessResult mutoolSearch
        = runTool(mutool, { QStringLiteral("run"), scriptPath(QStringLiteral("search.js")), file, word });
    printTool("mutool_search", mutoolSearch);
    if (!mutoolSearch.timedOut) {
        print("mutool_search_hits",
            mutoolSearch.ok ? QString::fromUtf8(mutoolSearch.output).trimmed().toInt() : -1, "hits");
    }

    // First full text extraction.
    document = open(file);
    timer.restart();
    Backend::MuPDF::Document *extracted = document.get();
    QVector<int> lengths(pageCount, 0);
    QtConcurrent::blockingMap(indexes, [extracted, &lengths](const int &index) {
        const auto page = extracted->pageAt(index).toStrongRef();
        QVector<QRectF> rects;
        lengths[index] = page ? page->text(rects).size() : 0;
    });
    const double textMs = timer.nsecsElapsed() / 1e6;
    document.reset();
    print("text_ms", textMs, "ms");
    print("text_chars", std::accumulate(lengths.begin(), lengths.end(), 0), "chars");
    const ProcessResult mutoolText = runTool(mutool,
        { QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("txt"),
            QStringLiteral("-o"), QStringLiteral("/dev/null"), file });
    printTool("mutool_text", mutoolText);
    print("peak_rss_mib", peakRssMib(), "MiB");
    return 0;
}
