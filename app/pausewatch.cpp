#include "pausewatch.h"

namespace Nod::App {

namespace {
// Short enough to see a pause of a few frames; a watch of two seconds wakes the thread 400 times.
constexpr int kTickMs = 5;
} // namespace

PauseWatch::PauseWatch(int durationMs, QObject *parent)
    : QObject(parent)
    , m_duration(durationMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &PauseWatch::tick);
    m_clock.start();
    m_timer.start();
}

void PauseWatch::tick()
{
    const qint64 now = m_clock.elapsed();
    // A tick is due every interval; what came later than that was the thread being busy.
    m_longest = qMax(m_longest, now - m_last - kTickMs);
    m_last = now;
    if (now >= m_duration) {
        m_timer.stop();
        qInfo("pauses after the first page: longest %lld ms over %lld ms", static_cast<long long>(m_longest),
            static_cast<long long>(now));
        deleteLater();
    }
}

} // namespace Nod::App
