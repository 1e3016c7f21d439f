#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace Common::Infrastructure {

// The storage folder: everything the program keeps lives here (the database file, daily logs,
// crash dumps, database backups). Exists once per process; every change of location is announced
// by locationChanged(), on which the log and the database connection are re-established.
class House final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(House)

public:
    enum Room { Documents = 0, Logs, Crashes, Backups, Resources };
    Q_ENUM(Room)

    // Copies the database file at `source` to `target`; returns whether `target` now holds a
    // complete, consistent copy. The default copies the file's bytes; the database layer installs
    // one that is safe while the database is open in write-ahead-log mode.
    using DatabaseCopier = std::function<bool(const QString &source, const QString &target)>;

    static House *instance();

    QString location() const { return m_location; }
    bool setLocation(const QString &path);
    QString databasePath() const;
    QString roomPath(Room room, const QString &fileName = QString()) const;
    bool backupDatabase();
    bool moveTo(const QString &path);

    void setDatabaseCopier(DatabaseCopier copier);

    // True when `path` counts as empty for a move: nothing but hidden entries.
    static bool isEmptyFolder(const QString &path);
    static QString roomName(Room room);

signals:
    void locationChanged();

private:
    House() = default;
    static bool createRooms(const QString &path);
    // Makes `path` the location and the current directory, and announces it.
    void moveIn(const QString &path);
    bool copyDatabase(const QString &source, const QString &target) const;

    QString m_location;
    DatabaseCopier m_copier;
};

} // namespace Common::Infrastructure
