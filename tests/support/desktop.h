#pragma once

#include "programhome.h"

#include <QProcess>
#include <QString>

// A virtual X server of the test's own and xdotool driving it as a hand would, for the real program
// started under it from a home of its own.
class Desktop
{
public:
    // Starts the server on the first free display number from `base` plus a share of the test's
    // process id.
    explicit Desktop(int base = 500);
    ~Desktop();

    // Whether Xvfb is installed, and xdotool with it; when they are not, a test skips.
    static bool serverInstalled();
    static bool toolsInstalled();
    // Whether the server runs and takes connections.
    bool isRunning() const { return m_running; }

    ProgramHome &home() { return m_home; }
    QString display() const { return m_display; }
    QProcessEnvironment environment() const { return m_home.environmentOn(m_display); }

    // Runs xdotool with `arguments` on this display; true when it ends well within ten seconds.
    bool xdotool(const QStringList &arguments) const;
    // The first visible window of the process `pid`, waiting for it to be mapped.
    QString windowOf(qint64 pid) const;
    // The visible windows of the process `pid` now (those titled `title` when one is given).
    QStringList windowsOf(qint64 pid, const QString &title = QString()) const;

    // Starts the program with `arguments`; its errors go to the test's own.
    bool start(QProcess &program, const QStringList &arguments) const;

private:
    ProgramHome m_home;
    QProcess m_server;
    QString m_display;
    QString m_xdotool;
    bool m_running = false;
};

// Waits until `condition` holds, running the event loop, for at most `timeout` ms.
bool waitFor(const std::function<bool()> &condition, int timeout = 30000);
