#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// A line of what the kernel says of the mapping that holds an address ("Rss:", "VmFlags:", ...),
// or empty where nothing is mapped there. By number: the memory there may never have been written.
inline QByteArray mappingLine(quintptr at, const QByteArray &field)
{
    QFile maps(QStringLiteral("/proc/self/smaps"));
    if (!maps.open(QIODevice::ReadOnly)) {
        return {};
    }
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
        } else if (inside && line.startsWith(field)) {
            return line;
        }
    }
    return {};
}

// The mapping's "VmFlags:" line: " hg" marks one advised to use large pages.
inline QByteArray mappingFlags(const void *address)
{
    return mappingLine(reinterpret_cast<quintptr>(address), "VmFlags:");
}

// How much of the mapping is in memory, in KiB; -1 where nothing is mapped.
inline qint64 mappingResidentKiB(const void *address)
{
    const QByteArray line = mappingLine(reinterpret_cast<quintptr>(address), "Rss:");
    return line.isEmpty() ? -1 : line.mid(4).trimmed().split(' ').value(0).toLongLong();
}
