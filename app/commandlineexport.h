#pragma once

namespace Nod::App {

// Runs that export without a window and without the single-instance hand-over, reading the library
// of the configured storage folder. Prints a message to standard error on failure; returns the
// process's exit code: 0 written, 1 refused or failed, 2 a malformed command line.
int runNotesExportCommand(int argc, char *argv[]);

} // namespace Nod::App
