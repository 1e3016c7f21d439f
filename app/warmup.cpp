#include "warmup.h"

#include <QDBusConnection>
#include <QGuiApplication>

#include <fontconfig/fontconfig.h>

namespace Nod::App {

WarmUp::WarmUp(Piece piece)
{
    switch (piece) {
    case Fonts:
        m_thread = std::thread([] { FcInit(); });
        break;
    case SessionBus:
        // Only where the bridge asks for it: elsewhere (offscreen, no session) a connection would
        // be made for nothing, or would start a bus of its own.
        if (QGuiApplication::platformName() == QLatin1String("xcb")
            && !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            m_thread = std::thread([] { QDBusConnection::sessionBus(); });
        }
        break;
    }
}

WarmUp::~WarmUp()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

} // namespace Nod::App
