// How long the program takes from its start to the first page of a document named on its command
// line: started as a user starts it, with a home and a session bus of its own, under Xvfb when it is
// installed (else offscreen). Five starts with a fresh storage folder, five re-opening a document already in
// the library, five re-opening one with 2,000 annotations. The figures are the program's own log lines,
// counted from its process start; max_ui_stall_ms is the longest pause of its interface thread in the
// two seconds after the first page, as its log says (median of all starts). No arguments.
#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <bench/benchdocument.h>
#include <bench/benchsupport.h>
#include <domain/lastread.h>
#include <domain/metatypes.h>

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace Nod;

namespace {

const QString kProgram = QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader");
constexpr int kRuns = 5;
constexpr int kPages = 1151;
constexpr int kAnnotatedPages = 500;
constexpr int kAnnotations = 2000;

// A server process the runs need, ended with the benchmark.
class Server
{
public:
    ~Server()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            m_process.waitForFinished(5000);
        }
    }

protected:
    // Starts program and waits for it to make socket; false, and nothing left running, when it
    // does not within ten seconds.
    bool serve(const QString &program, const QStringList &arguments, const QString &socket)
    {
        // They complain of limits they may not raise and the like; no concern of these figures.
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(program, arguments);
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000 && m_process.state() != QProcess::NotRunning) {
            if (QFileInfo::exists(socket)) {
                return true;
            }
            QThread::msleep(20);
        }
        m_process.kill();
        m_process.waitForFinished(2000);
        return false;
    }

private:
    QProcess m_process;
};

// An X server of our own, so that the program maps a real window; none when Xvfb is missing.
class XServer : public Server
{
public:
    // The display name, or empty when there is no Xvfb to start.
    QString start()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            return QString();
        }
        for (int number = 91; number < 120; ++number) {
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
            if (QFileInfo::exists(socket)
                || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) {
                continue;
            }
            const QString display = QStringLiteral(":%1").arg(number);
            // Never reset between starts, as a desktop's server is not: its window manager and
            // panel stay connected. A server left with no client resets, and the next start,
            // coming at once, would share the processors with that reset.
            if (serve(xvfb,
                    { display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1600x1000x24"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset") },
                    socket)) {
                return display;
            }
        }
        return QString();
    }
};

// A session bus, as every desktop session has one. Without it the platform's accessibility bridge
// has the bus library start one of its own for each start, which no user's start pays.
class SessionBus : public Server
{
public:
    // The bus address, or empty when there is no dbus-daemon to start.
    QString start(const QString &folder)
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return QString();
        }
        const QString socket = QDir(folder).filePath(QStringLiteral("bus"));
        const QString address = QStringLiteral("unix:path=") + socket;
        const bool served = serve(daemon,
            { QStringLiteral("--session"), QStringLiteral("--nofork"),
                QStringLiteral("--address=") + address },
            socket);
        return served ? address : QString();
    }
};

// A home of the program's own: settings, storage folder, caches.
class Home
{
public:
    Home(const QString &display, const QString &bus)
        : m_display(display)
        , m_bus(bus)
    {
        QDir().mkpath(path(QStringLiteral("run")));
        QFile::setPermissions(path(QStringLiteral("run")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString storage() const { return path(QStringLiteral("Documents/Nodera Reader")); }

    QString logPath() const
    {
        return storage()
            + QStringLiteral("/Logs/AppLog %1.txt")
                  .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    }

    // The log from byte `from` on.
    QString log(qint64 from) const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly) || !file.seek(from)) {
            return QString();
        }
        return QString::fromUtf8(file.readAll());
    }

    // The settings and the storage folder of earlier starts go.
    void forget()
    {
        QDir(storage()).removeRecursively();
        QDir(path(QStringLiteral(".local/share/Nodera"))).removeRecursively();
        QDir(path(QStringLiteral(".config/Nodera"))).removeRecursively();
    }

    struct Figures
    {
        double window = -1;
        double firstPage = -1;
        double longestPause = -1; // of the interface thread, in the seconds after the first page
    };

