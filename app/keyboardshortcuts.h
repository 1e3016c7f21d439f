#pragma once

#include <QKeySequence>
#include <QString>

#include <vector>

namespace Nod::Presentation::KeyboardShortcuts {

// The keys of the program in one place: the tool and colour keys that the settings let the user
// change, and the keys the program keeps for itself. The settings dialog checks new keys against
// the latter; the "Keyboard Shortcuts" window lists both.

// A marking tool's key, stored under "shortcut/" + name.
struct Tool
{
    const char *name;
    const char *label; // translated in "Nod::Presentation::SettingsDialog"
};
const std::vector<Tool> &tools();

// The colour pane's default colours, without their "#": the document tab looks their keys up by
// these names.
const std::vector<const char *> &colors();

struct Fixed
{
    const char *area; // translated in "Nod::Presentation::KeyboardShortcuts"
    QKeySequence key;
    const char *label; // translated in "Nod::Presentation::SettingsDialog"
    // The document tab takes the key whatever the settings say: a tool or colour given the same
    // key would make both ambiguous, and neither would fire.
    bool keptByDocumentTab;
};
const std::vector<Fixed> &fixed();

// The keys in force as a page for a text browser: the fixed keys by area, then every tool's and
// colour's key as the settings hold them now.
QString listing();

} // namespace Nod::Presentation::KeyboardShortcuts
