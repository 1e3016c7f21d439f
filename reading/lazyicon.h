#pragma once

#include <QIcon>

class QString;

namespace Nod::Presentation {

// The icon of one of the program's own image files, read when it is first drawn rather than when it
// is made: a window makes dozens of icons, many for menus and panels not shown yet, and reading a
// drawing means parsing it. Drawn as the framework draws icons of such files: a drawing (".svg")
// at any size asked for, parsed once; any other image read once and only ever scaled down. Every
// icon of a file shares what was read of it. Interface thread.
QIcon lazyIcon(const QString &fileName);

} // namespace Nod::Presentation
