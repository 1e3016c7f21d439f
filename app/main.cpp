#include <app/mainwindow.h>
#include <app/startup.h>
#include <app/storage/house.h>
#include <domain/metatypes.h>

#include <QApplication>

int main(int argc, char *argv[])
{
    Nod::Domain::registerMetaTypes();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    Nod::App::setApplicationIdentity();

    QApplication app(argc, argv);

    auto *house = Common::Infrastructure::House::instance();
    QObject::connect(house, &Common::Infrastructure::House::locationChanged, &Nod::App::setUpLog);

    Nod::App::prepareStorage();

    QStringList arguments = QCoreApplication::arguments();
    Nod::App::logStartupLines(arguments);
    arguments.removeFirst();

    Nod::App::loadTranslation();

    Nod::Presentation::MainWindow window;
    window.showMaximized();
    return app.exec();
}
