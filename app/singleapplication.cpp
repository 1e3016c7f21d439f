#include "singleapplication.h"

#include <app/storage/settings.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPointer>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QVector>

#include <exception>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Nod::App {

namespace {
// A start that finds the storage folder held gives the holder this long to answer before it gives
// up; a dead holder has released its lock already, so this is only ever spent on a live one.
constexpr qint64 kTakeOverBudgetMs = 2000;
// The init message holds a name, a type, a number and a checksum: well under this.
constexpr quint64 kMaxInitBytes = 1024;
// A message is a list of file paths; anything larger is not from a secondary of ours.
constexpr quint64 kMaxMessageBytes = 1024 * 1024;
// A secondary says what it has to say within milliseconds; a connection still open after this is
// closed, so that no client can hold the primary's sockets.
constexpr int kConnectionLifetimeMs = 10000;
// Room for the socket's name and a file extension below the system's limit of 108 bytes.
constexpr int kMaxFolderLength = 80;

enum ConnectionType : quint8 { NewInstance = 1, SecondaryInstance = 2, Reconnect = 3 };

bool isPrivateFolder(const QString &path)
{
    struct stat info;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool makePrivateFolder(const QString &path)
{
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return isPrivateFolder(path);
}

// The user's runtime folder when it is usable (ours alone, short enough for socket names), else a
// folder of our own with user-only access.
QString runtimeFolder()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (runtime.size() <= kMaxFolderLength && isPrivateFolder(runtime)) {
        return runtime;
    }
    const QString temporary = QDir::tempPath() + QStringLiteral("/nodera-%1").arg(::geteuid());
    if (temporary.size() <= kMaxFolderLength && makePrivateFolder(temporary)) {
        return temporary;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache)) {
        const QString folder = cache + QStringLiteral("/nodera-instance");
        if (folder.size() <= kMaxFolderLength && makePrivateFolder(folder)) {
            return folder;
        }
    }
    return QString();
}

// The storage folder as the file system names it, so that two spellings of one folder (a symbolic
// link, a trailing slash) share one primary. Parts that do not exist yet are kept as given.
QString canonicalLocation(const QString &location)
{
    QString existing = QDir::cleanPath(QFileInfo(location).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        const QString parent = info.path();
        if (parent == existing) {
            break;
        }
        rest.prepend(QLatin1Char('/') + info.fileName());
        existing = parent;
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    return QDir::cleanPath((canonical.isEmpty() ? existing : canonical) + rest);
}

// Per user and storage folder: two builds, or two versions, on one folder share one primary.
QString instanceKey(const QString &location)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("Nodera Reader instance");
    hash.addData(QByteArray::number(::geteuid()));
    hash.addData(canonicalLocation(location).toUtf8());
    return QStringLiteral("nodera-") + QString::fromLatin1(hash.result().toHex().left(24));
}

QString configuredLocation()
{
    return Common::Infrastructure::Settings::instance()->general.storageLocation();
}

quint64 readLength(const QByteArray &buffer)
{
    QDataStream stream(buffer);
    stream.setVersion(QDataStream::Qt_5_6);
    quint64 length = 0;
    stream >> length;
    return length;
}

QByteArray framed(const QByteArray &bytes)
{
    QByteArray frame;
    QDataStream stream(&frame, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_6);
    stream << quint64(bytes.size());
    return frame + bytes;
}
} // namespace

class SingleApplicationPrivate final : public QObject
{
    Q_OBJECT

public:
    enum Stage { Header, Body, Connected };
    struct Connection
    {
        Stage stage = Header;
        QByteArray buffer;
        quint64 length = 0;
        quint32 instanceId = 0;
    };
    struct Held
    {
        bool started = false;
        quint32 instanceId = 0;
        QByteArray message;
    };
    enum LockResult { Locked, Busy, Unusable };

    explicit SingleApplicationPrivate(SingleApplication *q)
        : m_q(q)
    { }
    ~SingleApplicationPrivate() override;

    void decideRole(
        const QString &location, bool allowSecondary, SingleApplication::Options options, int timeout);
    bool sendMessage(const QByteArray &message, int timeout);
    bool follow(const QString &location);
    void startDelivery();
    qint64 primaryPid() const;

