#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace Nod::App {

// One option of the program's command line. An option with a command runs on its own: without a
// window, without a display and without handing anything to a running instance; the command gets
// the whole command line and returns the process's exit code.
struct CommandLineOption
{
    const char *name; // "--export-notes"
    const char *shortName; // "-h", or nullptr
    const char *arguments; // what follows the option, as --help shows it, or nullptr
    const char *description; // one sentence for --help and the manual page, translated in "Nod::App"
    int (*command)(int argc, char *argv[]);
};

// Every option the program accepts, in the order --help lists them. A new option is one more row
// here and one more entry in the manual page.
const std::vector<CommandLineOption> &commandLineOptions();

// The --help text: the synopsis, then every option with its description.
QString usageText();

// Looks at the command line before anything else exists. When the first option on it (an argument
// that starts with "-", up to a lone "--") is one of the table's, runs its command and returns the
// exit code; an unknown option prints the usage to standard error and gives 2, so that it is never
// taken for a file. The toolkit's own options (-style, -platform, -session, ...) pass through.
// Returns nothing when the program should start as usual on the files named.
std::optional<int> runCommandLineOption(int argc, char *argv[]);

// The files of a whole command line (the program's path first): every argument after the path
// but the first lone "--", which only marks the end of the options.
QStringList fileArguments(QStringList arguments);

} // namespace Nod::App
