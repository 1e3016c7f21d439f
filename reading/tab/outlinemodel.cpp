#include "outlinemodel.h"

#include <QBrush>
#include <QFont>

namespace Nod::Presentation {

OutlineModel::OutlineModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<Node>())
{ }

OutlineModel::~OutlineModel() = default;

void OutlineModel::build(Node *node, const QList<Backend::PDFToCItem> &items)
{
    node->children.reserve(static_cast<size_t>(items.size()));
    for (int row = 0; row < items.size(); ++row) {
        auto child = std::make_unique<Node>();
        child->item = &items.at(row);
        child->parent = node;
        child->row = row;
        build(child.get(), items.at(row).children());
        node->children.push_back(std::move(child));
    }
}

void OutlineModel::setOutline(const QList<Backend::PDFToCItem> &items)
{
    beginResetModel();
    m_root = std::make_unique<Node>();
    m_items = items;
    // The nodes point into m_items, which must not detach from here on: only const access follows.
    build(m_root.get(), qAsConst(m_items));
    endResetModel();
}

void OutlineModel::clear() { setOutline({}); }

OutlineModel::Node *OutlineModel::nodeAt(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : m_root.get();
}

const PDFAction *OutlineModel::action(const QModelIndex &index) const
{
    const Node *node = nodeAt(index);
    return node->item ? node->item->action() : nullptr;
}

QModelIndex OutlineModel::index(int row, int column, const QModelIndex &parent) const
{
    const Node *node = nodeAt(parent);
    if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) {
        return {};
    }
    return createIndex(row, 0, node->children[static_cast<size_t>(row)].get());
}

QModelIndex OutlineModel::parent(const QModelIndex &child) const
{
    const Node *node = nodeAt(child);
    if (!child.isValid() || node->parent == m_root.get()) {
        return {};
    }
    return createIndex(node->parent->row, 0, node->parent);
}

int OutlineModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0) {
        return 0;
    }
    return static_cast<int>(nodeAt(parent)->children.size());
}

int OutlineModel::columnCount(const QModelIndex &) const { return 1; }

QVariant OutlineModel::data(const QModelIndex &index, int role) const
{
    const Node *node = nodeAt(index);
    if (!index.isValid() || !node->item) {
        return {};
    }
    const Backend::PDFToCItem &item = *node->item;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return item.label();
    case Qt::ForegroundRole:
        return item.color().isValid() ? QVariant(QBrush(item.color())) : QVariant();
    case Qt::FontRole:
        if (item.fontFlags() & (Bold | Italic)) {
            QFont font;
            font.setBold(item.fontFlags() & Bold);
            font.setItalic(item.fontFlags() & Italic);
            return font;
        }
        return {};
    case OpenRole:
        return item.isOpen();
    default:
        return {};
    }
}

} // namespace Nod::Presentation
