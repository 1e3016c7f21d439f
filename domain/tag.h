#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>

namespace Nod::Domain {

// A named node of a tag tree carrying a set of item ids: a library category (items are documents,
// table `Category`) or a note tag (items are annotations, table `Tag`).
class Tag final
{
    Q_GADGET
    Q_PROPERTY(int id READ id WRITE setId)
    Q_PROPERTY(int parentId READ parentId WRITE setParentId)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QByteArray items READ itemsData WRITE setItemsData)

public:
    Tag() = default;
    Tag(int id, const QString &name, int parentId);

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    int parentId() const { return m_parentId; }
    void setParentId(int id) { m_parentId = id; }
    QSet<int> items() const { return m_items; }
    void setItems(const QSet<int> &items) { m_items = items; }

    QByteArray itemsData() const;
    // Untrusted bytes; an empty or malformed value gives no items.
    void setItemsData(const QByteArray &bytes);

private:
    int m_id = 0;
    QString m_name;
    int m_parentId = 0;
    QSet<int> m_items;
};

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::Tag)
