#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

// What the interactive benchmarks watch in their own process: resident memory and how long the
// interface thread goes without running its event loop.
namespace Bench {

// A field of /proc/self/status in MiB ("VmRSS" now, "VmHWM" the peak); 0 where it cannot be read.
inline double rssMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return 0;
}

// The longest gap between the ticks of a 1 ms timer on the interface thread.
class Watchdog
{
public:
    Watchdog()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (now - m_last > m_maxGap) {
                m_maxGap = now - m_last;
                m_maxGapAt = now;
            }
            m_last = now;
        });
    }
    void start()
    {
        m_maxGap = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_maxGap / 1e6;
    }
    // When the longest gap ended, in ms after start().
    double maxGapAt() const { return m_maxGapAt / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
    qint64 m_maxGapAt = 0;
};

} // namespace Bench
