#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

// What a run of the real program left: whether it ended in time, its exit code (-1 after a crash or
// a kill) and what it printed.
struct ProgramRun
{
    bool finished = false;
    int code = -1;
    QString output;
    QString errors;
};

// A home of the test's own for running the real program as a user or a script would: its settings,
// data, cache and runtime folders inside it, no display unless one is given, nothing of the user's.
class ProgramHome
{
public:
    ProgramHome();

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // Makes the folder `name` of the home the library's storage, as the settings dialog would.
    QString useStorage(const QString &name = QStringLiteral("library"));
    // The storage of a first start, under the home's documents folder.
    QString defaultStorage() const;
    // The program's log file of today in `storage`.
    QString log(const QString &storage) const;

    // The environment of a shell on a machine without a display: no X server, no platform chosen.
    QProcessEnvironment environment() const;
    // The same, on the X display `display`.
    QProcessEnvironment environmentOn(const QString &display) const;

    static QString program();

    // Runs the program with `arguments` from the home and waits for its end; one that has not ended
    // by `timeout` ms is killed.
    ProgramRun run(const QStringList &arguments, int timeout = 60000) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

QString readText(const QString &path);
