#include "crashhandler.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace Nod::App {

namespace {
// Prepared outside the handler: a signal handler may not allocate or format.
char g_reportPath[4096] = {};
bool g_installed = false;
const int kFatalSignals[] = { SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT };

void writeText(int fd, const char *text)
{
    [[maybe_unused]] const ssize_t written = ::write(fd, text, std::strlen(text));
}

void onFatalSignal(int signal)
{
    const int fd = ::open(g_reportPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeText(fd, "Nodera Reader ended by signal ");
        // Signal numbers have at most two digits.
        const char number[] = { char('0' + signal / 10 % 10), char('0' + signal % 10), '\n', '\0' };
        writeText(fd, signal >= 10 ? number : number + 1);
        void *frames[64];
        const int count = ::backtrace(frames, 64);
        ::backtrace_symbols_fd(frames, count, fd);
        ::close(fd);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}
} // namespace

void CrashHandler::install(const QString &crashFolder)
{
    const QString name
        = QStringLiteral("crash %1 %2.txt")
              .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")))
              .arg(QCoreApplication::applicationPid());
    const QByteArray path = QDir(crashFolder).filePath(name).toLocal8Bit();
    std::strncpy(g_reportPath, path.constData(), sizeof(g_reportPath) - 1);
    if (g_installed) {
        return;
    }
    g_installed = true;
    // Load the unwinder now: its first use may allocate, which the handler must not.
    void *frame[1];
    ::backtrace(frame, 1);
    for (int signal : kFatalSignals) {
        ::signal(signal, &onFatalSignal);
    }
}

} // namespace Nod::App
