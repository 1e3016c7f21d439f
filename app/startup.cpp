#include "startup.h"

#include "crashhandler.h"

#include <app/storage/applog.h>
#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <application/documentservice.h>
#include <backend/documentloader.h>
#include <infrastructure/repositories/documentrepository.h>
#include <reading/baseview.h>
#include <reading/readingpageitem.h>

#include <QApplication>
#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QScreen>
#include <QSysInfo>
#include <QTranslator>

namespace Nod::App {

using Common::Infrastructure::AppLog;
using Common::Infrastructure::House;
using Common::Infrastructure::Settings;

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationDomain(QStringLiteral("nodera.app"));
    QCoreApplication::setOrganizationName(QStringLiteral("Nodera"));
    QCoreApplication::setApplicationName(QStringLiteral("Nodera Desktop"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.5.0.7"));
}

void preparePlatform()
{
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
}

void setUpLog()
{
    House *house = House::instance();
    AppLog::install(house->roomPath(House::Logs, AppLog::fileNameFor(QDate::currentDate())));
    CrashHandler::install(house->roomPath(House::Crashes));
}

bool prepareStorage()
{
    const QString location = Settings::instance()->general.storageLocation();
    if (House::instance()->setLocation(location)) {
        return true;
    }
    qCritical() << "Create working directory failed: " << location;
    QMessageBox::warning(
        nullptr, QObject::tr("Warning"), QObject::tr("Create working directory failed! %1").arg(location));
    return false;
}

void logStartupLines(const QStringList &arguments)
{
    qInfo() << "Nodera Reader started. VERSION:" << QCoreApplication::applicationVersion();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize();
    const qreal dpiX = screen ? screen->physicalDotsPerInchX() : 0.0;
    const qreal dpiY = screen ? screen->physicalDotsPerInchY() : 0.0;
    qInfo() << "OS Version:" << QSysInfo::prettyProductName() << ", Screen size:" << size.width() << "x"
            << size.height() << ", physical DPI:" << dpiX << "x" << dpiY;
    qInfo() << "exe location:" << QCoreApplication::applicationFilePath();
    qInfo() << "Storage location:" << House::instance()->location();
    qInfo() << "Command arguments" << arguments;
}

QStringList commandLineFiles(const QStringList &arguments, const QString &startDirectory)
{
    QStringList files;
    const QDir base(startDirectory);
    for (const QString &argument : arguments) {
        const QFileInfo file(base, argument);
        if (argument.isEmpty() || !file.isFile()) {
            qWarning() << "Not an existing file, ignored:" << argument;
            continue;
        }
        files.append(QDir::cleanPath(file.absoluteFilePath()));
    }
    return files;
}

Backend::DocumentLoader::FirstPage firstPageOf(const Domain::LastRead &lastRead)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return {};
    }
    const double dpiX = qRound(screen->logicalDotsPerInchX());
    const double dpiY = qRound(screen->logicalDotsPerInchY());
    const double ratio = screen->devicePixelRatio();
    const double zoom = Base::View::clampZoom(lastRead.viewSetting().scaleFactor());
    return { qMax(0, lastRead.pageIndex()), [=](const QSizeF &pointSize) {
                return ReadingPageItem::firstRenderResolution(pointSize, dpiX, dpiY, ratio, zoom);
            } };
}

void startOpeningFiles(const QStringList &files)
{
    for (const QString &file : files) {
        const QString localUrl = Application::DocumentService::localUrlOf(QFileInfo(file));
        // The last file named is the tab in front.
        Backend::DocumentLoader::startEarly(file,
            file == files.constLast()
                ? firstPageOf(Infrastructure::storedLastRead(localUrl).value_or(Domain::LastRead()))
                : Backend::DocumentLoader::FirstPage {});
        // A file new to the library is fingerprinted before it is added: read beside the rest of
        // the start, not after it.
        if (!Infrastructure::isDocumentPathStored(localUrl)) {
            Backend::DocumentLoader::startEarlyFingerprint(file);
        }
    }
}

void loadTranslation()
{
    auto *translator = new QTranslator(qApp);
    const QString folder
        = QCoreApplication::applicationDirPath() + QDir::separator() + QStringLiteral("translations");
    const QLocale locale = QLocale::system();
    if (translator->load(locale, QStringLiteral("NoderaReader"), QStringLiteral("_"), folder)) {
        QCoreApplication::installTranslator(translator);
    } else {
        qWarning() << "Can not load translator for:" << locale.name();
        delete translator;
    }
}

} // namespace Nod::App
