#include "desktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

Desktop::Desktop(int base)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xvfb.isEmpty() || !m_home.isValid()) {
        return;
    }
    // Other test runs may have servers of their own (or left their locks behind): take a free number.
    int number = base + QCoreApplication::applicationPid() % 400;
    while (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))
        || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number))) {
        ++number;
    }
    m_display = QStringLiteral(":%1").arg(number);
    m_server.start(xvfb,
        { m_display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
            QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    m_running = m_server.waitForStarted()
        && waitFor(
            [number] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)); }, 10000)
        && m_server.state() == QProcess::Running;
}

Desktop::~Desktop()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
}

bool Desktop::serverInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

bool Desktop::toolsInstalled()
{
    return serverInstalled() && !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
}

bool Desktop::xdotool(const QStringList &arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start(m_xdotool, arguments);
    return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

QString Desktop::windowOf(qint64 pid) const
{
    QProcess search;
    search.setProcessEnvironment(environment());
    search.start(m_xdotool,
        { QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
            QStringLiteral("--pid"), QString::number(pid) });
    if (!search.waitForFinished(10000) || search.exitCode() != 0) {
        return QString();
    }
    return QString::fromLatin1(search.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

QStringList Desktop::windowsOf(qint64 pid, const QString &title) const
{
    QStringList arguments { QStringLiteral("search"), QStringLiteral("--onlyvisible"),
        QStringLiteral("--pid"), QString::number(pid) };
    if (!title.isEmpty()) {
        arguments << QStringLiteral("--name")
                  << QStringLiteral("^%1$").arg(QRegularExpression::escape(title));
    }
    QProcess search;
    search.setProcessEnvironment(environment());
    search.start(m_xdotool, arguments);
    if (!search.waitForFinished(10000)) {
        return {};
    }
    return QString::fromLatin1(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool Desktop::start(QProcess &program, const QStringList &arguments) const
{
    program.setProcessEnvironment(environment());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(ProgramHome::program(), arguments);
    return program.waitForStarted();
}

bool waitFor(const std::function<bool()> &condition, int timeout)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.hasExpired(timeout)) {
            return false;
        }
        QTest::qWait(100);
    }
    return true;
}
