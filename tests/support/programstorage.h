#pragma once

#include <QString>
#include <QTemporaryDir>

// A storage folder of the test's own made the program's, with its database open, as start-up leaves
// them for the main window; what the window makes process-wide (the service registry, the settings
// with their file) goes with the fixture. Standard paths go into test mode, so that the settings file
// is not the user's.
class ProgramStorage
{
public:
    ProgramStorage();
    ~ProgramStorage();

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
