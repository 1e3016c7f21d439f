#include "keyboardshortcuts.h"

#include <app/storage/settings.h>

#include <QCoreApplication>

namespace Nod::Presentation::KeyboardShortcuts {

namespace {

const char kSettingsContext[] = "Nod::Presentation::SettingsDialog";
const char kContext[] = "Nod::Presentation::KeyboardShortcuts";

#define SETTINGS_TEXT(text) QT_TRANSLATE_NOOP("Nod::Presentation::SettingsDialog", text)
#define AREA(text) QT_TRANSLATE_NOOP("Nod::Presentation::KeyboardShortcuts", text)

QString text(const char *context, const char *source) { return QCoreApplication::translate(context, source); }

QString keyText(const QKeySequence &key)
{
    return key.isEmpty() ? text(kContext, "none") : key.toString(QKeySequence::NativeText).toHtmlEscaped();
}

QString row(const QString &key, const QString &label)
{
    return QStringLiteral("<tr><td><kbd>%1</kbd></td><td>%2</td></tr>").arg(key, label);
}

} // namespace

const std::vector<Tool> &tools()
{
    static const std::vector<Tool> list = {
        { "selectText", SETTINGS_TEXT("Select text") },
        { "textHighlight", SETTINGS_TEXT("Text Highlight") },
        { "textUnderline", SETTINGS_TEXT("Text Underline") },
        { "areaHighlight", SETTINGS_TEXT("Area Highlight") },
        { "rectangle", SETTINGS_TEXT("Rectangle") },
        { "linePen", SETTINGS_TEXT("Line Pen") },
        { "lineBrush", SETTINGS_TEXT("Line Brush") },
    };
    return list;
}

const std::vector<const char *> &colors()
{
    static const std::vector<const char *> list = { "ffff00", "00ff00", "00ffff", "ff00ff", "0000ff",
        "ff0000", "000080", "008000", "808000", "c0c0c0" };
    return list;
}

const std::vector<Fixed> &fixed()
{
    const char *const document = AREA("Document");
    const char *const reading = AREA("Reading");
    const char *const marks = AREA("Marks and notes");
    const char *const editor = AREA("Note editor");
    const char *const library = AREA("Library");
    static const std::vector<Fixed> list = {
        { document, QKeySequence(Qt::CTRL | Qt::Key_O), SETTINGS_TEXT("Open"), true },
        { document, QKeySequence(Qt::CTRL | Qt::Key_P), SETTINGS_TEXT("Print"), true },
        { document, QKeySequence(Qt::CTRL | Qt::Key_F), SETTINGS_TEXT("Find"), true },
        { document, QKeySequence(QKeySequence::FindNext), SETTINGS_TEXT("Find Next"), true },
        { document, QKeySequence(QKeySequence::FindPrevious), SETTINGS_TEXT("Find Previous"), true },
        { document, QKeySequence(Qt::CTRL | Qt::Key_Slash), SETTINGS_TEXT("Reading View"), true },
        { reading, QKeySequence(Qt::Key_Left), SETTINGS_TEXT("Previous page"), true },
        { reading, QKeySequence(Qt::Key_Right), SETTINGS_TEXT("Next page"), true },
        { reading, QKeySequence(Qt::Key_Up), SETTINGS_TEXT("Scrolling"), true },
        { reading, QKeySequence(Qt::Key_Down), SETTINGS_TEXT("Scrolling"), true },
        { reading, QKeySequence(Qt::Key_PageUp), SETTINGS_TEXT("Paging"), true },
        { reading, QKeySequence(Qt::Key_PageDown), SETTINGS_TEXT("Paging"), true },
        { reading, QKeySequence(Qt::Key_Space), SETTINGS_TEXT("Paging"), true },
        { reading, QKeySequence(Qt::Key_Home), SETTINGS_TEXT("First page"), true },
        { reading, QKeySequence(Qt::Key_End), SETTINGS_TEXT("Last page"), true },
        { reading, QKeySequence(Qt::CTRL | Qt::Key_Equal), SETTINGS_TEXT("Zoom In"), true },
        { reading, QKeySequence(Qt::CTRL | Qt::Key_Minus), SETTINGS_TEXT("Zoom Out"), true },
        { reading, QKeySequence(Qt::ALT | Qt::Key_Left), SETTINGS_TEXT("Previous view"), true },
        { reading, QKeySequence(Qt::ALT | Qt::Key_Right), SETTINGS_TEXT("Next view"), true },
        { reading, QKeySequence(Qt::Key_Escape), SETTINGS_TEXT("Hand tool"), true },
        { reading, QKeySequence(Qt::CTRL | Qt::Key_C), SETTINGS_TEXT("Copy the selected text"), false },
        { marks, QKeySequence(Qt::CTRL | Qt::Key_Z), SETTINGS_TEXT("Undo"), true },
        { marks, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), SETTINGS_TEXT("Redo"), true },
        { marks, QKeySequence(Qt::CTRL | Qt::Key_Y), SETTINGS_TEXT("Redo"), true },
        { marks, QKeySequence(Qt::Key_Delete), SETTINGS_TEXT("Remove the selected mark"), true },
        { editor, QKeySequence(Qt::CTRL | Qt::Key_B), SETTINGS_TEXT("Bold"), false },
        { editor, QKeySequence(Qt::CTRL | Qt::Key_I), SETTINGS_TEXT("Italic"), false },
        { editor, QKeySequence(Qt::CTRL | Qt::Key_U), SETTINGS_TEXT("Underline"), false },
        { library, QKeySequence(Qt::Key_F2), SETTINGS_TEXT("Rename tag"), false },
        { library, QKeySequence(Qt::Key_Delete), SETTINGS_TEXT("Remove the selected documents"), false },
    };
    return list;
}

