// Runs the start-up's storage and database steps on the folder named by argv[1], closing every
// message box it raises and printing its title (and, on a line of its own, its texts), so that a test
// can watch the process end.

#include <app/databasestartup.h>
#include <app/startup.h>
#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <domain/metatypes.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    Nod::Domain::registerMetaTypes();
    Nod::App::setApplicationIdentity();
    QApplication app(argc, argv);
    if (argc < 2) {
        return 2;
    }

    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::printf("box: %s\n", qPrintable(box->windowTitle()));
            std::printf("text: %s %s\n", qPrintable(box->text().simplified()),
                qPrintable(box->informativeText().simplified()));
            std::fflush(stdout);
            box->accept();
        }
    });
    closer.start(20);

    using Common::Infrastructure::House;
    QObject::connect(House::instance(), &House::locationChanged, &Nod::App::setUpLog);
    QObject::connect(House::instance(), &House::locationChanged, &Nod::App::openDatabase);
    Nod::App::installDatabaseCopier();
    Common::Infrastructure::Settings::instance()->general.setStorageLocation(QString::fromLocal8Bit(argv[1]));
    if (!Nod::App::prepareStorage()) {
        return 3;
    }
    if (argc > 2 && qstrcmp(argv[2], "crash") == 0) {
        std::raise(SIGSEGV);
    }
    const bool current = Nod::App::upgradeDatabase();
    std::printf("upgraded: %d\n", current ? 1 : 0);
    return 0;
}
