#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// What the kernel says of the mapping that holds an address: its "VmFlags:" line (" hg" marks one
// advised to use large pages), or empty where nothing is mapped.
inline QByteArray mappingFlags(const void *address)
{
    QFile maps(QStringLiteral("/proc/self/smaps"));
    if (!maps.open(QIODevice::ReadOnly)) {
        return {};
    }
    const auto at = reinterpret_cast<quintptr>(address);
    bool inside = false;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const int dash = line.indexOf('-');
        const int space = line.indexOf(' ');
        bool isRange = false;
        bool isEnd = false;
        const quintptr from = dash > 0 && space > dash ? line.left(dash).toULongLong(&isRange, 16) : 0;
        const quintptr to = isRange ? line.mid(dash + 1, space - dash - 1).toULongLong(&isEnd, 16) : 0;
        if (isRange && isEnd) {
            inside = at >= from && at < to;
        } else if (inside && line.startsWith("VmFlags:")) {
            return line;
        }
    }
    return {};
}
