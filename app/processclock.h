#pragma once

#include <QtGlobal>

namespace Nod::App {

// Milliseconds since the kernel started this process, so that start-up figures include what runs
// before main(): the dynamic loader, library initialisers and static constructors. -1 where the
// process table cannot be read. Resolution is the kernel's clock tick (10 ms on most systems).
qint64 msSinceProcessStart();

} // namespace Nod::App