QString listing()
{
    const auto *settings = Common::Infrastructure::Settings::instance();
    QString html = QStringLiteral("<h2>%1</h2><table cellspacing=\"4\">")
                       .arg(text(kContext, "Marking tools (Settings... > Shortcut)").toHtmlEscaped());
    for (const Tool &tool : tools()) {
        html += row(keyText(settings->shortcut.shortcut(QLatin1String(tool.name))),
            text(kSettingsContext, tool.label).toHtmlEscaped());
    }
    html += QStringLiteral("</table><h2>%1</h2><table cellspacing=\"4\">")
                .arg(text(kContext, "Colours (Settings... > Shortcut)").toHtmlEscaped());
    bool anyColor = false;
    for (const char *color : colors()) {
        const QKeySequence key = settings->shortcut.shortcut(QLatin1String(color));
        if (key.isEmpty()) {
            continue;
        }
        anyColor = true;
        html += QStringLiteral("<tr><td><kbd>%1</kbd></td><td bgcolor=\"#%2\">&nbsp;&nbsp;&nbsp;&nbsp;</td>"
                               "<td>#%2</td></tr>")
                    .arg(keyText(key), QLatin1String(color));
    }
    if (!anyColor) {
        html += row(
            keyText(QKeySequence()), text(kContext, "No colour has a key of its own.").toHtmlEscaped());
    }
    html += QStringLiteral("</table>");
    const char *area = nullptr;
    for (const Fixed &entry : fixed()) {
        if (!area || qstrcmp(area, entry.area) != 0) {
            html += QStringLiteral("%1<h2>%2</h2><table cellspacing=\"4\">")
                        .arg(area ? QStringLiteral("</table>") : QString(),
                            text(kContext, entry.area).toHtmlEscaped());
            area = entry.area;
        }
        html += row(keyText(entry.key), text(kSettingsContext, entry.label).toHtmlEscaped());
    }
    return html + QStringLiteral("</table>");
}

} // namespace Nod::Presentation::KeyboardShortcuts
