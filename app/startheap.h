#pragma once

namespace Nod::App {

// The heap of a start. What the interface thread allocates on its way to the first page (widgets,
// models, images) is new memory, and the kernel faults it in a 4 KB page at a time; on a virtual
// machine each of those faults costs more than the work that fills the page. reserveStartHeap()
// grows the heap once, by enough for a start, and asks for it in 2 MB pages where the kernel gives
// them on request ("always" or "madvise" in /sys/kernel/mm/transparent_hugepage/enabled): a few
// faults instead of thousands. No setting of the allocator is changed, so it goes on adapting as
// it does. releaseStartHeap() gives back what the start no longer uses. Only with the GNU C library on Linux,
// and only when the user does not tune the allocator through its environment; anywhere else both do nothing.
// reserveStartHeap() comes before any thread is started.
void reserveStartHeap();
void releaseStartHeap();

} // namespace Nod::App
