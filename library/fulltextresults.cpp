#include "fulltextresults.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCursor>
#include <QHash>
#include <QHeaderView>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTextDocument>

namespace Nod::Presentation {

namespace {

// Paints a snippet's rich text in place of the plain text of the row.
class SnippetDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QString html = index.data(FullTextResults::SnippetRole).toString();
        if (html.isEmpty()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        item.text.clear();
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

        QTextDocument document;
        document.setDefaultFont(option.font);
        document.setDocumentMargin(0);
        document.setHtml(html);
        const QRect box = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = option.palette;
        if (option.state & QStyle::State_Selected) {
            context.palette.setColor(QPalette::Text, option.palette.color(QPalette::HighlightedText));
        }
        painter->save();
        painter->translate(box.left(), box.top() + (box.height() - document.size().height()) / 2);
        painter->setClipRect(box.translated(-box.topLeft()));
        document.documentLayout()->draw(painter, context);
        painter->restore();
    }
};

} // namespace

FullTextResults::FullTextResults(QWidget *parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("fullTextResults"));
    setColumnCount(2);
    setHeaderLabels({ tr("Document / place"), tr("Passage") });
    setUniformRowHeights(true);
    // A row kept in place when the list grows is kept to the pixel.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAllColumnsShowFocus(true);
    setItemDelegateForColumn(1, new SnippetDelegate(this));
    header()->setStretchLastSection(true);
    header()->resizeSection(0, 260);
    connect(this, &QTreeWidget::itemActivated, this, &FullTextResults::on_itemActivated);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { m_userChoseRow = !m_filling; });
}

namespace {

// What names a row across two lists of hits: the document, and for a hit its place.
QVariantList keyOf(const QTreeWidgetItem *item)
{
    if (!item->parent()) {
        return { item->data(0, FullTextResults::DocumentIdRole) };
    }
    return { item->data(0, FullTextResults::DocumentIdRole), item->data(0, FullTextResults::PageRole),
        item->data(0, FullTextResults::AnnotationIdRole) };
}

} // namespace

QTreeWidgetItem *FullTextResults::placeOfUser(int *top) const
{
    QTreeWidgetItem *current = currentItem();
    if (current && m_userChoseRow && viewport()->rect().intersects(visualItemRect(current))) {
        *top = visualItemRect(current).top();
        return current;
    }
    const QPoint pointer = viewport()->mapFromGlobal(QCursor::pos());
    if (QTreeWidgetItem *under = viewport()->rect().contains(pointer) ? itemAt(pointer) : nullptr) {
        *top = visualItemRect(under).top();
        return under;
    }
    return nullptr;
}

QTreeWidgetItem *FullTextResults::findRow(const QVariantList &key) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = topLevelItem(i);
        if (group->data(0, DocumentIdRole) != key.value(0)) {
            continue;
        }
        if (key.size() == 1) {
            return group;
        }
        for (int j = 0; j < group->childCount(); ++j) {
            if (keyOf(group->child(j)) == key) {
                return group->child(j);
            }
        }
    }
    return nullptr;
}

void FullTextResults::setResults(
    const QVector<Indexing::SearchHit> &hits, const std::function<QString(int)> &titleOf, bool keepPlace)
{
    int anchorTop = 0;
    const QTreeWidgetItem *anchor = keepPlace ? placeOfUser(&anchorTop) : nullptr;
    const QVariantList anchorKey = anchor ? keyOf(anchor) : QVariantList();
    const QVariantList currentKey = keepPlace && currentItem() ? keyOf(currentItem()) : QVariantList();
    QSet<int> folded;
    for (int i = 0; keepPlace && i < topLevelItemCount(); ++i) {
        if (!topLevelItem(i)->isExpanded()) {
            folded.insert(topLevelItem(i)->data(0, DocumentIdRole).toInt());
        }
    }
    const QScopedValueRollback<bool> filling(m_filling, true);
    const bool userChoseRow = keepPlace && m_userChoseRow;
    clear();
    QHash<int, QTreeWidgetItem *> groups;
    for (const Indexing::SearchHit &hit : hits) {
        QTreeWidgetItem *group = groups.value(hit.documentId);
        if (!group) {
            group = new QTreeWidgetItem(this);
            group->setData(0, DocumentIdRole, hit.documentId);
            group->setText(0, titleOf(hit.documentId));
            group->setToolTip(0, group->text(0));
            groups.insert(hit.documentId, group);
        }
        auto *row = new QTreeWidgetItem(group);
        if (hit.isNote()) {
            row->setText(0, tr("note"));
        } else if (hit.isPage()) {
            row->setText(0, tr("page %1").arg(hit.page + 1));
        } else {
            row->setText(0, tr("title, overview or tags"));
        }
        row->setData(0, DocumentIdRole, hit.documentId);
        row->setData(0, PageRole, hit.page);
        row->setData(0, AnnotationIdRole, hit.annotationId);
        row->setData(0, WordsRole, hit.firstEmphasis());
        row->setData(1, SnippetRole, hit.snippetHtml());
        row->setText(1, hit.snippetText());
        row->setToolTip(1, hit.snippetText());
    }
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *group = topLevelItem(i);
        group->setText(1, tr("%n hit(s)", nullptr, group->childCount()));
    }
    expandAll();
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (folded.contains(topLevelItem(i)->data(0, DocumentIdRole).toInt())) {
            topLevelItem(i)->setExpanded(false);
        }
    }
    QTreeWidgetItem *current = currentKey.isEmpty() ? nullptr : findRow(currentKey);
    if (!current && topLevelItemCount() > 0) {
        current = topLevelItem(0);
    }
    if (current) {
        setCurrentItem(current);
    }
    m_userChoseRow = userChoseRow && current && keyOf(current) == currentKey;
    if (QTreeWidgetItem *row = anchorKey.isEmpty() ? nullptr : findRow(anchorKey)) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + visualItemRect(row).top() - anchorTop);
    } else {
        verticalScrollBar()->setValue(0);
    }
}

void FullTextResults::on_itemActivated(QTreeWidgetItem *item)
{
    const int documentId = item->data(0, DocumentIdRole).toInt();
    if (!item->parent()) {
        emit documentActivated(documentId);
        return;
    }
    const int annotationId = item->data(0, AnnotationIdRole).toInt();
    const int page = item->data(0, PageRole).toInt();
    if (annotationId <= 0 && page < 0) {
        emit documentActivated(documentId);
        return;
    }
    emit hitActivated(documentId, page, annotationId, item->data(0, WordsRole).toString());
}

} // namespace Nod::Presentation
