#include "application.h"

#include <QDebug>
#include <QMessageBox>
#include <QTimer>

#include <exception>

namespace Nod::App {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{ }

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        report(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        report(QStringLiteral("unknown error"));
    }
    return false;
}

void Application::report(const QString &what)
{
    qCritical() << "Unhandled error in an event handler:" << what;
    emit errorCaught(what);
    // The box waits for the handler's frames to unwind; errors that follow while it shows are
    // logged only.
    if (m_reporting) {
        return;
    }
    m_reporting = true;
    QTimer::singleShot(0, this, [this, what] {
        QMessageBox::critical(activeWindow(), tr("Error"),
            tr("The last action could not be completed:\n%1\n\nThe details are in the log.").arg(what));
        m_reporting = false;
    });
}

} // namespace Nod::App
