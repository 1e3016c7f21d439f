#include <app/commandline.h>
#include <app/databasestartup.h>
#include <app/desktopidentity.h>
#include <app/framewarmup.h>
#include <app/mainwindow.h>
#include <app/messagereceiver.h>
#include <app/readerstyle.h>
#include <app/singleapplication.h>
#include <app/startheap.h>
#include <app/startup.h>
#include <app/storage/house.h>
#include <app/terminationhandler.h>
#include <app/warmup.h>
#include <application/startgate.h>
#include <backend/renderparam.h>
#include <domain/metatypes.h>

#include <QDebug>
#include <QDir>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    // Before anything else allocates: the start's widgets and models come from the heap grown here.
    Nod::App::reserveStartHeap();

    // --help, --version and a script's commands run on their own: no display, no window, never
    // handed to a running instance. An unknown option ends here too rather than becoming a file.
    if (const std::optional<int> code = Nod::App::runCommandLineOption(argc, argv)) {
        return *code;
    }

    const Nod::App::WarmUp libraries(Nod::App::WarmUp::Libraries);

    // Relative paths on the command line name files from here; the storage folder becomes the
    // current directory later.
    const QString startDirectory = QDir::currentPath();

    qRegisterMetaType<RenderParam>("RenderParam");
    Nod::Domain::registerMetaTypes();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps); // icons drawn at device pixels
    Nod::App::preparePlatform();
    Nod::App::setApplicationIdentity();

    using Nod::App::SingleApplication;
    SingleApplication app(argc, argv, true, SingleApplication::SecondaryNotification, 1000);
    Nod::App::applyDesktopIdentity();
    const QStringList arguments = Nod::App::fileArguments(QCoreApplication::arguments());

    // A secondary hands its files over and ends before it touches the storage folder.
    if (app.isSecondary()) {
        const QStringList files = Nod::App::commandLineFiles(arguments, startDirectory);
        if (!app.sendMessage(Nod::Presentation::MessageReceiver::encode(files), 1000)) {
            qWarning() << "Could not hand the files over to the running instance:" << files;
            return EXIT_FAILURE;
        }
        return 0;
    }
    if (app.role() == SingleApplication::Unreachable) {
        Nod::App::applyWindowIcon();
        QMessageBox::warning(nullptr, QObject::tr("Nodera Reader"),
            QObject::tr("Nodera Reader is already running (process %1) but does not answer.\n"
                        "Close it, or end that process, and start Nodera Reader again.")
                .arg(app.primaryPid()));
        return EXIT_FAILURE;
    }

    const Nod::App::WarmUp sessionBus(Nod::App::WarmUp::SessionBus);
    QApplication::setStyle(new Nod::App::ReaderStyle);

    // From here on a closing signal ends the program in order, even while a dialog is open.
    Nod::App::TerminationHandler termination;

    auto *house = Common::Infrastructure::House::instance();
    QObject::connect(house, &Common::Infrastructure::House::locationChanged, &Nod::App::setUpLog);
    QObject::connect(house, &Common::Infrastructure::House::locationChanged, &Nod::App::openDatabase);
    QObject::connect(house, &Common::Infrastructure::House::locationChanged, &app,
        [&app, house] { app.followStorageLocation(house->location()); });
    Nod::App::installDatabaseCopier();

    // What the first page does not need waits until the window has shown it.
    Nod::Application::StartGate::hold();
    Nod::Application::StartGate::whenOpen(&app, &Nod::App::releaseStartHeap);
    Nod::App::applyWindowIconAfterStart();

    // Without a storage folder there is no database to work on; the user has been told why.
    if (!Nod::App::prepareStorage()) {
        return EXIT_FAILURE;
    }

    Nod::App::logStartupLines(QCoreApplication::arguments());
    const QStringList files = Nod::App::commandLineFiles(arguments, startDirectory);
    Nod::App::startOpeningFiles(files);

    Nod::App::loadTranslation();

    Nod::Presentation::MainWindow window;
    if (termination.isRequested()) {
        return 0; // during the database upgrade: nothing was shown, so nothing is saved
    }
    Nod::Presentation::MessageReceiver receiver(&window);
    QObject::connect(
        &app, &SingleApplication::instanceStarted, &window, &Nod::Presentation::MainWindow::bringToFront);
    QObject::connect(&app, &SingleApplication::receivedMessage, &receiver,
        &Nod::Presentation::MessageReceiver::receivedMessage);
    window.showMaximized();
    Nod::App::FrameWarmUp firstFrame(&window);
    QObject::connect(
        &termination, &Nod::App::TerminationHandler::terminationRequested, &window, &QWidget::close);
    for (const QString &path : files) {
        if (termination.isRequested()) {
            break;
        }
        window.addToLibrary(path);
    }
    if (termination.isRequested()) {
        return 0; // the window saved its state as it closed
    }
    window.finishStart();
    app.startDelivery();
    return app.exec();
}
