#pragma once

#include <cstddef>

namespace Nod::Domain {

// Memory in 2 MB pages where the kernel gives them on request. Every 4 KB page a process touches
// for the first time costs a fault, and under some hypervisors each costs ten microseconds or more:
// a page image of a few megabytes then takes longer to fault in than to draw. In 2 MB pages the
// same memory costs a handful of faults. Pages of any size can also be made ahead of their first
// touch, in one call or on another thread.
namespace LargePages {

constexpr std::size_t kSize = std::size_t(2) << 20;

// True where transparent huge pages are given on request ("always" or "madvise"). Read once.
bool onRequest();

// A mapping of at least bytes, starting on a large-page boundary and advised to use large pages.
// The length is rounded up to whole large pages when that wastes at most a quarter of a large page
// per block; otherwise the tail stays in small pages. Null when large pages are not given on request
// or the mapping fails: the caller then allocates as usual. The length mapped is written to
// *mappedLength, which unmap needs back.
void *map(std::size_t bytes, std::size_t *mappedLength);
void unmap(void *block, std::size_t mappedLength);

// Makes the pages of [begin, begin + length) present and writable in one call, without changing
// what they hold, so that it is safe on memory in use. False where the kernel cannot (before 5.14):
// the pages are then made on their first touch as before.
bool populate(void *begin, std::size_t length);

} // namespace LargePages

} // namespace Nod::Domain
