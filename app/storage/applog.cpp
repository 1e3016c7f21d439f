#include "applog.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace Common::Infrastructure {

namespace {
// Worker threads log too; the lock keeps concurrent lines whole and the path stable under them.
QMutex g_mutex;
QString g_filePath;
int g_minimumLevel = 1;

// Qt numbers its message types Debug 0, Warning 1, Critical 2, Fatal 3, Info 4.
bool isBelowMinimum(QtMsgType type, int minimum) { return static_cast<int>(type) < minimum; }
} // namespace

QString AppLog::fileNameFor(const QDate &date)
{
    return QStringLiteral("AppLog %1.txt").arg(date.toString(QStringLiteral("yyyy-MM-dd")));
}

void AppLog::install(const QString &filePath)
{
    {
        QMutexLocker lock(&g_mutex);
        g_filePath = filePath;
        g_minimumLevel = 1;
    }
    qInstallMessageHandler(&AppLog::messageHandler);
}

void AppLog::uninstall()
{
    qInstallMessageHandler(nullptr);
    QMutexLocker lock(&g_mutex);
    g_filePath.clear();
}

QString AppLog::filePath()
{
    QMutexLocker lock(&g_mutex);
    return g_filePath;
}

QString AppLog::levelLabel(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug - ");
    case QtWarningMsg:
        return QStringLiteral("Warning - ");
    case QtCriticalMsg:
        return QStringLiteral("Critical - ");
    case QtFatalMsg:
        return QStringLiteral("Fatal - ");
    case QtInfoMsg:
        return QStringLiteral("Info - ");
    }
    return QStringLiteral("Unknown - ");
}

void AppLog::messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const QByteArray line
        = (stamp + QStringLiteral(" - ") + levelLabel(type) + message + QLatin1Char('\n')).toUtf8();

    QMutexLocker lock(&g_mutex);
    if (isBelowMinimum(type, g_minimumLevel) || g_filePath.isEmpty()) {
        return;
    }
    QFile file(g_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        return;
    }
    file.write(line);
    file.close();
}

} // namespace Common::Infrastructure
