#include "largepages.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif
#endif

namespace Nod::Domain::LargePages {

#ifdef Q_OS_LINUX

namespace {

bool readOnRequest()
{
    std::FILE *file = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "re");
    if (!file) {
        return false;
    }
    char text[128] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[length] = '\0';
    return std::strstr(text, "[always]") || std::strstr(text, "[madvise]");
}

std::size_t roundUp(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

} // namespace

bool onRequest()
{
    static const bool given = readOnRequest();
    return given;
}

void *map(std::size_t bytes, std::size_t *mappedLength)
{
    if (bytes == 0 || !onRequest()) {
        return nullptr;
    }
    const auto smallPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::size_t length = roundUp(bytes, smallPage);
    if (roundUp(length, kSize) - length <= kSize / 4) {
        length = roundUp(length, kSize);
    }
    // Mapped with a large page's worth to spare, so that a boundary falls inside; the spare ends go.
    const std::size_t spare = length + kSize;
    void *raw = mmap(nullptr, spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundUp(begin, kSize);
    if (aligned > begin) {
        munmap(raw, aligned - begin);
    }
    const std::uintptr_t end = begin + spare;
    if (end > aligned + length) {
        munmap(reinterpret_cast<void *>(aligned + length), end - (aligned + length));
    }
    // Advice only: without a large page free the kernel faults small ones.
    madvise(reinterpret_cast<void *>(aligned), length, MADV_HUGEPAGE);
    *mappedLength = length;
    return reinterpret_cast<void *>(aligned);
}

void unmap(void *block, std::size_t mappedLength)
{
    if (block) {
        munmap(block, mappedLength);
    }
}

bool populate(void *begin, std::size_t length)
{
    const auto smallPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(begin) & ~(smallPage - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(begin) + length;
    return length == 0 || madvise(reinterpret_cast<void *>(first), end - first, MADV_POPULATE_WRITE) == 0;
}

#else

bool onRequest() { return false; }

void *map(std::size_t, std::size_t *) { return nullptr; }

void unmap(void *, std::size_t) { }

bool populate(void *, std::size_t) { return false; }

#endif

} // namespace Nod::Domain::LargePages