    SingleApplication::Role m_role = SingleApplication::Primary;
    quint32 m_instanceNumber = 0;

private:
    QString path(const QString &extension) const { return pathFor(m_key, extension); }
    QString pathFor(const QString &key, const QString &extension) const
    {
        return m_folder + QLatin1Char('/') + key + extension;
    }
    LockResult tryLock(const QString &lockPath, int *fd) const;
    bool listen(const QString &serverPath);
    bool becomePrimary(int lockFd);
    bool connectToPrimary(int wait);
    bool sendInit(ConnectionType type, int timeout);
    bool writeAll(const QByteArray &bytes, int timeout);
    quint32 countSecondary(bool reset) const;

    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket *socket);
    void slotClientConnectionClosed(QLocalSocket *socket);
    bool process(Connection &connection);
    bool readInit(const QByteArray &body, Connection &connection);
    void drop(QLocalSocket *socket);
    void deliverStarted();
    void deliverMessage(quint32 instanceId, const QByteArray &message);

    SingleApplication *m_q;
    SingleApplication::Options m_options;
    QString m_folder;
    QString m_key;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
    QLocalSocket *m_socket = nullptr;
    QHash<QLocalSocket *, Connection> m_connections;
    bool m_delivering = false;
    QVector<Held> m_held;
};

