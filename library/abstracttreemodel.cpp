#include "abstracttreemodel.h"

namespace Nod::Presentation {

TreeItem::~TreeItem() { qDeleteAll(m_children); }

int TreeItem::row() const
{
    return m_parent ? m_parent->m_children.indexOf(const_cast<TreeItem *>(this)) : -1;
}

bool TreeItem::isAncestorOf(const TreeItem *item) const
{
    for (const TreeItem *up = item ? item->m_parent : nullptr; up; up = up->m_parent) {
        if (up == this) {
            return true;
        }
    }
    return false;
}

AbstractTreeModel::AbstractTreeModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<TreeItem>())
{ }

AbstractTreeModel::~AbstractTreeModel() = default;

QModelIndex AbstractTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || (parent.isValid() && parent.column() != 0)) {
        return QModelIndex();
    }
    TreeItem *item = itemFor(parent)->child(row);
    return item ? createIndex(row, 0, item) : QModelIndex();
}

QModelIndex AbstractTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid()) {
        return QModelIndex();
    }
    return indexFor(itemFor(child)->parent());
}

int AbstractTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0) {
        return 0;
    }
    return itemFor(parent)->childCount();
}

int AbstractTreeModel::columnCount(const QModelIndex &) const { return 1; }

TreeItem *AbstractTreeModel::itemFor(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TreeItem *>(index.internalPointer()) : m_root.get();
}

QModelIndex AbstractTreeModel::indexFor(const TreeItem *item) const
{
    if (!item || item == m_root.get() || !item->parent()) {
        return QModelIndex();
    }
    return createIndex(item->row(), 0, const_cast<TreeItem *>(item));
}

void AbstractTreeModel::insertItem(TreeItem *parent, int row, TreeItem *item)
{
    row = qBound(0, row, parent->childCount());
    beginInsertRows(indexFor(parent), row, row);
    item->m_parent = parent;
    parent->m_children.insert(row, item);
    endInsertRows();
}

void AbstractTreeModel::removeItem(TreeItem *item)
{
    TreeItem *parent = item->parent();
    if (!parent) {
        return;
    }
    const int row = item->row();
    beginRemoveRows(indexFor(parent), row, row);
    parent->m_children.remove(row);
    item->m_parent = nullptr;
    endRemoveRows();
    delete item;
}

bool AbstractTreeModel::moveItem(TreeItem *item, TreeItem *newParent)
{
    TreeItem *oldParent = item->parent();
    if (!oldParent || item == newParent || item->isAncestorOf(newParent)) {
        return false;
    }
    if (oldParent == newParent) {
        return true;
    }
    const int row = item->row();
    const int destination = newParent->childCount();
    if (!beginMoveRows(indexFor(oldParent), row, row, indexFor(newParent), destination)) {
        return false;
    }
    oldParent->m_children.remove(row);
    item->m_parent = newParent;
    newParent->m_children.append(item);
    endMoveRows();
    return true;
}

} // namespace Nod::Presentation
