#include "mainwindow.h"

#include "databasestartup.h"

#include <app/storage/settings.h>
#include <application/serviceregistry.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QFile>
#include <QVBoxLayout>

// The resources live in a static library, whose initialiser the linker would otherwise drop.
static void initResources()
{
    Q_INIT_RESOURCE(nodera);
}

namespace Nod::Presentation {

namespace {
Nod::Domain::BackgroundMode g_backgroundMode;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initResources();
    App::upgradeDatabase();
    auto *registry = new Application::ServiceRegistry(qApp);
    Application::ServiceRegistry::setInstance(registry);
    g_backgroundMode = Common::Infrastructure::Settings::instance()->mainWindow.backgroundMode();

    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Nodera Reader"));
    applyStyleSheet();

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);
}

MainWindow::~MainWindow() = default;

Nod::Domain::BackgroundMode MainWindow::backgroundMode()
{
    return g_backgroundMode;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    auto &settings = Common::Infrastructure::Settings::instance()->mainWindow;
    settings.setBackgroundMode(g_backgroundMode);
    settings.setGeometry(saveGeometry());
    event->accept();
}

void MainWindow::applyStyleSheet()
{
    QFile file(QStringLiteral(":qss/default.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Can not load style sheet:" << file.fileName();
        return;
    }
    QByteArray bytes = file.readAll();
    const int end = bytes.indexOf('\0');
    if (end >= 0) {
        bytes.truncate(end);
    }
    qApp->setStyleSheet(QString::fromUtf8(bytes));
}

} // namespace Nod::Presentation
