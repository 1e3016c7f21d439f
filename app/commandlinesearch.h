#pragma once

namespace Nod::App {

// Prints the full-text hits of the library in the configured storage folder, one per line: the
// document's path, the page number or "note" (or "details" for title, overview and tags) and the
// passage, separated by tabs, best first. Runs without a window and without the single-instance
// hand-over, reading the index and the database only. Returns the exit code: 0 done (with or
// without hits), 1 no index yet or a library that cannot be read, 2 a malformed command line or query.
int runSearchCommand(int argc, char *argv[]);

} // namespace Nod::App
