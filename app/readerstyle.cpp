#include "readerstyle.h"

#include <reading/lazyicon.h>

namespace Nod::App {

QIcon ReaderStyle::standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const
{
    switch (icon) {
    case SP_ToolBarHorizontalExtensionButton:
        return Presentation::lazyIcon(QStringLiteral(":icons/chevron-right.svg"));
    case SP_ToolBarVerticalExtensionButton:
        return Presentation::lazyIcon(QStringLiteral(":icons/chevron-down.svg"));
    case SP_LineEditClearButton:
        return Presentation::lazyIcon(QStringLiteral(":icons/x.svg"));
    default:
        return QProxyStyle::standardIcon(icon, option, widget);
    }
}

} // namespace Nod::App
