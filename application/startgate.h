#pragma once

#include <functional>

class QObject;

namespace Nod::Application {

// Work a reader does not wait for (reading a whole file to offer its annotations, say) can wait
// until the start has shown its first page, so that it does not take a processor from that page.
// A start of the program holds the gate until then; anywhere else, tests included, it is open and
// the work runs at once. Interface thread only.
namespace StartGate {

void hold();
// Runs what waited, each piece on a turn of the event loop of its own. Idempotent.
void open();
bool isOpen();
// Runs `work` now when the gate is open; else once it opens, unless `context` is gone by then.
void whenOpen(QObject *context, std::function<void()> work);

} // namespace StartGate

} // namespace Nod::Application
