#pragma once

#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QtGlobal>

#include <mutex>

// Shared by the persistence tests: every test function opens a fresh database file of its own.
namespace TestSupport {

// Collects log lines while alive, for tests that check what was logged.
class LogCapture final
{
public:
    LogCapture()
    {
        current() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool contains(const QString &text) const
    {
        const QStringList all = lines();
        for (const QString &line : all) {
            if (line.contains(text)) {
                return true;
            }
        }
        return false;
    }

private:
    static LogCapture *&current()
    {
        static LogCapture *instance = nullptr;
        return instance;
    }
    static void handle(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (LogCapture *capture = current()) {
            std::lock_guard<std::mutex> lock(capture->m_mutex);
            capture->m_lines << message;
        }
    }

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

inline QVariant scalar(const QString &sql)
{
    QSqlQuery query;
    if (!query.exec(sql) || !query.next()) {
        return QVariant();
    }
    return query.value(0);
}

inline void exec(const QString &sql)
{
    QSqlQuery query;
    if (!query.exec(sql)) {
        qFatal("statement failed: %s", qPrintable(sql));
    }
}

// Opens `path` and brings it to the current schema, as start-up does.
inline bool openMigrated(const QString &path)
{
    Nod::Infrastructure::Database database;
    if (!database.open(path)) {
        return false;
    }
    Nod::Infrastructure::Migrator migrator;
    const bool migrated = migrator.migrate();
    return migrated;
}

} // namespace TestSupport
