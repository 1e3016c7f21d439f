#pragma once

#include <QObject>

#include <thread>

namespace Nod::App {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a service manager's stop, Ctrl+C in a terminal) into
// an orderly end within two seconds, whatever the program is doing: open dialogs, menus and the
// nested event loops they run are closed, terminationRequested lets the main window save its state
// as on a normal close, and every event loop ends. Should the interface thread still be busy two
// seconds later, the process ends there: the signals are read on a thread of their own, so the
// deadline holds however long the interface thread is kept from its event loop.
class TerminationHandler final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationHandler)

public:
    explicit TerminationHandler(QObject *parent = nullptr);
    ~TerminationHandler() override;

    // Whether a signal came: an event loop started after it would run on, so callers check first.
    bool isRequested() const { return m_requested; }

signals:
    // Connected directly: the receivers save what they must before this returns.
    void terminationRequested(int signal);

private:
    static void onSignal(int signal);
    // Runs on the watcher thread until the first signal or the handler's destruction.
    void watch();
    void terminate(int signal);

    std::thread m_watcher;
    bool m_requested = false; // interface thread only
};

} // namespace Nod::App
