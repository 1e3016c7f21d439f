#include "tagservice.h"

#include <infrastructure/transaction.h>

#include <QDebug>

#include <stdexcept>
#include <vector>

namespace Nod::Application {

using Infrastructure::Transaction;

TagService::TagService(std::shared_ptr<Domain::ITagRepository> repository)
    : m_repository(std::move(repository))
{
    const QVector<Tag> all = m_repository->findAll();
    for (const Tag &tag : all) {
        m_tags.insert(tag.id(), tag);
        const QSet<int> items = tag.items();
        for (int item : items) {
            m_itemIndex[item].insert(tag.id());
        }
    }
    connect(this, &TagService::itemAdded, this, &TagService::on_itemAdded);
    connect(this, &TagService::itemRemoved, this, &TagService::on_itemRemoved);
    connect(this, &TagService::added, this, [this](const Tag &tag) { m_tags.insert(tag.id(), tag); });
    connect(this, &TagService::removed, this, [this](const Tag &tag) { m_tags.remove(tag.id()); });
    connect(this, &TagService::nameChanged, this, &TagService::on_tagChanged);
    connect(this, &TagService::itemAdded, this, &TagService::on_tagChanged);
    connect(this, &TagService::itemRemoved, this, &TagService::on_tagChanged);
    connect(this, &TagService::moved, this, &TagService::on_tagChanged);
}

TagService::~TagService() = default;

void TagService::on_itemAdded(Tag entity, int docId) { m_itemIndex[docId].insert(entity.id()); }

void TagService::on_itemRemoved(Tag entity, int docId)
{
    auto it = m_itemIndex.find(docId);
    if (it == m_itemIndex.end()) {
        return;
    }
    it->remove(entity.id());
    if (it->isEmpty()) {
        m_itemIndex.erase(it);
    }
}

void TagService::on_tagChanged(Tag entity) { m_tags.insert(entity.id(), entity); }

std::optional<Tag> TagService::find(int id)
{
    if (Transaction::isOpen()) {
        return m_repository->find(id);
    }
    const auto it = m_tags.constFind(id);
    if (it != m_tags.constEnd()) {
        return it.value();
    }
    const std::optional<Tag> found = m_repository->find(id);
    if (found) {
        m_tags.insert(id, *found);
    }
    return found;
}

Tag TagService::tag(int id)
{
    const std::optional<Tag> found = find(id);
    if (!found) {
        throw std::runtime_error("tag not exist");
    }
    return *found;
}

QVector<Tag> TagService::tagsOfDocument(int docId) const
{
    QVector<Tag> result;
    const QSet<int> ids = m_itemIndex.value(docId);
    result.reserve(ids.size());
    for (int id : ids) {
        const auto it = m_tags.constFind(id);
        if (it != m_tags.constEnd()) {
            result.append(it.value());
        }
    }
    return result;
}

QVector<Tag> TagService::tags() const { return m_repository->findAll(); }

QVector<Tag> TagService::tagsWithName(const QString &name) const { return m_repository->findByName(name); }

QVector<Tag> TagService::children(int parentId) const { return m_repository->findChildren(parentId); }

int TagService::newTag(const QString &name, int parentId)
{
    qInfo() << "Nod::Application::TagService::newTag"
            << "name:" << name << "in parent:" << parentId;
    if (parentId < 0 || name.isEmpty() || (parentId > 0 && !find(parentId))) {
        return -1;
    }
    Transaction transaction;
    const int id = m_repository->nextId();
    if (id < 1) {
        return -1;
    }
    const Tag tag(id, name, parentId);
    m_repository->insert(tag);
    transaction.commit();
    Transaction::afterCommit([this, tag] { emit added(tag); });
    return id;
}

bool TagService::changeTagName(int id, const QString &name)
{
    qInfo() << "Nod::Application::TagService::changeTagName"
            << "id:" << id << ", new name:" << name;
    if (id < 1 || name.isEmpty()) {
        return false;
    }
    Tag entity = tag(id);
    if (entity.name() == name) {
        return true;
    }
    Transaction transaction;
    entity.setName(name);
    m_repository->update(entity);
    transaction.commit();
    Transaction::afterCommit([this, entity] { emit nameChanged(entity); });
    return true;
}

bool TagService::move(int id, int toParentId)
{
    qInfo() << "Nod::Application::TagService::move"
            << "id:" << id << ", to parent:" << toParentId;
    if (id <= 0 || toParentId < 0) {
        return false;
    }
    Tag entity = tag(id);
    if (toParentId == id) {
        return false;
    }
    if (entity.parentId() == toParentId) {
        return true;
    }
    if (toParentId > 0) {
        tag(toParentId);
    }
    if (m_repository->subtreeIds(id).contains(toParentId)) {
        return false;
    }
    emit aboutToBeMoved(entity, toParentId);
    Transaction transaction;
    entity.setParentId(toParentId);
    m_repository->update(entity);
    transaction.commit();
    Transaction::afterCommit([this, entity, toParentId] { emit moved(entity, toParentId); });
    return true;
}

bool TagService::remove(int id)
{
    qInfo() << "Nod::Application::TagService::remove"
            << "id:" << id;
    if (id < 1) {
        return false;
    }
    const std::optional<Tag> entity = find(id);
    if (!entity) {
        return true;
    }
    if (!entity->items().isEmpty() || !m_repository->findChildren(id).isEmpty()) {
        return false;
    }
    emit aboutToBeRemoved(*entity);
    Transaction transaction;
    m_repository->remove(*entity);
    transaction.commit();
    Transaction::afterCommit([this, tag = *entity] { emit removed(tag); });
    return true;
}

bool TagService::removeTree(int id)
{
    qInfo() << "Nod::Application::TagService::removeTree"
            << "id:" << id;
    if (id < 1) {
        return false;
    }
    if (!find(id)) {
        return true;
    }
    Transaction transaction;
    // Post-order without recursion: a tag goes once everything below it has gone.
    std::vector<int> path { id };
    while (!path.empty()) {
        const QVector<Tag> children = m_repository->findChildren(path.back());
        if (!children.isEmpty()) {
            path.push_back(children.first().id());
            continue;
        }
        const Tag entity = tag(path.back());
        path.pop_back();
        const QSet<int> items = entity.items();
        for (const int item : items) {
            if (!removeItem(entity.id(), item)) {
                return false;
            }
        }
        if (!remove(entity.id())) {
            return false;
        }
    }
    transaction.commit();
    return true;
}

bool TagService::addItem(int tagId, int docId)
{
    qInfo() << "Nod::Application::TagService::addItem" << tagId << docId;
    if (tagId <= 0 || docId <= 0) {
        return false;
    }
    Tag entity = tag(tagId);
    QSet<int> items = entity.items();
    if (items.contains(docId)) {
        return true;
    }
    Transaction transaction;
    items.insert(docId);
    entity.setItems(items);
    m_repository->update(entity);
    transaction.commit();
    Transaction::afterCommit([this, entity, docId] { emit itemAdded(entity, docId); });
    return true;
}

bool TagService::removeItem(int tagId, int docId)
{
    qInfo() << "Nod::Application::TagService::removeItem" << tagId << docId;
    if (tagId <= 0 || docId <= 0) {
        return false;
    }
    Tag entity = tag(tagId);
    QSet<int> items = entity.items();
    if (!items.contains(docId)) {
        return true;
    }
    emit itemAboutToBeRemoved(entity, docId);
    Transaction transaction;
    items.remove(docId);
    entity.setItems(items);
    m_repository->update(entity);
    transaction.commit();
    Transaction::afterCommit([this, entity, docId] { emit itemRemoved(entity, docId); });
    return true;
}

} // namespace Nod::Application
