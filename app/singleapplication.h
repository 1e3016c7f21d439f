#pragma once

#include <QApplication>

#include <memory>

namespace Nod::App {

class SingleApplicationPrivate;

// The application object, and the guard that lets only one process work on a storage folder.
//
// The constructor settles the role before anything touches the storage folder: the first process
// of a user to start on a storage folder becomes the primary instance and listens on a local
// socket; every later one becomes a secondary instance, which hands its files to the primary
// (sendMessage) and ends. A primary that died, even by SIGKILL, never blocks later starts: the role
// is a lock on a file in the user's runtime folder, which the system releases with the process.
//
// An error that escapes an event handler or a slot (a failed database statement while the disk is
// full, say) is logged and reported to the user instead of ending the program with everything
// unsaved.
class SingleApplication final : public QApplication
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleApplication)

public:
    enum Option {
        // The primary emits instanceStarted() whenever a secondary instance connects.
        SecondaryNotification = 4,
    };
    Q_DECLARE_FLAGS(Options, Option)

    enum Role {
        Primary,
        Secondary,
        // A primary holds the storage folder but does not answer; this process may not work on it.
        Unreachable,
    };

    // `timeout` bounds each wait of a secondary for the primary, in milliseconds. The storage folder
    // whose primary this process looks for is the configured storage location.
    SingleApplication(
        int &argc, char **argv, bool allowSecondary = true, Options options = {}, int timeout = 1000);
    ~SingleApplication() override;

    Role role() const;
    bool isPrimary() const { return role() == Primary; }
    bool isSecondary() const { return role() == Secondary; }
    // 0 for the primary; a secondary's number counts the secondaries started since the primary did.
    quint32 instanceId() const;
    // The process id the primary recorded, or -1 when it cannot be read.
    qint64 primaryPid() const;

    // Secondary only: sends `message` to the primary as one framed message and waits up to
    // `timeout` ms for it to leave. Returns whether it was written whole.
    bool sendMessage(const QByteArray &message, int timeout = 1000);

    // Primary only: makes the instance follow its storage folder to `location` (after a move), so
    // that a later start configured for the new folder finds this process. Returns false and keeps
    // the old folder when another process already works on the new one.
    bool followStorageLocation(const QString &location);

    // Primary only: instanceStarted() and receivedMessage() are held until this is called, so
    // that nothing a secondary sends during the start-up is lost before anyone listens.
    void startDelivery();

    // The local socket a primary for `storageLocation` listens on, for the current user.
    static QString serverPath(const QString &storageLocation);

    bool notify(QObject *receiver, QEvent *event) override;

signals:
    void instanceStarted();
    void receivedMessage(quint32 instanceId, const QByteArray &message);
    // Emitted with the error's text each time one escaped an event handler.
    void errorCaught(const QString &what);

private:
    void report(const QString &what);

    friend class SingleApplicationPrivate;
    std::unique_ptr<SingleApplicationPrivate> d;
    bool m_reporting = false;
};

} // namespace Nod::App

Q_DECLARE_OPERATORS_FOR_FLAGS(Nod::App::SingleApplication::Options)
