#include "commandline.h"

#include "commandlineexport.h"
#include "commandlinesearch.h"
#include "startup.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstring>

namespace Nod::App {

namespace {

const char kContext[] = "Nod::App";
const char kEndOfOptions[] = "--";
constexpr int kWidth = 80;

int printHelp(int, char *[])
{
    QTextStream(stdout) << usageText();
    return 0;
}

int printVersion(int, char *[])
{
    setApplicationIdentity();
    QTextStream(stdout) << "Nodera Reader " << QCoreApplication::applicationVersion() << '\n';
    return 0;
}

// Options that QApplication takes out of the command line itself; the session manager, for one,
// restarts the program with "-session ID".
struct ToolkitOption
{
    const char *name;
    bool takesValue;
};

const ToolkitOption kToolkitOptions[] = {
    { "-platform", true },
    { "-platformpluginpath", true },
    { "-platformtheme", true },
    { "-plugin", true },
    { "-qwindowgeometry", true },
    { "-qwindowtitle", true },
    { "-qwindowicon", true },
    { "-geometry", true },
    { "-title", true },
    { "-icon", true },
    { "-display", true },
    { "-name", true },
    { "-session", true },
    { "-style", true },
    { "-stylesheet", true },
    { "-reverse", false },
    { "-widgetcount", false },
    { "-nograb", false },
    { "-dograb", false },
    { "-sync", false },
};

const ToolkitOption *toolkitOption(const char *argument)
{
    // The toolkit reads "--style" as "-style" and accepts "-style=NAME".
    if (std::strncmp(argument, "--", 2) == 0) {
        ++argument;
    }
    const char *equals = std::strchr(argument, '=');
    const size_t length = equals ? size_t(equals - argument) : std::strlen(argument);
    for (const ToolkitOption &option : kToolkitOptions) {
        if (std::strlen(option.name) == length && std::strncmp(option.name, argument, length) == 0) {
            return &option;
        }
    }
    return nullptr;
}

bool hasInlineValue(const char *argument) { return std::strchr(argument, '=') != nullptr; }

const CommandLineOption *ownOption(const char *argument)
{
    for (const CommandLineOption &option : commandLineOptions()) {
        if (std::strcmp(argument, option.name) == 0
            || (option.shortName && std::strcmp(argument, option.shortName) == 0)) {
            return &option;
        }
    }
    return nullptr;
}

QString translated(const char *text) { return QCoreApplication::translate(kContext, text); }

} // namespace

const std::vector<CommandLineOption> &commandLineOptions()
{
    static const std::vector<CommandLineOption> options = {
        { "--help", "-h", nullptr, QT_TRANSLATE_NOOP("Nod::App", "Print this help and exit."), &printHelp },
        { "--version", "-v", nullptr, QT_TRANSLATE_NOOP("Nod::App", "Print the version and exit."),
            &printVersion },
        { "--export-notes", nullptr, "FILE.md|FILE.html DOCUMENT",
            QT_TRANSLATE_NOOP("Nod::App",
                "Write the notes of DOCUMENT, a file in the library, to FILE as Markdown or HTML, "
                "without a window, whether or not the program is running."),
            &runNotesExportCommand },
        { "--search", nullptr, "QUERY",
            QT_TRANSLATE_NOOP("Nod::App",
                "Print the passages of the library's documents and notes that match QUERY, one a line: "
                "the document, the page or \"note\", and the passage, separated by tabs, best first."),
            &runSearchCommand },
    };
    return options;
}

QString usageText()
{
    constexpr int column = 32;
    QString text;
    QTextStream out(&text);
    out << translated("Usage: NoderaReader [FILE...]") << '\n'
        << translated("       NoderaReader OPTION [ARGUMENT...]") << "\n\n"
        << translated("Opens PDF and EPUB files; a running Nodera Reader window receives them.") << "\n\n"
        << translated("Options:") << '\n';
    // A terminal's 80 columns: the description wraps at words, under itself.
    const auto line = [&out](const QString &left, const QString &description) {
        out << "  " << left;
        if (left.size() + 2 < column - 1) {
            out << QString(column - 2 - left.size(), QLatin1Char(' '));
        } else {
            out << '\n' << QString(column, QLatin1Char(' '));
        }
        int used = column;
        bool first = true;
        for (const QString &word : description.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (!first && used + 1 + word.size() > kWidth) {
                out << '\n' << QString(column, QLatin1Char(' '));
                used = column;
                first = true;
            }
            if (!first) {
                out << ' ';
                ++used;
            }
            out << word;
            used += word.size();
            first = false;
        }
        out << '\n';
    };
    for (const CommandLineOption &option : commandLineOptions()) {
        QString left = QString::fromLatin1(option.name);
        if (option.shortName) {
            left = QString::fromLatin1(option.shortName) + QStringLiteral(", ") + left;
        }
        if (option.arguments) {
            left += QLatin1Char(' ') + QString::fromLatin1(option.arguments);
        }
        line(left, translated(option.description));
    }
    line(QString::fromLatin1(kEndOfOptions),
        translated("Take every argument after it as a file, even one that starts with \"-\"."));
    out.flush();
    return text;
}

std::optional<int> runCommandLineOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, kEndOfOptions) == 0) {
            break;
        }
        if (argument[0] != '-') {
            continue;
        }
        if (const CommandLineOption *option = ownOption(argument)) {
            return option->command(argc, argv);
        }
        if (const ToolkitOption *option = toolkitOption(argument)) {
            if (option->takesValue && !hasInlineValue(argument)) {
                ++i;
            }
            continue;
        }
        QTextStream(stderr)
            << translated("NoderaReader: unknown option %1").arg(QString::fromLocal8Bit(argument)) << "\n\n"
            << usageText();
        return 2;
    }
    return std::nullopt;
}

QStringList fileArguments(QStringList arguments)
{
    if (!arguments.isEmpty()) {
        arguments.removeFirst();
    }
    arguments.removeOne(QString::fromLatin1(kEndOfOptions));
    return arguments;
}

} // namespace Nod::App
