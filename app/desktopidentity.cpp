#include "desktopidentity.h"

#include <application/startgate.h>
#include <reading/lazyicon.h>

#include <QGuiApplication>
#include <QIcon>

// The icon and the guide live in a static library, whose initialiser the linker would otherwise drop.
static void registerDesktopResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(desktop);
        return true;
    }();
    Q_UNUSED(registered)
}

namespace Nod::App {

void initDesktopResources() { registerDesktopResources(); }

void applyDesktopIdentity()
{
    initDesktopResources();
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
}

void applyWindowIcon()
{
    initDesktopResources();
    // The scalable drawing, so that the window manager gets every size sharp.
    QGuiApplication::setWindowIcon(Presentation::lazyIcon(QStringLiteral(":/desktop/app.nodera.reader.svg")));
}

void applyWindowIconAfterStart() { Application::StartGate::whenOpen(qApp, &applyWindowIcon); }

} // namespace Nod::App
