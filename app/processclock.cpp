#include "processclock.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <ctime>
#include <unistd.h>

namespace Nod::App {

qint64 msSinceProcessStart()
{
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces; the fields are counted after its end.
    const int nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0) {
        return -1;
    }
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    // Field 22 of the whole line, the start time in clock ticks after boot, is the 20th after the name.
    constexpr int kStartTimeAfterName = 19;
    bool ok = false;
    const qint64 startTicks = fields.value(kStartTimeAfterName).toLongLong(&ok);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    timespec now {};
    if (!ok || ticksPerSecond <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return -1;
    }
    const qint64 nowMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return qMax<qint64>(0, nowMs - startTicks * 1000 / ticksPerSecond);
#else
    return -1;
#endif
}

} // namespace Nod::App
