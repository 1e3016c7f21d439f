#include <app/application.h>
#include <app/databasestartup.h>
#include <app/mainwindow.h>
#include <app/startup.h>
#include <app/storage/house.h>
#include <app/terminationhandler.h>
#include <backend/renderparam.h>
#include <domain/metatypes.h>

int main(int argc, char *argv[])
{
    qRegisterMetaType<RenderParam>("RenderParam");
    Nod::Domain::registerMetaTypes();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    Nod::App::setApplicationIdentity();

    Nod::App::Application app(argc, argv);

    auto *house = Common::Infrastructure::House::instance();
    QObject::connect(house, &Common::Infrastructure::House::locationChanged, &Nod::App::setUpLog);
    QObject::connect(house, &Common::Infrastructure::House::locationChanged, &Nod::App::openDatabase);
    Nod::App::installDatabaseCopier();

    // Without a storage folder there is no database to work on; the user has been told why.
    if (!Nod::App::prepareStorage()) {
        return EXIT_FAILURE;
    }

    QStringList arguments = QCoreApplication::arguments();
    Nod::App::logStartupLines(arguments);
    arguments.removeFirst();

    Nod::App::loadTranslation();

    Nod::Presentation::MainWindow window;
    Nod::App::TerminationHandler termination;
    QObject::connect(
        &termination, &Nod::App::TerminationHandler::terminationRequested, &window, &QWidget::close);
    window.showMaximized();
    for (const QString &path : qAsConst(arguments)) {
        window.addToLibrary(path);
    }
    return app.exec();
}