SingleApplicationPrivate::~SingleApplicationPrivate()
{
    if (m_socket) {
        m_socket->flush();
        m_socket->disconnectFromServer();
        if (m_socket->state() != QLocalSocket::UnconnectedState) {
            m_socket->waitForDisconnected(100);
        }
        delete m_socket;
    }
    for (auto it = m_connections.constBegin(); it != m_connections.constEnd(); ++it) {
        it.key()->disconnect(this);
    }
    delete m_server; // removes the socket file
    // The lock goes last, so that a new primary never finds this one's server still in place. The
    // lock file itself stays: removing it could let two processes lock two different files.
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

SingleApplicationPrivate::LockResult SingleApplicationPrivate::tryLock(const QString &lockPath, int *fd) const
{
    *fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (*fd < 0) {
        return Unusable;
    }
    if (::flock(*fd, LOCK_EX | LOCK_NB) == 0) {
        return Locked;
    }
    ::close(*fd);
    *fd = -1;
    return Busy;
}

void SingleApplicationPrivate::decideRole(
    const QString &location, bool allowSecondary, SingleApplication::Options options, int timeout)
{
    m_options = options;
    m_folder = runtimeFolder();
    m_key = instanceKey(location);
    if (m_folder.isEmpty()) {
        qCritical() << "SingleApplication: no private runtime folder; this instance cannot guard the "
                       "storage folder against other instances.";
        m_role = SingleApplication::Primary;
        return;
    }
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        int fd = -1;
        const LockResult lock = tryLock(path(QStringLiteral(".lock")), &fd);
        if (lock == Locked) {
            becomePrimary(fd);
            return;
        }
        if (lock == Unusable) {
            qCritical() << "SingleApplication: cannot open the lock file" << path(QStringLiteral(".lock"));
            m_role = SingleApplication::Primary;
            return;
        }
        // The holder is alive (the system releases the lock of a dead one); it may not listen yet.
        const int left = int(qMax<qint64>(1, kTakeOverBudgetMs - timer.elapsed()));
        if (connectToPrimary(qMin(timeout, left))) {
            m_role = SingleApplication::Secondary;
            if (!allowSecondary) {
                sendInit(NewInstance, timeout);
                ::exit(0);
            }
            m_instanceNumber = countSecondary(false);
            sendInit((options & SingleApplication::SecondaryNotification) ? SecondaryInstance : Reconnect,
                timeout);
            return;
        }
        if (timer.elapsed() >= kTakeOverBudgetMs) {
            m_role = SingleApplication::Unreachable;
            return;
        }
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
}

bool SingleApplicationPrivate::becomePrimary(int lockFd)
{
    m_lockFd = lockFd;
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    if (::ftruncate(m_lockFd, 0) != 0 || ::pwrite(m_lockFd, pid.constData(), size_t(pid.size()), 0) < 0) {
        qWarning() << "SingleApplication: cannot record the process id in" << path(QStringLiteral(".lock"));
    }
    countSecondary(true);
    m_role = SingleApplication::Primary;
    m_instanceNumber = 0;
    return listen(path(QStringLiteral(".sock")));
}

bool SingleApplicationPrivate::listen(const QString &serverPath)
{
    auto *server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // A server file left by a primary that was killed; we hold the lock, so it is nobody's.
    QLocalServer::removeServer(serverPath);
    if (!server->listen(serverPath)) {
        qCritical() << "SingleApplication: cannot listen at" << serverPath << server->errorString();
        delete server;
        return false;
    }
    connect(server, &QLocalServer::newConnection, this, &SingleApplicationPrivate::slotConnectionEstablished);
    delete m_server;
    m_server = server;
    return true;
}

quint32 SingleApplicationPrivate::countSecondary(bool reset) const
{
    const int fd = ::open(QFile::encodeName(path(QStringLiteral(".count"))).constData(),
        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return 0;
    }
    quint32 count = 0;
    if (::flock(fd, LOCK_EX) == 0) {
        if (!reset && ::pread(fd, &count, sizeof count, 0) != ssize_t(sizeof count)) {
            count = 0;
        }
        count = reset ? 0 : count + 1;
        if (::pwrite(fd, &count, sizeof count, 0) != ssize_t(sizeof count)) {
            qWarning() << "SingleApplication: cannot count instances in" << path(QStringLiteral(".count"));
        }
    }
    ::close(fd); // releases the lock
    return count;
}

qint64 SingleApplicationPrivate::primaryPid() const
{
    if (m_role == SingleApplication::Primary) {
        return QCoreApplication::applicationPid();
    }
    QFile file(path(QStringLiteral(".lock")));
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    bool ok = false;
    const qint64 pid = file.read(32).trimmed().toLongLong(&ok);
    return ok ? pid : -1;
}

bool SingleApplicationPrivate::connectToPrimary(int wait)
{
    if (!m_socket) {
        m_socket = new QLocalSocket(this);
    }
    if (m_socket->state() == QLocalSocket::ConnectedState) {
        return true;
    }
    m_socket->abort();
    m_socket->connectToServer(path(QStringLiteral(".sock")));
    if (m_socket->state() == QLocalSocket::ConnectingState) {
        m_socket->waitForConnected(wait);
    }
    return m_socket->state() == QLocalSocket::ConnectedState;
}

bool SingleApplicationPrivate::writeAll(const QByteArray &bytes, int timeout)
{
    if (m_socket->write(bytes) != bytes.size()) {
        return false;
    }
    m_socket->flush();
    QElapsedTimer timer;
    timer.start();
    while (m_socket->bytesToWrite() > 0 && timer.elapsed() < timeout) {
        if (!m_socket->waitForBytesWritten(int(qMax<qint64>(1, timeout - timer.elapsed())))) {
            break;
        }
    }
    return m_socket->bytesToWrite() == 0;
}

bool SingleApplicationPrivate::sendInit(ConnectionType type, int timeout)
{
    QByteArray init;
    QDataStream stream(&init, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_6);
    stream << m_key.toLatin1() << quint8(type) << m_instanceNumber;
    stream << qChecksum(init.constData(), uint(init.size()));
    return writeAll(framed(init), timeout);
}

bool SingleApplicationPrivate::sendMessage(const QByteArray &message, int timeout)
{
    if (m_role != SingleApplication::Secondary) {
        return false;
    }
    if (quint64(message.size()) > kMaxMessageBytes) {
        qWarning() << "SingleApplication: a message of" << message.size() << "bytes is too large to send.";
        return false;
    }
    if (!m_socket || m_socket->state() != QLocalSocket::ConnectedState) {
        if (!connectToPrimary(timeout) || !sendInit(Reconnect, timeout)) {
            return false;
        }
    }
    return writeAll(framed(message), timeout);
}

bool SingleApplicationPrivate::follow(const QString &location)
{
    if (m_role != SingleApplication::Primary || m_folder.isEmpty()) {
        return false;
    }
    const QString key = instanceKey(location);
    if (key == m_key) {
        return true;
    }
    int fd = -1;
    if (tryLock(pathFor(key, QStringLiteral(".lock")), &fd) != Locked) {
        qWarning() << "SingleApplication: another instance works on" << location;
        return false;
    }
    const QString oldKey = m_key;
    const int oldFd = m_lockFd;
    m_key = key;
    if (!becomePrimary(fd)) {
        m_key = oldKey;
        m_lockFd = oldFd;
        ::close(fd);
        return false;
    }
    ::close(oldFd);
    return true;
}

void SingleApplicationPrivate::startDelivery()
{
    m_delivering = true;
    const QVector<Held> held = std::exchange(m_held, {});
    for (const Held &item : held) {
        if (item.started) {
            emit m_q->instanceStarted();
        } else {
            emit m_q->receivedMessage(item.instanceId, item.message);
        }
    }
}

// Delivery is queued: the receiver may import files, which spins the event loop, and the socket
// being read must not be read again underneath it.
void SingleApplicationPrivate::deliverStarted()
{
    if (m_delivering) {
        QMetaObject::invokeMethod(
            this, [this] { emit m_q->instanceStarted(); }, Qt::QueuedConnection);
    } else {
        m_held.append({ true, 0, {} });
    }
}

void SingleApplicationPrivate::deliverMessage(quint32 instanceId, const QByteArray &message)
{
    if (m_delivering) {
        QMetaObject::invokeMethod(
            this, [this, instanceId, message] { emit m_q->receivedMessage(instanceId, message); },
            Qt::QueuedConnection);
    } else {
        m_held.append({ false, instanceId, message });
    }
}

void SingleApplicationPrivate::slotConnectionEstablished()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // Qt stops reading from the system once this much waits, so no client can fill our memory.
        socket->setReadBufferSize(qint64(kMaxMessageBytes) + 64);
        m_connections.insert(socket, Connection());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { slotDataAvailable(socket); });
        connect(socket, &QLocalSocket::disconnected, this,
            [this, socket] { slotClientConnectionClosed(socket); });
        QTimer::singleShot(kConnectionLifetimeMs, socket, [this, socket] { drop(socket); });
        if (socket->bytesAvailable() > 0) {
            slotDataAvailable(socket);
        }
    }
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket *socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end()) {
        return;
    }
    it->buffer += socket->readAll();
    if (!process(*it)) {
        qWarning() << "SingleApplication: closed a connection that sent a malformed or oversized message.";
        drop(socket);
    }
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket *socket)
{
    if (!m_connections.contains(socket)) {
        return;
    }
    if (socket->bytesAvailable() > 0) {
        slotDataAvailable(socket);
    }
    drop(socket);
}

