#include "tagtreemodel.h"

#include "idlistmime.h"
#include "libraryroles.h"

#include <application/tagservice.h>

#include <QDebug>
#include <QMimeData>

#include <exception>

namespace Nod::Presentation {

struct TagTreeModel::TagItem final : TreeItem
{
    explicit TagItem(const Domain::Tag &tag)
        : id(tag.id())
        , name(tag.name())
        , count(tag.items().size())
    { }

    int id = 0;
    QString name;
    int count = 0;
};

TagTreeModel::TagTreeModel(Application::TagService *categories, QObject *parent)
    : AbstractTreeModel(parent)
    , m_categories(categories)
{
    m_library = new TreeItem;
    insertItem(rootItem(), 0, m_library);

    const QVector<Domain::Tag> tags = m_categories->tags();
    QHash<int, QVector<Domain::Tag>> byParent;
    for (const Domain::Tag &tag : tags) {
        byParent[tag.parentId()].append(tag);
    }
    // Breadth-first from the top, so that every parent has its item before its children come.
    QVector<QPair<int, TreeItem *>> pending { { 0, m_library } };
    for (int i = 0; i < pending.size(); ++i) {
        const auto [parentId, parentItem] = pending.at(i);
        const QVector<Domain::Tag> children = byParent.take(parentId);
        for (const Domain::Tag &tag : children) {
            auto *item = new TagItem(tag);
            insertItem(parentItem, parentItem->childCount(), item);
            m_items.insert(tag.id(), item);
            pending.append({ tag.id(), item });
        }
    }
    // Categories whose parent is missing (or that form a cycle) still show, at the top.
    for (const QVector<Domain::Tag> &orphans : qAsConst(byParent)) {
        for (const Domain::Tag &tag : orphans) {
            auto *item = new TagItem(tag);
            insertItem(m_library, m_library->childCount(), item);
            m_items.insert(tag.id(), item);
        }
    }

    using Application::TagService;
    connect(m_categories, &TagService::added, this, &TagTreeModel::on_added);
    connect(m_categories, &TagService::removed, this, &TagTreeModel::on_removed);
    connect(m_categories, &TagService::moved, this, &TagTreeModel::on_moved);
    connect(m_categories, &TagService::nameChanged, this, &TagTreeModel::on_changed);
    connect(
        m_categories, &TagService::itemAdded, this, [this](const Domain::Tag &tag, int) { on_changed(tag); });
    connect(m_categories, &TagService::itemRemoved, this,
        [this](const Domain::Tag &tag, int) { on_changed(tag); });
}

TagTreeModel::~TagTreeModel() = default;

TagTreeModel::TagItem *TagTreeModel::tagItem(const QModelIndex &index) const
{
    TreeItem *item = itemFor(index);
    return index.isValid() && item != m_library ? static_cast<TagItem *>(item) : nullptr;
}

TreeItem *TagTreeModel::itemOfTag(int tagId) const { return tagId == 0 ? m_library : m_items.value(tagId); }

QModelIndex TagTreeModel::libraryIndex() const { return indexFor(m_library); }

QModelIndex TagTreeModel::indexOfTag(int tagId) const { return indexFor(itemOfTag(tagId)); }

int TagTreeModel::tagIdAt(const QModelIndex &index) const
{
    const TagItem *item = tagItem(index);
    return item ? item->id : 0;
}

QVariant TagTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid()) {
        return QVariant();
    }
    const TagItem *item = tagItem(index);
    if (!item) {
        return role == Qt::DisplayRole ? QVariant(tr("All Documents")) : QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return item->count > 0 ? QStringLiteral("%1  (%2)").arg(item->name).arg(item->count) : item->name;
    case Qt::EditRole:
    case LibraryRole::TagName:
        return item->name;
    case Qt::ToolTipRole:
        return item->name;
    case LibraryRole::DocumentCount:
        return item->count;
    case LibraryRole::TagId:
        return item->id;
    default:
        return QVariant();
    }
}

bool TagTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const TagItem *item = tagItem(index);
    if (!item || role != Qt::EditRole) {
        return false;
    }
    try {
        return m_categories->changeTagName(item->id, value.toString().trimmed());
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::TagTreeModel::setData" << error.what();
        return false;
    }
}

Qt::ItemFlags TagTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
    if (tagItem(index)) {
        result |= Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    }
    return result;
}

bool TagTreeModel::removeRows(int row, int count, const QModelIndex &parent)
{
    TreeItem *parentItem = itemFor(parent);
    if (row < 0 || count <= 0 || row + count > parentItem->childCount() || parentItem == rootItem()) {
        return false;
    }
    // The items go away with their categories, so the ids are read first.
    QVector<int> ids;
    for (int i = row; i < row + count; ++i) {
        ids.append(static_cast<TagItem *>(parentItem->child(i))->id);
    }
    try {
        for (const int id : qAsConst(ids)) {
            if (!m_categories->removeTree(id)) {
                return false;
            }
        }
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::TagTreeModel::removeRows" << error.what();
        return false;
    }
    return true;
}

