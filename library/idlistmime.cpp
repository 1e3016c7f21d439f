#include "idlistmime.h"

#include <QDataStream>
#include <QMimeData>

namespace Nod::Presentation::IdListMime {

QString documentListFormat() { return QStringLiteral("application/NoderaReader.Document.List"); }

QString tagListFormat() { return QStringLiteral("application/NoderaReader.Tag.List"); }

QByteArray encode(const QVector<int> &ids)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << quint32(ids.size());
    for (int id : ids) {
        stream << qint32(id);
    }
    return bytes;
}

QVector<int> decode(const QByteArray &bytes)
{
    QDataStream stream(bytes);
    quint32 count = 0;
    stream >> count;
    // A forged count must not make us reserve gigabytes: each id takes four bytes.
    if (stream.status() != QDataStream::Ok || count > quint32((bytes.size() - 4) / 4)) {
        return {};
    }
    QVector<int> ids;
    ids.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        qint32 id = 0;
        stream >> id;
        ids.append(id);
    }
    if (stream.status() != QDataStream::Ok) {
        return {};
    }
    return ids;
}

QVector<int> read(const QMimeData *data, const QString &format)
{
    if (!data || !data->hasFormat(format)) {
        return {};
    }
    return decode(data->data(format));
}

} // namespace Nod::Presentation::IdListMime
