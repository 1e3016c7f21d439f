#pragma once

#include <QAbstractItemModel>
#include <QVector>

#include <memory>

namespace Nod::Presentation {

// One node of an AbstractTreeModel; it owns its children.
class TreeItem
{
    Q_DISABLE_COPY_MOVE(TreeItem)

public:
    TreeItem() = default;
    virtual ~TreeItem();

    TreeItem *parent() const { return m_parent; }
    int childCount() const { return m_children.size(); }
    TreeItem *child(int row) const { return m_children.value(row); }
    // The place among the parent's children; -1 for an item without parent.
    int row() const;
    bool isAncestorOf(const TreeItem *item) const;

private:
    friend class AbstractTreeModel;

    TreeItem *m_parent = nullptr;
    QVector<TreeItem *> m_children; // owned
};

// A single-column tree of TreeItems under an invisible root. Subclasses give the data and change the
// structure only through the protected operations, which announce every change to the views.
class AbstractTreeModel : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AbstractTreeModel)

public:
    explicit AbstractTreeModel(QObject *parent = nullptr);
    ~AbstractTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;

protected:
    TreeItem *rootItem() const { return m_root.get(); }
    // The invisible root for an invalid index.
    TreeItem *itemFor(const QModelIndex &index) const;
    QModelIndex indexFor(const TreeItem *item) const;

    // Takes ownership of `item`.
    void insertItem(TreeItem *parent, int row, TreeItem *item);
    void removeItem(TreeItem *item);
    // Appends `item` to `newParent`'s children; false when that would put it below itself.
    bool moveItem(TreeItem *item, TreeItem *newParent);

private:
    std::unique_ptr<TreeItem> m_root;
};

} // namespace Nod::Presentation
