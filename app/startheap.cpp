#include "startheap.h"

#include <QtGlobal>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Nod::App {

#if defined(Q_OS_LINUX) && defined(__GLIBC__)

namespace {

// A start takes some 5-10 MB of heap on the interface thread before its first page; a long
// document's pages and a large library more.
constexpr int kReserveBytes = 64 << 20;
constexpr std::uintptr_t kLargePage = 2 << 20;
bool g_reserved = false;

bool largePagesOnRequest()
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

bool allocatorTunedByUser()
{
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    return (tunables && std::strstr(tunables, "glibc.malloc.")) || std::getenv("MALLOC_TOP_PAD_");
}

} // namespace

void reserveStartHeap()
{
    if (g_reserved || allocatorTunedByUser() || !largePagesOnRequest()) {
        return;
    }
    // From now on the heap grows by the reserve past whatever is asked for.
    if (mallopt(M_TOP_PAD, kReserveBytes) != 1) {
        return;
    }
    g_reserved = true;
    char *const top = static_cast<char *>(sbrk(0));
    // Blocks small enough to come from the heap, until it has grown once; freed, they leave the
    // whole reserve free at its top, which the allocator keeps.
    std::vector<void *> blocks;
    blocks.reserve(256);
    while (static_cast<char *>(sbrk(0)) == top && blocks.size() < 256) {
        blocks.push_back(std::malloc(16 << 10));
    }
    for (void *block : blocks) {
        std::free(block);
    }
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(top) + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kLargePage - 1);
    if (end > begin) {
        // Advice only: where the kernel has no large page to give, it faults small ones as before.
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
    }
}

void releaseStartHeap()
{
    if (!g_reserved) {
        return;
    }
    g_reserved = false;
    mallopt(M_TOP_PAD, 0); // the library's default
}

#else

void reserveStartHeap() { }

void releaseStartHeap() { }

#endif

} // namespace Nod::App
