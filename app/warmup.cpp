#include "warmup.h"

#include <QDBusConnection>
#include <QFile>
#include <QGuiApplication>
#include <QLibraryInfo>

#include <fontconfig/fontconfig.h>

#include <dlfcn.h>

namespace Nod::App {

namespace {

// The plug-ins a start on X11 loads, in the order it needs them, when Qt takes them from its own
// folder; none when the environment points it at others or at another platform.
QList<QByteArray> startPlugins()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if ((!platform.isEmpty() && platform != "xcb") || qEnvironmentVariableIsSet("QT_PLUGIN_PATH")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM_PLUGIN_PATH")) {
        return {};
    }
    const QByteArray folder = QFile::encodeName(QLibraryInfo::location(QLibraryInfo::PluginsPath));
    return { folder + "/platforms/libqxcb.so", folder + "/sqldrivers/libqsqlite.so",
        folder + "/iconengines/libqsvgicon.so" };
}

} // namespace

WarmUp::WarmUp(Piece piece)
{
    switch (piece) {
    case Libraries:
        // The dynamic loader maps and relocates a library once per process: when Qt loads a
        // plug-in loaded here, it finds it ready. The platform's first, which is needed first.
        m_thread = std::thread([plugins = startPlugins()] {
            if (!plugins.isEmpty()) {
                dlopen(plugins.first().constData(), RTLD_LAZY);
            }
            FcInit();
            for (int i = 1; i < plugins.size(); ++i) {
                dlopen(plugins.at(i).constData(), RTLD_LAZY);
            }
        });
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
