#include "programhome.h"

#include <app/storage/applog.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>

ProgramHome::ProgramHome()
{
    // The runtime folder must be private, or Qt warns and falls back to one of its own.
    m_valid = m_dir.isValid() && QDir(m_dir.path()).mkpath(QStringLiteral("run"))
        && QFile::setPermissions(
            m_dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString ProgramHome::useStorage(const QString &name)
{
    const QString storage = filePath(name);
    QDir().mkpath(storage);
    QSettings ini(filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")),
        QSettings::IniFormat);
    ini.setValue(QStringLiteral("General/storageLocation"), storage);
    return storage;
}

QString ProgramHome::defaultStorage() const { return filePath(QStringLiteral("Documents/Nodera Reader")); }

QString ProgramHome::log(const QString &storage) const
{
    return readText(QDir(storage).filePath(
        QStringLiteral("Logs/") + Common::Infrastructure::AppLog::fileNameFor(QDate::currentDate())));
}

QProcessEnvironment ProgramHome::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("HOME"), path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), filePath(QStringLiteral(".local/share")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), filePath(QStringLiteral(".cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_DOCUMENTS_DIR"), filePath(QStringLiteral("Documents")));
    return env;
}

QProcessEnvironment ProgramHome::environmentOn(const QString &display) const
{
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("DISPLAY"), display);
    return env;
}

QString ProgramHome::program() { return QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"); }

ProgramRun ProgramHome::run(const QStringList &arguments, int timeout) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(path());
    process.start(program(), arguments);
    ProgramRun result;
    result.finished = process.waitForFinished(timeout);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAllStandardOutput());
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
