#include "terminationhandler.h"

#include <QApplication>
#include <QDebug>
#include <QDialog>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Nod::App {

namespace {
// The handler may only write to a descriptor; the event loop reads the other end.
int g_pipe[2] = { -1, -1 };
const int kSignals[] = { SIGTERM, SIGINT, SIGHUP };
// Written by the destructor to end the watcher; no signal has the number 0.
constexpr char kStopWatching = 0;
} // namespace

TerminationHandler::TerminationHandler(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0) {
        qWarning() << "Termination signals will end the program abruptly: no socket pair";
        return;
    }
    ::fcntl(g_pipe[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(g_pipe[1], F_SETFD, FD_CLOEXEC);
    m_watcher = std::thread([this] { watch(); });

    struct sigaction action = {};
    action.sa_handler = &TerminationHandler::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

TerminationHandler::~TerminationHandler()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    if (m_watcher.joinable()) {
        [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &kStopWatching, 1);
        m_watcher.join();
    }
    for (int &fd : g_pipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

void TerminationHandler::onSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
}

void TerminationHandler::watch()
{
    char byte = kStopWatching;
    ssize_t got = 0;
    do {
        got = ::read(g_pipe[1], &byte, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 1 || byte == kStopWatching) {
        return;
    }
    // A session manager or a service manager kills whatever is still there after a few seconds; the
    // state is saved by the orderly close, so ending at the deadline loses nothing that close would
    // keep. Started here, not on the interface thread, which may not come back in time.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        qWarning() << "Still busy two seconds after the closing signal; ending now";
        std::_Exit(0);
    }).detach();
    QMetaObject::invokeMethod(
        this,
        [this, byte] {
            if (!m_requested) {
                terminate(byte);
            }
        },
        Qt::QueuedConnection);
}

void TerminationHandler::terminate(int signal)
{
    qInfo() << "Closing on signal" << signal;
    m_requested = true;

    // Dialogs and menus run event loops of their own, which a closing main window does not end.
    while (QWidget *popup = QApplication::activePopupWidget()) {
        popup->close();
    }
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible()) {
            dialog->reject();
        }
    }
    emit terminationRequested(signal);
    // Ends every running event loop, and makes any started later (a dialog opened by code that a
    // closed one returned to) return at once.
    QCoreApplication::exit(0);
}

} // namespace Nod::App
