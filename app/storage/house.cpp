#include "house.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaEnum>

namespace Common::Infrastructure {

namespace {
const QString kDatabaseFileName = QStringLiteral("database");

QString join(const QString &a, const QString &b) { return a + QDir::separator() + b; }
} // namespace

House *House::instance()
{
    static House house;
    return &house;
}

QString House::roomName(Room room)
{
    return QString::fromLatin1(QMetaEnum::fromType<Room>().valueToKey(room));
}

bool House::createRooms(const QString &path)
{
    QDir dir;
    if (!dir.mkpath(path)) {
        return false;
    }
    const QMetaEnum rooms = QMetaEnum::fromType<Room>();
    for (int i = 0; i < rooms.keyCount(); ++i) {
        const QString name = QString::fromLatin1(rooms.key(i));
        if (QFileInfo::exists(join(path, name))) {
            continue;
        }
        if (!QDir(path).mkdir(name)) {
            return false;
        }
    }
    return true;
}

bool House::setLocation(const QString &path)
{
    if (path.isEmpty() || !createRooms(path)) {
        return false;
    }
    moveIn(path);
    return true;
}

void House::moveIn(const QString &path)
{
    // Stored absolute: the current directory moves here next, so a relative form would drift.
    m_location = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QDir::setCurrent(m_location);
    emit locationChanged();
}

QString House::databasePath() const { return join(m_location, kDatabaseFileName); }

QString House::roomPath(Room room, const QString &fileName) const
{
    return join(join(m_location, roomName(room)), fileName);
}

void House::setDatabaseCopier(DatabaseCopier copier) { m_copier = std::move(copier); }

bool House::copyDatabase(const QString &source, const QString &target) const
{
    if (m_copier) {
        return m_copier(source, target);
    }
    return QFile::copy(source, target);
}

bool House::backupDatabase()
{
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss.zzz"));
    const QFileInfo target(roomPath(Backups, name));
    if (target.exists()) {
        return false;
    }
    return copyDatabase(databasePath(), target.absoluteFilePath());
}

bool House::isEmptyFolder(const QString &path)
{
    // The default listing includes "." and ".." and leaves hidden entries out.
    return QDir(path).entryList().count() < 3;
}

bool House::moveTo(const QString &path)
{
    if (!QFileInfo(path).isDir() || !isEmptyFolder(path) || !createRooms(path)) {
        return false;
    }
    const QFileInfo source(databasePath());
    const QFileInfo target(join(path, source.fileName()));
    if (!copyDatabase(source.absoluteFilePath(), target.absoluteFilePath())) {
        qWarning() << "copy file Failed. From:" << source.absoluteFilePath()
                   << ", to:" << target.absoluteFilePath();
        return false;
    }
    qInfo() << "Successed move house from:" << m_location << " to:" << path;
    moveIn(path);
    return true;
}

} // namespace Common::Infrastructure
