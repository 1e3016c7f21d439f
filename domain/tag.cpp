#include "tag.h"

#include "boundedreader.h"

#include <QDataStream>

namespace Nod::Domain {

Tag::Tag(int id, const QString &name, int parentId)
    : m_id(id)
    , m_name(name)
    , m_parentId(parentId)
{ }

QByteArray Tag::itemsData() const
{
    QByteArray bytes;
    StoredWriter stream(&bytes);
    stream << quint32(m_items.size());
    for (const int item : m_items) {
        stream << qint32(item);
    }
    return bytes;
}

void Tag::setItemsData(const QByteArray &bytes)
{
    m_items.clear();
    StoredReader stream(bytes);
    quint32 count = 0;
    if (!BoundedReader::readCount(stream, count, 4)) {
        return;
    }
    QSet<int> items;
    items.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        qint32 item = 0;
        if (!BoundedReader::readInt(stream, item)) {
            return;
        }
        items.insert(item);
    }
    m_items = items;
}

} // namespace Nod::Domain
