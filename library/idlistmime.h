#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class QMimeData;

namespace Nod::Presentation {

// The two private drag-and-drop formats of the library: a list of ids written with the data stream
// at its default version as a quint32 count followed by that many qint32 ids.
namespace IdListMime {

QString documentListFormat(); // "application/NoderaReader.Document.List"
QString tagListFormat(); // "application/NoderaReader.Tag.List"

QByteArray encode(const QVector<int> &ids);
// Untrusted bytes: a truncated or malformed list gives no ids at all.
QVector<int> decode(const QByteArray &bytes);
// The ids of `format` in `data`; empty when the data does not carry the format.
QVector<int> read(const QMimeData *data, const QString &format);

} // namespace IdListMime

} // namespace Nod::Presentation
