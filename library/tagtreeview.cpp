#include "tagtreeview.h"

#include "libraryroles.h"
#include "tagtreemodel.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

namespace Nod::Presentation {

TagTreeView::TagTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setObjectName(QStringLiteral("Category"));
    header()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setExpandsOnDoubleClick(true);

    m_renameAction = new QAction(tr("&Rename"), this);
    m_renameAction->setShortcut(QKeySequence(Qt::Key_F2));
    m_renameAction->setShortcutContext(Qt::WidgetShortcut);
    addAction(m_renameAction);
    connect(m_renameAction, &QAction::triggered, this, &TagTreeView::renameTag);
}

void TagTreeView::setTagModel(TagTreeModel *model)
{
    m_model = model;
    setModel(model);
    expand(model->libraryIndex());
    setCurrentIndex(model->libraryIndex());
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { emit selectedTagsChanged(selectedTagIds()); });
}

QSet<int> TagTreeView::selectedTagIds() const
{
    QSet<int> ids;
    if (!selectionModel()) {
        return ids;
    }
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    for (const QModelIndex &index : selected) {
        const int id = m_model->tagIdAt(index);
        if (id <= 0) {
            return {}; // the whole library is selected
        }
        ids.insert(id);
    }
    return ids;
}

QString TagTreeView::askName(const QString &title, const QString &current)
{
    bool ok = false;
    const QString name
        = QInputDialog::getText(this, title, tr("Name:"), QLineEdit::Normal, current, &ok).trimmed();
    return ok ? name : QString();
}

void TagTreeView::createTag()
{
    QModelIndex parent = currentIndex();
    if (!parent.isValid()) {
        parent = m_model->libraryIndex();
    }
    const QString name = askName(tr("Create Tag"), QString());
    if (name.isEmpty()) {
        return;
    }
    if (m_model->hasChildNamed(parent, name)) {
        QMessageBox::information(this, tr("Nodera Reader"), tr("Tag \"%1\" has exists.").arg(name));
        return;
    }
    if (m_model->createCategory(parent, name).isValid()) {
        expand(parent);
        resizeColumnToContents(0);
    }
}

void TagTreeView::renameTag()
{
    const QModelIndex index = currentIndex();
    if (m_model->tagIdAt(index) <= 0) {
        return;
    }
    const QString name = askName(tr("Rename Tag"), index.data(LibraryRole::TagName).toString());
    if (name.isEmpty() || name == index.data(LibraryRole::TagName).toString()) {
        return;
    }
    if (m_model->hasChildNamed(index.parent(), name, index)) {
        QMessageBox::information(this, tr("Nodera Reader"), tr("Tag \"%1\" has exists.").arg(name));
        return;
    }
    m_model->setData(index, name);
}

void TagTreeView::deleteTag()
{
    const QModelIndex index = currentIndex();
    if (m_model->tagIdAt(index) <= 0) {
        return;
    }
    const QString name = index.data(LibraryRole::TagName).toString();
    if (QMessageBox::question(this, tr("Remove Tag?"),
            tr("Are you sure you want to remove \"%1\" ?").arg(name), QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes) {
        m_model->removeRows(index.row(), 1, index.parent());
    }
}

void TagTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    setCurrentIndex(index);
    QMenu menu(this);
    if (m_model->tagIdAt(index) > 0) {
        const QString name = index.data(LibraryRole::TagName).toString();
        connect(menu.addAction(tr("&Create %1 in \"%2\"").arg(objectName(), name)), &QAction::triggered, this,
            &TagTreeView::createTag);
        menu.addAction(m_renameAction);
        connect(menu.addAction(tr("&Delete")), &QAction::triggered, this, &TagTreeView::deleteTag);
    } else {
        connect(menu.addAction(tr("&Create %1").arg(objectName())), &QAction::triggered, this,
            &TagTreeView::createTag);
    }
    menu.exec(event->globalPos());
}

} // namespace Nod::Presentation
