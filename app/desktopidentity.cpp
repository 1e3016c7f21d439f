#include "desktopidentity.h"

#include <application/startgate.h>
#include <reading/lazyicon.h>

#include <QApplication>
#include <QDialog>
#include <QEvent>
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

namespace {

// Until the start gives the icon, the first dialog it shows (a warning about the library, say) gives
// it at once, so that no window of the program is without it.
class IconOnFirstDialog final : public QObject
{
public:
    explicit IconOnFirstDialog(QObject *parent)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched)) {
            give();
        }
        return false;
    }

    void give()
    {
        qApp->removeEventFilter(this);
        applyWindowIcon();
        deleteLater();
    }
};

} // namespace

void applyWindowIconAfterStart()
{
    auto *watch = new IconOnFirstDialog(qApp);
    // Gone once a dialog gave the icon, and then the gate gives nothing more.
    Application::StartGate::whenOpen(watch, [watch] { watch->give(); });
}

} // namespace Nod::App
