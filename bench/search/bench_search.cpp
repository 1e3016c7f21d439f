// bench_search FILE WORD
//
// Opens FILE in the reading view (a 1000 × 800 window) on its first page, types WORD into the find
// bar and presses Return, as a user would, and measures: the time from Return to the first hit
// highlighted, the time until the whole document was searched and the hits found, the longest stall
// of the interface thread meanwhile (a 1 ms watchdog timer), and the peak memory afterwards. It then
// starts the same search again, presses the progress dialog's Cancel once the dialog shows (or a
// third of the way through a short search) and times the way from Cancel to no worker left. MuPDF's
// own search over every page (mutool run search.js FILE WORD) runs in the same process run for
// comparison, with a time limit. Processor times (the whole search, its interface thread, and
// mutool's) tell the work done apart from what other processes on a shared machine take.

#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/searching.h>
#include <reading/searchline.h>

#include <backend/backendmanager.h>
#include <backend/document.h>

#include <bench/benchsupport.h>
#include <bench/interfacewatch.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>

using Bench::print;
using Bench::rssMiB;
using Bench::Watchdog;

namespace {

constexpr int MutoolLimitMs = 300000;

// Processor time used so far by this process (who = RUSAGE_SELF) or its finished children.
double cpuMs(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // The loop sleeps between events as the application's own does; spinning would take a core
    // from the workers it waits for.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void pressReturn(QWidget *widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

struct MutoolRun
{
    double ms = -1;
    int hits = -1;
    double cpuMs = -1;
};

// Milliseconds, hit count and processor time of MuPDF's own search; -1 for a run that failed or hit
// the limit.
MutoolRun runMutool(const QString &file, const QString &word)
{
    // NODERA_BENCH_SCRIPTS in the environment names the scripts' folder for a build outside the tree.
    const QString folder = qEnvironmentVariableIsEmpty("NODERA_BENCH_SCRIPTS")
        ? QStringLiteral(NODERA_BENCH_SCRIPTS)
        : qEnvironmentVariable("NODERA_BENCH_SCRIPTS");
    const QString script = QDir(folder).filePath(QStringLiteral("search.js"));
    if (!QFileInfo::exists(script)) {
        std::fprintf(stderr, "no %s\n", qPrintable(script));
        return {};
    }
    const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(QStringLiteral("mutool"), { QStringLiteral("run"), script, file, word });
    if (!process.waitForFinished(MutoolLimitMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    bool ok = false;
    const int hits = QString::fromUtf8(process.readAllStandardOutput()).trimmed().toInt(&ok);
    ok = ok && process.exitCode() == 0;
    return { ok ? ms : -1, ok ? hits : -1, ok ? cpuMs(RUSAGE_CHILDREN) - cpuBefore : -1 };
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.at(2).isEmpty()) {
        std::fprintf(stderr, "usage: bench_search FILE WORD\n");
        return 2;
    }
    const QString file = QFileInfo(args.at(1)).absoluteFilePath();
    const QString word = args.at(2);

    PDFDocumentView view;
    view.resize(1000, 800);
    view.show();
    const QSharedPointer<Backend::Document> document = BackendManager::instance()->openDocument(file);
    if (!document || !document->isValid()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    auto scene = QSharedPointer<PDFDocumentScene>::create(
        document, 1, nullptr, view.logicalDpiX(), view.logicalDpiY());
    view.setScene(scene);
    // Let the first page settle, so that its renders do not count against the search.
    waitFor(
        [&view] {
            view.viewport()->repaint();
            const ReadingPageItem *page = view.pdfScene()->readingPageAt(0);
            return page && page->isSharp();
        },
        20000);

    Searching *searching = view.searching();
    Nod::Presentation::SearchLine *bar = view.searchLine();
    bar->activate();
    bar->lineEdit()->setText(word);

    QElapsedTimer clock;
    double firstHitMs = -1;
    const auto firstHit = QObject::connect(searching, &Searching::currentResultChanged, [&] {
        if (firstHitMs < 0) {
            firstHitMs = clock.nsecsElapsed() / 1e6;
        }
    });
    Watchdog watchdog;
    watchdog.start();
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    const double uiCpuBefore = cpuMs(RUSAGE_THREAD);
    clock.start();
    pressReturn(bar->lineEdit());
    waitFor([searching] { return !searching->isRunning(); }, 3600000);
    const double totalMs = clock.nsecsElapsed() / 1e6;
    const double cpuUsed = cpuMs(RUSAGE_SELF) - cpuBefore;
    const double uiCpuUsed = cpuMs(RUSAGE_THREAD) - uiCpuBefore;
    const double stall = watchdog.stop();
    QObject::disconnect(firstHit);
    const int hits = searching->total();
    std::fprintf(stderr, "longest stall ended %.0f ms after Return\n", watchdog.maxGapAt());

    print("first_hit_ms", firstHitMs, "ms");
    print("total_ms", totalMs, "ms");
    print("hits", hits, "hits");
    const MutoolRun mutool = runMutool(file, word);
    print("mutool_ms", mutool.ms, "ms");
    print("mutool_hits", mutool.hits, "hits");
    print("cpu_ms", cpuUsed, "ms");
    print("mutool_cpu_ms", mutool.cpuMs, "ms");
    print("ui_cpu_ms", uiCpuUsed, "ms");
    print("max_ui_stall_ms", stall, "ms");

    // The same search again, cancelled from its progress dialog.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("noResultsBox")) {
            widget->close();
        }
    }
    view.clearSearch();
    bar->activate();
    bar->lineEdit()->setText(word);
    pressReturn(bar->lineEdit());
    auto *progress = view.findChild<QProgressDialog *>(QStringLiteral("searchProgress"));
    QElapsedTimer sinceStart;
    sinceStart.start();
    waitFor([&] { return !searching->isRunning() || (progress && progress->isVisible()); }, 3600000);
    if (!progress || !progress->isVisible()) {
        waitFor([&] { return !searching->isRunning() || sinceStart.elapsed() > totalMs / 3; }, 3600000);
    }
    double cancelMs = -1;
    if (searching->isRunning()) {
        QElapsedTimer cancelClock;
        cancelClock.start();
        auto *cancelButton = progress ? progress->findChild<QPushButton *>() : nullptr;
        if (cancelButton && cancelButton->isVisible()) {
            cancelButton->click();
        } else {
            searching->cancel();
        }
        waitFor([searching] { return !searching->isRunning(); }, 60000);
        cancelMs = cancelClock.nsecsElapsed() / 1e6;
    }
    print("cancel_ms", cancelMs, "ms");
    print("peak_rss_mib", rssMiB("VmHWM"), "MiB");
    return 0;
}