    // Starts the program on file, waits for its first page and ends it as a logout would.
    std::optional<Figures> run(const QString &file) const
    {
        // Only what this start writes is read, and only once the file has grown: the program
        // shares two cores with this loop, which must not take their time from it.
        const qint64 from = QFileInfo(logPath()).size();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral(".cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        if (m_display.isEmpty()) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            env.insert(QStringLiteral("DISPLAY"), m_display);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
        if (!m_bus.isEmpty()) {
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus);
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(kProgram, { file });
        if (!process.waitForStarted(10000)) {
            std::fprintf(stderr, "the program did not start\n");
            return std::nullopt;
        }
        QElapsedTimer timer;
        timer.start();
        QString text;
        qint64 seen = from;
        while (timer.elapsed() < 30000 && process.state() == QProcess::Running) {
            QThread::msleep(10);
            const qint64 size = QFileInfo(logPath()).size();
            if (size == seen) {
                continue;
            }
            seen = size;
            text = log(from);
            if (text.contains(QStringLiteral("pauses after the first page: "))) {
                break;
            }
        }
        process.terminate();
        if (!process.waitForFinished(15000)) {
            process.kill();
            process.waitForFinished(5000);
            std::fprintf(stderr, "the program did not end on its closing signal\n");
            return std::nullopt;
        }
        Figures figures;
        figures.window = lastFigure(text, QStringLiteral("Main window shown: (\\d+) ms"));
        figures.firstPage = lastFigure(text, QStringLiteral("first page shown: (\\d+) ms"));
        figures.longestPause
            = lastFigure(text, QStringLiteral("pauses after the first page: longest (\\d+) ms"));
        if (figures.firstPage < 0 || text.count(QStringLiteral("first page shown: ")) != 1) {
            std::fprintf(stderr, "no first page in the log\n");
            return std::nullopt;
        }
        return figures;
    }

private:
    static double lastFigure(const QString &text, const QString &pattern)
    {
        double value = -1;
        QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
        while (it.hasNext()) {
            value = it.next().captured(1).toDouble();
        }
        return value;
    }

    QTemporaryDir m_dir;
    QString m_display;
    QString m_bus;
};

// Stores annotations with the document already in the library of this storage folder and shows its
// first page with notes on both sides, as the annotation benchmark opens it.
bool annotate(const QString &storage, const QString &file)
{
    Infrastructure::Database database;
    if (!database.open(QDir(storage).filePath(QStringLiteral("database")))) {
        return false;
    }
    bool done = false;
    {
        Application::ServiceRegistry registry;
        Application::ServiceRegistry::setInstance(&registry);
        auto *documents = registry.documentService();
        const QVector<Domain::Document> found
            = documents->documentsWithPath(Application::DocumentService::localUrlOf(QFileInfo(file)));
        if (found.size() == 1) {
            const int id = found.first().id();
            Bench::fillAnnotations(id, kAnnotatedPages, kAnnotations, 3, 200);
            const Domain::LastRead last = found.first().lastRead();
            const Domain::ViewSetting setting(Domain::ViewSetting::ScaleFactor, 1.0,
                Domain::ViewSetting::NoRotation, Domain::ViewSetting::BothSideMargin);
            done = documents->changeLastRead(
                id, Domain::LastRead(0, QPointF(), setting, last.siderBarState()));
        }
        Application::ServiceRegistry::setInstance(nullptr);
    }
    Infrastructure::Database::close();
    return done;
}

// The longest pause of each start, over all series.
std::vector<double> g_pauses;

// Medians of runs starts on file; the first start of a re-open series only brings the file in.
bool series(Home &home, const QString &file, bool fresh, const char *windowName, const char *pageName)
{
    std::vector<double> windows;
    std::vector<double> pages;
    for (int i = 0; i < kRuns; ++i) {
        if (fresh) {
            home.forget();
        }
        const std::optional<Home::Figures> figures = home.run(file);
        if (!figures) {
            return false;
        }
        windows.push_back(figures->window);
        pages.push_back(figures->firstPage);
        if (figures->longestPause >= 0) {
            g_pauses.push_back(figures->longestPause);
        }
    }
    if (windowName) {
        Bench::print(windowName, Bench::median(windows), "ms");
    }
    Bench::print(pageName, Bench::median(pages), "ms");
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // The services say what they store; only the figures go out.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtInfoMsg && type != QtDebugMsg) {
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
        }
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv); // the PDFs are painted with the framework's writer
    Domain::registerMetaTypes();
    QTemporaryDir files;
    const QString plain = files.filePath(QStringLiteral("book.pdf"));
    const QString annotated = files.filePath(QStringLiteral("annotated.pdf"));
    if (!Bench::writeTextPdf(plain, kPages) || !Bench::writeTextPdf(annotated, kAnnotatedPages)) {
        std::fprintf(stderr, "cannot write the documents\n");
        return 1;
    }
    XServer server;
    const QString display = server.start();
    SessionBus bus;
    const QString busAddress = bus.start(files.path());
    std::printf("# %s, %s, %d-page document, %d runs each\n",
        display.isEmpty() ? "offscreen" : "Xvfb 1600x1000",
        busAddress.isEmpty() ? "no session bus" : "session bus", kPages, kRuns);

    // A desktop's server has served programs before: the first client of a new one sets the server
    // up (its keyboard map, say), which no start on a desktop waits for. One start, not counted.
    Home first(display, busAddress);
    if (!display.isEmpty() && !first.run(plain)) {
        return 1;
    }
    Home fresh(display, busAddress);
    if (!series(fresh, plain, true, "start_to_window_ms", "start_to_first_page_ms")) {
        return 1;
    }
    Home again(display, busAddress);
    if (!again.run(plain) || !series(again, plain, false, nullptr, "reopen_to_first_page_ms")) {
        return 1;
    }
    Home marked(display, busAddress);
    if (!marked.run(annotated) || !annotate(marked.storage(), annotated)
        || !series(marked, annotated, false, nullptr, "annotated_reopen_to_first_page_ms")) {
        std::fprintf(stderr, "the annotated document could not be prepared or opened\n");
        return 1;
    }
    if (!g_pauses.empty()) {
        Bench::print("max_ui_stall_ms", Bench::median(g_pauses), "ms");
    }
    return 0;
}
