#pragma once

#include <QObject>

class QSocketNotifier;

namespace Nod::App {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a kill, Ctrl+C in a terminal) into an orderly close of
// the windows, so that reading state and the session are saved as on a normal close.
class TerminationHandler final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationHandler)

public:
    explicit TerminationHandler(QObject *parent = nullptr);
    ~TerminationHandler() override;

signals:
    void terminationRequested(int signal);

private:
    static void onSignal(int signal);
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Nod::App
