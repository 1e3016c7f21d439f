#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace Nod::App {

// Watches the interface thread for a while after the first page is shown, when the rest of the
// start (library lists, index, outline, other tabs) follows on the event loop: the longest time it
// took to get back to its loop is what a reader would feel as a stall. Writes "pauses after the
// first page: longest N ms over M ms" and deletes itself.
class PauseWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PauseWatch)

public:
    PauseWatch(int durationMs, QObject *parent);

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_duration;
};

} // namespace Nod::App
