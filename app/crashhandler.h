#pragma once

#include <QString>

namespace Nod::App {

// Writes a short report (signal and stack) into the storage folder's Crashes room when the program
// dies of a fatal signal, then lets the signal take its course. Installed once per process; the
// folder follows the storage location.
class CrashHandler final
{
public:
    static void install(const QString &crashFolder);
};

} // namespace Nod::App
