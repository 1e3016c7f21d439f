#pragma once

namespace Nod::App {

// The name under which the desktop knows the program: its desktop entry, its icon in the icon theme
// and its metadata all carry it.
inline constexpr char kDesktopId[] = "app.nodera.reader";

// Makes ":/desktop/" (the program's icon and the user guide) readable; any number of calls.
void initDesktopResources();

// Lets the desktop match the program's windows to its menu entry. Needs the application object.
void applyDesktopIdentity();

// Gives every window the program's own icon. The window system takes it drawn at four sizes, which
// costs milliseconds; a start that holds the start gate gives it once the first page is shown (the
// desktop shows its menu entry's icon meanwhile), or when it shows a dialog before that; anything
// else at once.
void applyWindowIcon();
void applyWindowIconAfterStart();

} // namespace Nod::App
