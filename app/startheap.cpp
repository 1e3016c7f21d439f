#include "startheap.h"

#include <domain/largepages.h>

#include <QtGlobal>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Nod::App {

#if defined(Q_OS_LINUX) && defined(__GLIBC__)

namespace {

// A start takes some 5-10 MB of heap on the interface thread before its first page; a long
// document's pages and a large library more. Under the largest block the allocator serves from
// its heap rather than mapping it on its own (32 MB).
constexpr std::size_t kReserveBytes = (32u << 20) - (64u << 10);
constexpr std::uintptr_t kLargePage = Nod::Domain::LargePages::kSize;
bool g_reserved = false;

// What a start's interface thread fills of the heap before its first page, in large pages.
constexpr std::uintptr_t kPopulatedBytes = 3 * kLargePage;

// Makes [begin, end) on a thread of its own while the start loads its libraries and connects to
// the display, so that the interface thread finds those pages made: a large page is zeroed when
// made, and where the kernel first has to compact memory to find one, that took milliseconds.
// Populating leaves contents as they are, so the heap may be in use meanwhile.
void populateAside(std::uintptr_t begin, std::uintptr_t end)
{
    try {
        std::thread([begin, end] {
            Nod::Domain::LargePages::populate(reinterpret_cast<void *>(begin), end - begin);
        }).detach();
    } catch (const std::system_error &) {
        // No thread to spare: the pages are made on their first touch, as anywhere else.
    }
}

bool allocatorTunedByUser()
{
    const char *tunables = std::getenv("GLIBC_TUNABLES");
    return (tunables && std::strstr(tunables, "glibc.malloc.")) || std::getenv("MALLOC_TOP_PAD_")
        || std::getenv("MALLOC_TRIM_THRESHOLD_") || std::getenv("MALLOC_MMAP_THRESHOLD_");
}

} // namespace

void reserveStartHeap()
{
    if (g_reserved || allocatorTunedByUser() || !Nod::Domain::LargePages::onRequest()) {
        return;
    }
    g_reserved = true;
    // The allocator's own rule, not a setting (a setting would end its adapting for good): a
    // mapped block this large, once freed, makes it serve blocks up to that size from its heap
    // and keep twice that free at the heap's top.
    // (Through a volatile, so that the compiler keeps an allocation nothing reads.)
    void *volatile mapped = std::malloc(kReserveBytes);
    std::free(mapped);
    // One block from the heap: its memory, grown for it or free there already, is what the start's
    // allocations come from once it is freed again.
    char *const reserve = static_cast<char *>(std::malloc(kReserveBytes));
    if (reserve && reserve < static_cast<char *>(sbrk(0))) {
        const std::uintptr_t begin
            = (reinterpret_cast<std::uintptr_t>(reserve) + kLargePage - 1) & ~(kLargePage - 1);
        const std::uintptr_t end
            = reinterpret_cast<std::uintptr_t>(reserve + kReserveBytes) & ~(kLargePage - 1);
        if (end > begin) {
            // Advice only: where the kernel has no large page to give, it faults small ones.
            madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
            populateAside(begin, std::min(end, begin + kPopulatedBytes));
        }
    }
    std::free(reserve);
}

void releaseStartHeap()
{
    if (!g_reserved) {
        return;
    }
    g_reserved = false;
    // What the start no longer uses goes back: the rest of the reserve, and freed pages.
    malloc_trim(0);
}

#else

void reserveStartHeap() { }

void releaseStartHeap() { }

#endif

} // namespace Nod::App
