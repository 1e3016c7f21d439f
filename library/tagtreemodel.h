#pragma once

#include "abstracttreemodel.h"

#include <domain/tag.h>

#include <QHash>

namespace Nod::Application {
class TagService;
}

namespace Nod::Presentation {

// The category tree: one item for the whole library at the top, the categories below it by parent.
// Changes go through the category service; the tree follows its signals.
class TagTreeModel final : public AbstractTreeModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TagTreeModel)

public:
    // `categories` (the category service) is not owned.
    explicit TagTreeModel(Application::TagService *categories, QObject *parent = nullptr);
    ~TagTreeModel() override;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Removes the categories with their sub-categories, after taking their documents out.
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
        const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
        const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

    // The item standing for the whole library.
    QModelIndex libraryIndex() const;
    QModelIndex indexOfTag(int tagId) const;
    // 0 for the library item or an invalid index.
    int tagIdAt(const QModelIndex &index) const;
    // Whether a child of `parent` has exactly this name; `except` is left out of the comparison.
    bool hasChildNamed(const QModelIndex &parent, const QString &name, const QModelIndex &except = {}) const;
    // The new category's index, invalid when the service refused it.
    QModelIndex createCategory(const QModelIndex &parent, const QString &name);

    Application::TagService *categoryService() const { return m_categories; }

private:
    struct TagItem;
    TagItem *tagItem(const QModelIndex &index) const;
    TreeItem *itemOfTag(int tagId) const;

    void on_added(const Domain::Tag &tag);
    void on_removed(const Domain::Tag &tag);
    void on_moved(const Domain::Tag &tag, int toParentId);
    void on_changed(const Domain::Tag &tag);

    Application::TagService *m_categories; // not owned
    TreeItem *m_library = nullptr; // owned by the tree
    QHash<int, TagItem *> m_items; // tag id -> item, owned by the tree
};

} // namespace Nod::Presentation
