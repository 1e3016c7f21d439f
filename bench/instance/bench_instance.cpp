// How quickly a later start hands its file to the running program, how quickly a start takes over
// after the program was killed, and how quickly the settings dialog opens.

#include <app/settingsdialog.h>
#include <app/storage/settings.h>
#include <bench/benchsupport.h>
#include <domain/metatypes.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>

namespace {
const QString kProgram = QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader");

// A home of its own for the program: its settings, storage folder and runtime folder.
class Home
{
public:
    Home()
    {
        QDir().mkpath(m_dir.filePath(QStringLiteral("run")));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("run")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString log() const
    {
        QFile file(path(QStringLiteral("Documents/Nodera Reader/Logs/AppLog %1.txt")
                            .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    int count(const QString &text) const { return log().count(text); }

    std::unique_ptr<QProcess> start(const QStringList &arguments) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral(".cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        }
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(kProgram, arguments);
        return process;
    }

private:
    QTemporaryDir m_dir;
};

// Milliseconds until `done` holds, polled every millisecond; -1 after 30 s.
double until(const QElapsedTimer &timer, const std::function<bool()> &done)
{
    while (timer.elapsed() < 30000) {
        if (done()) {
            return timer.nsecsElapsed() / 1e6;
        }
        QThread::msleep(1);
    }
    return -1;
}

void writePdf(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("%PDF-1.1\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                   "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                   "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>endobj\n"
                   "trailer<</Root 1 0 R>>\n%%EOF\n%"
            + path.toUtf8() + "\n");
    }
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

void measureHandOverAndTakeOver()
{
    const Home home;
    const QString shown = QStringLiteral("Main window shown");
    std::unique_ptr<QProcess> primary = home.start({});
    QElapsedTimer timer;
    timer.start();
    if (until(timer, [&] { return home.count(shown) == 1; }) < 0) {
        std::fprintf(stderr, "secondary_handover_ms skipped: the program did not start\n");
        return;
    }

    std::vector<double> handovers;
    for (int run = 0; run < 7; ++run) {
        const QString file = home.path(QStringLiteral("file %1.pdf").arg(run));
        writePdf(file);
        const int received = home.count(QStringLiteral("Received message from instance"));
        timer.restart();
        std::unique_ptr<QProcess> secondary = home.start({ file });
        const double ms = until(timer, [&] {
            // QProcess learns of the exit only inside one of its waits.
            return (secondary->state() == QProcess::NotRunning || secondary->waitForFinished(0))
                && home.count(QStringLiteral("Received message from instance")) > received;
        });
        if (ms >= 0 && secondary->exitCode() == 0) {
            handovers.push_back(ms);
        }
    }
    Bench::print("secondary_handover_ms", Bench::median(handovers), "ms");

    std::vector<double> takeovers;
    for (int run = 0; run < 3; ++run) {
        const int before = home.count(shown);
        primary->kill();
        primary->waitForFinished(5000);
        timer.restart();
        primary = home.start({});
        const double ms = until(timer, [&] { return home.count(shown) > before; });
        if (ms >= 0) {
            takeovers.push_back(ms);
        }
    }
    Bench::print("takeover_after_kill_ms", Bench::median(takeovers), "ms");
    stop(*primary);
}

void measureSettingsDialog()
{
    std::vector<double> opens;
    double first = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        Nod::Presentation::SettingsDialog dialog;
        dialog.show();
        QCoreApplication::processEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        if (run == 0) {
            first = ms;
        }
        opens.push_back(ms);
    }
    // The first open pays for the font list, as it does for the user.
    Bench::print("settings_dialog_open_ms", first, "ms");
    Bench::print("settings_dialog_reopen_ms", Bench::median(opens), "ms");
}
} // namespace

int main(int argc, char *argv[])
{
    const QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsHome.filePath(QStringLiteral(".config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(settingsHome.filePath(QStringLiteral(".local/share"))));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Nod::Domain::registerMetaTypes();
    // The dialog's look-ups log what is not configured; the figures are the output here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    });
    QApplication app(argc, argv);
    measureHandOverAndTakeOver();
    measureSettingsDialog();
    return 0;
}
