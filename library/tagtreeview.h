#pragma once

#include <QTreeView>

namespace Nod::Presentation {

class TagTreeModel;

// The category tree beside the shelf: create, rename and delete categories from its context menu,
// drag categories to move them and drop documents on them to file them.
class TagTreeView final : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TagTreeView)

public:
    explicit TagTreeView(QWidget *parent = nullptr);

    // Call once; the model is not owned.
    void setTagModel(TagTreeModel *model);
    TagTreeModel *tagModel() const { return m_model; }

    // The ids of the selected categories; empty when the library item (or nothing) is selected.
    QSet<int> selectedTagIds() const;

signals:
    void selectedTagsChanged(QSet<int> ids);

public slots:
    // Under the current item; the name is asked for.
    void createTag();
    void renameTag();
    void deleteTag();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // Trimmed; empty when cancelled or blank.
    QString askName(const QString &title, const QString &current);

    TagTreeModel *m_model = nullptr; // not owned
    QAction *m_renameAction = nullptr;
};

} // namespace Nod::Presentation