QModelIndex TagTreeModel::createCategory(const QModelIndex &parent, const QString &name)
{
    TreeItem *parentItem = itemFor(parent);
    if (parentItem == rootItem()) {
        parentItem = m_library;
    }
    const int parentId = parentItem == m_library ? 0 : static_cast<TagItem *>(parentItem)->id;
    const int id = m_categories->newTag(name, parentId);
    return id > 0 ? indexOfTag(id) : QModelIndex();
}

bool TagTreeModel::hasChildNamed(
    const QModelIndex &parent, const QString &name, const QModelIndex &except) const
{
    const TreeItem *parentItem = parent.isValid() ? itemFor(parent) : m_library;
    const TreeItem *skip = except.isValid() ? itemFor(except) : nullptr;
    for (int i = 0; i < parentItem->childCount(); ++i) {
        const TreeItem *child = parentItem->child(i);
        if (child != skip && child != m_library && static_cast<const TagItem *>(child)->name == name) {
            return true;
        }
    }
    return false;
}

QStringList TagTreeModel::mimeTypes() const
{
    return { IdListMime::tagListFormat(), IdListMime::documentListFormat() };
}

QMimeData *TagTreeModel::mimeData(const QModelIndexList &indexes) const
{
    QVector<int> ids;
    for (const QModelIndex &index : indexes) {
        const int id = tagIdAt(index);
        if (id > 0 && !ids.contains(id)) {
            ids.append(id);
        }
    }
    auto *data = new QMimeData;
    data->setData(IdListMime::tagListFormat(), IdListMime::encode(ids));
    return data;
}

bool TagTreeModel::canDropMimeData(
    const QMimeData *data, Qt::DropAction action, int row, int, const QModelIndex &parent) const
{
    if ((action != Qt::CopyAction && action != Qt::MoveAction) || !data) {
        return false;
    }
    const QModelIndex target = row >= 0 ? index(row, 0, parent) : parent;
    if (data->hasFormat(IdListMime::tagListFormat())) {
        const QVector<int> ids = IdListMime::read(data, IdListMime::tagListFormat());
        if (ids.size() != 1) {
            return false;
        }
        const TreeItem *moving = itemOfTag(ids.first());
        const TreeItem *to = target.isValid() ? itemFor(target) : m_library;
        return moving && moving != to && !moving->isAncestorOf(to);
    }
    return data->hasFormat(IdListMime::documentListFormat()) && tagIdAt(target) > 0;
}

bool TagTreeModel::dropMimeData(
    const QMimeData *data, Qt::DropAction action, int row, int, const QModelIndex &parent)
{
    if ((action != Qt::CopyAction && action != Qt::MoveAction) || !data) {
        return false;
    }
    const QModelIndex target = row >= 0 ? index(row, 0, parent) : parent;
    const int targetId = tagIdAt(target);
    try {
        if (data->hasFormat(IdListMime::tagListFormat())) {
            const QVector<int> ids = IdListMime::read(data, IdListMime::tagListFormat());
            return ids.size() == 1 && m_categories->move(ids.first(), targetId);
        }
        if (data->hasFormat(IdListMime::documentListFormat())) {
            if (targetId <= 0) {
                return false;
            }
            const QVector<int> documents = IdListMime::read(data, IdListMime::documentListFormat());
            bool all = !documents.isEmpty();
            for (int docId : documents) {
                all = m_categories->addItem(targetId, docId) && all;
            }
            return all;
        }
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::TagTreeModel::dropMimeData" << error.what();
    }
    return false;
}

Qt::DropActions TagTreeModel::supportedDropActions() const { return Qt::CopyAction | Qt::MoveAction; }

Qt::DropActions TagTreeModel::supportedDragActions() const
{
    // A move would make the view remove the dragged rows itself after the drop; the category
    // service has already moved the category by then.
    return Qt::CopyAction;
}

void TagTreeModel::on_added(const Domain::Tag &tag)
{
    if (m_items.contains(tag.id())) {
        return;
    }
    TreeItem *parentItem = itemOfTag(tag.parentId());
    if (!parentItem) {
        parentItem = m_library;
    }
    auto *item = new TagItem(tag);
    m_items.insert(tag.id(), item);
    insertItem(parentItem, parentItem->childCount(), item);
}

void TagTreeModel::on_removed(const Domain::Tag &tag)
{
    TagItem *item = m_items.value(tag.id());
    if (!item) {
        return;
    }
    // The service never removes a category with children; should one come anyway, its children
    // are kept, at the top.
    while (item->childCount() > 0) {
        moveItem(item->child(0), m_library);
    }
    m_items.remove(tag.id());
    removeItem(item);
}

void TagTreeModel::on_moved(const Domain::Tag &tag, int toParentId)
{
    TagItem *item = m_items.value(tag.id());
    TreeItem *to = itemOfTag(toParentId);
    if (item && to) {
        moveItem(item, to);
    }
}

void TagTreeModel::on_changed(const Domain::Tag &tag)
{
    TagItem *item = m_items.value(tag.id());
    if (!item) {
        return;
    }
    item->name = tag.name();
    item->count = tag.items().size();
    const QModelIndex index = indexFor(item);
    emit dataChanged(index, index);
}

} // namespace Nod::Presentation
