#include "messagereceiver.h"

#include "mainwindow.h"

#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace Nod::Presentation {

namespace {
// A hand-over names the files of one command line; more than this is not one.
constexpr quint32 kMaxPaths = 10000;
} // namespace

MessageReceiver::MessageReceiver(MainWindow *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{ }

QByteArray MessageReceiver::encode(const QStringList &paths)
{
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream << quint32(paths.size());
    for (const QString &path : paths) {
        stream << path;
    }
    return message;
}

QStringList MessageReceiver::decode(const QByteArray &message)
{
    QDataStream stream(message);
    quint32 count = 0;
    stream >> count;
    QStringList paths;
    for (quint32 i = 0; i < qMin(count, kMaxPaths) && stream.status() == QDataStream::Ok; ++i) {
        QString path;
        stream >> path;
        if (stream.status() != QDataStream::Ok) {
            break;
        }
        paths.append(path);
    }
    return paths;
}

void MessageReceiver::receivedMessage(quint32 instanceId, const QByteArray &message)
{
    const QStringList paths = decode(message);
    qInfo() << "Received message from instance: " << instanceId << ", arguments: " << paths;
    for (const QString &path : paths) {
        const QFileInfo file(path);
        if (!file.isAbsolute() || !file.isFile()) {
            qWarning() << "Not an existing file, ignored:" << path;
            continue;
        }
        m_window->addToLibrary(QDir::cleanPath(file.absoluteFilePath()));
    }
}

} // namespace Nod::Presentation
