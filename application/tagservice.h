#pragma once

#include <domain/itagrepository.h>
#include <domain/tag.h>

#include <QHash>
#include <QObject>
#include <QSet>
#include <QVector>

#include <memory>
#include <optional>

namespace Nod::Application {

using Domain::Tag;

// A tree of named tags, each carrying a set of item ids: the library's categories (items are
// documents) or note tags (items are annotations). Every tag is kept in memory together with an
// index from item id to the tags carrying it, so that a document's categories need no database read.
// The memory follows the completion signals, which come after the outermost commit; inside an open
// transaction the tags are therefore read from the database.
class TagService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TagService)

public:
    explicit TagService(std::shared_ptr<Domain::ITagRepository> repository);
    ~TagService() override;

    int newTag(const QString &name, int parentId);
    bool changeTagName(int id, const QString &name);
    bool move(int id, int toParentId);
    bool remove(int id);
    // Removes the tag, every tag below it and their items' memberships as one unit; each step is
    // announced as its own operation once the unit has committed. False (nothing changed) when a
    // step is refused.
    bool removeTree(int id);
    bool addItem(int tagId, int docId);
    bool removeItem(int tagId, int docId);

    // Throws std::runtime_error "tag not exist".
    Tag tag(int id);
    std::optional<Tag> find(int id);
    QVector<Tag> tagsOfDocument(int docId) const;
    QVector<Tag> tags() const;
    QVector<Tag> tagsWithName(const QString &name) const;
    QVector<Tag> children(int parentId) const;

signals:
    void added(Tag entity);
    void aboutToBeRemoved(Tag entity);
    void removed(Tag entity);
    void nameChanged(Tag entity);
    void itemAdded(Tag entity, int docId);
    void itemAboutToBeRemoved(Tag entity, int docId);
    void itemRemoved(Tag entity, int docId);
    void aboutToBeMoved(Tag entity, int toParentId);
    void moved(Tag entity, int toParentId);

public slots:
    void on_itemAdded(Tag entity, int docId);
    void on_itemRemoved(Tag entity, int docId);
    void on_tagChanged(Tag entity);

private:
    std::shared_ptr<Domain::ITagRepository> m_repository;
    QHash<int, Tag> m_tags; // tag id -> tag
    QHash<int, QSet<int>> m_itemIndex; // item id -> ids of the tags carrying it
};

} // namespace Nod::Application