void SingleApplicationPrivate::drop(QLocalSocket *socket)
{
    if (m_connections.remove(socket) == 0) {
        return;
    }
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

bool SingleApplicationPrivate::process(Connection &connection)
{
    for (;;) {
        QByteArray &buffer = connection.buffer;
        switch (connection.stage) {
        case Header:
            if (buffer.size() < 8) {
                return true;
            }
            connection.length = readLength(buffer);
            if (connection.length == 0 || connection.length > kMaxInitBytes) {
                return false;
            }
            buffer.remove(0, 8);
            connection.stage = Body;
            break;
        case Body: {
            if (quint64(buffer.size()) < connection.length) {
                return true;
            }
            const QByteArray body = buffer.left(int(connection.length));
            buffer.remove(0, int(connection.length));
            if (!readInit(body, connection)) {
                return false;
            }
            connection.stage = Connected;
            break;
        }
        case Connected: {
            if (buffer.size() < 8) {
                return true;
            }
            const quint64 length = readLength(buffer);
            if (length > kMaxMessageBytes) {
                return false;
            }
            if (quint64(buffer.size()) < 8 + length) {
                return true;
            }
            const QByteArray message = buffer.mid(8, int(length));
            buffer.remove(0, int(8 + length));
            deliverMessage(connection.instanceId, message);
            break;
        }
        }
    }
}

bool SingleApplicationPrivate::readInit(const QByteArray &body, Connection &connection)
{
    if (body.size() < 2) {
        return false;
    }
    QDataStream stream(body);
    stream.setVersion(QDataStream::Qt_5_6);
    QByteArray name;
    quint8 type = 0;
    quint32 instanceId = 0;
    quint16 checksum = 0;
    stream >> name >> type >> instanceId >> checksum;
    if (stream.status() != QDataStream::Ok || !stream.atEnd()) {
        return false;
    }
    const int end = name.indexOf('\0');
    if (end >= 0) {
        name.truncate(end);
    }
    if (QString::fromLatin1(name) != m_key || checksum != qChecksum(body.constData(), uint(body.size() - 2))
        || type < NewInstance || type > Reconnect) {
        return false;
    }
    connection.instanceId = instanceId;
    if (type == NewInstance
        || (type == SecondaryInstance && (m_options & SingleApplication::SecondaryNotification))) {
        deliverStarted();
    }
    return true;
}

SingleApplication::SingleApplication(
    int &argc, char **argv, bool allowSecondary, Options options, int timeout)
    : QApplication(argc, argv)
    , d(std::make_unique<SingleApplicationPrivate>(this))
{
    d->decideRole(configuredLocation(), allowSecondary, options, timeout);
}

SingleApplication::~SingleApplication() = default;

SingleApplication::Role SingleApplication::role() const { return d->m_role; }

quint32 SingleApplication::instanceId() const { return d->m_instanceNumber; }

qint64 SingleApplication::primaryPid() const { return d->primaryPid(); }

bool SingleApplication::sendMessage(const QByteArray &message, int timeout)
{
    return d->sendMessage(message, timeout);
}

bool SingleApplication::followStorageLocation(const QString &location) { return d->follow(location); }

void SingleApplication::startDelivery() { d->startDelivery(); }

QString SingleApplication::serverPath(const QString &storageLocation)
{
    return runtimeFolder() + QLatin1Char('/') + instanceKey(storageLocation) + QStringLiteral(".sock");
}

bool SingleApplication::notify(QObject *receiver, QEvent *event)
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

void SingleApplication::report(const QString &what)
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

#include "singleapplication.moc"
