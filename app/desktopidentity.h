#pragma once

namespace Nod::App {

// The name under which the desktop knows the program: its desktop entry, its icon in the icon theme
// and its metadata all carry it.
inline constexpr char kDesktopId[] = "app.nodera.reader";

// Makes ":/desktop/" (the program's icon and the user guide) readable; any number of calls.
void initDesktopResources();

// Lets the desktop match the program's windows to its menu entry and gives every window the
// program's own icon. Needs the application object.
void applyDesktopIdentity();

} // namespace Nod::App
