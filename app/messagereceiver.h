#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

namespace Nod::Presentation {

class MainWindow;

// Opens, in the primary instance, the files a secondary instance handed over. The message comes from
// another process: only absolute paths of existing regular files are opened.
class MessageReceiver final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MessageReceiver)

public:
    explicit MessageReceiver(MainWindow *window, QObject *parent = nullptr);

    // The file list of a hand-over: a 32-bit count and that many strings (a serialised string list).
    static QByteArray encode(const QStringList &paths);
    // Reading stops at the first string that cannot be read; the ones before it are kept.
    static QStringList decode(const QByteArray &message);

public slots:
    void receivedMessage(quint32 instanceId, const QByteArray &message);

private:
    MainWindow *m_window; // not owned
};

} // namespace Nod::Presentation
