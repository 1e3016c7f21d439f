#include "filteredshelfmodel.h"

#include "documentmodel.h"
#include "libraryroles.h"

#include <application/tagservice.h>

namespace Nod::Presentation {

FilteredShelfModel::FilteredShelfModel(Application::TagService *categories, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_categories(categories)
{
    setSortLocaleAware(true);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
    m_collator.setNumericMode(true);
    setDynamicSortFilter(true);

    using Application::TagService;
    connect(m_categories, &TagService::removed, this, &FilteredShelfModel::on_categoriesChanged);
    connect(m_categories, &TagService::nameChanged, this, &FilteredShelfModel::on_categoriesChanged);
    connect(m_categories, &TagService::itemAdded, this, &FilteredShelfModel::on_categoriesChanged);
    connect(m_categories, &TagService::itemRemoved, this, &FilteredShelfModel::on_categoriesChanged);
}

void FilteredShelfModel::setSourceModel(QAbstractItemModel *model)
{
    if (sourceModel()) {
        disconnect(sourceModel(), &QAbstractItemModel::dataChanged, this,
            &FilteredShelfModel::on_documentModel_dataChanged);
    }
    QSortFilterProxyModel::setSourceModel(model);
    if (model) {
        connect(
            model, &QAbstractItemModel::dataChanged, this, &FilteredShelfModel::on_documentModel_dataChanged);
    }
}

void FilteredShelfModel::setSearchWord(const QString &keyword)
{
    if (keyword == m_searchWord) {
        return;
    }
    m_searchWord = keyword;
    invalidateFilter();
    emit searchWordChanged(m_searchWord);
}

void FilteredShelfModel::setFilterTags(const QSet<int> &tagIds)
{
    if (tagIds == m_filterTags) {
        return;
    }
    m_filterTags = tagIds;
    rebuildAllowedDocuments();
    invalidateFilter();
    emit tagsChanged(m_filterTags);
}

void FilteredShelfModel::clearFilterTags() { setFilterTags({}); }

void FilteredShelfModel::on_documentModel_dataChanged(
    const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &)
{
    if (topLeft == bottomRight && topLeft.column() == DocumentModel::CategoriesColumn) {
        on_categoriesChanged();
    }
}

void FilteredShelfModel::on_categoriesChanged()
{
    if (m_filterTags.isEmpty()) {
        return;
    }
    const QSet<int> before = m_filterTags;
    rebuildAllowedDocuments();
    invalidateFilter();
    if (m_filterTags != before) {
        emit tagsChanged(m_filterTags);
    }
}

void FilteredShelfModel::rebuildAllowedDocuments()
{
    m_allowedDocuments.clear();
    // A category that has gone leaves the filter; with none left, the filter is off.
    for (auto it = m_filterTags.begin(); it != m_filterTags.end();) {
        if (const std::optional<Domain::Tag> tag = m_categories->find(*it)) {
            m_allowedDocuments.unite(tag->items());
            ++it;
        } else {
            it = m_filterTags.erase(it);
        }
    }
}

bool FilteredShelfModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const QAbstractItemModel *source = sourceModel();
    const QModelIndex title = source->index(sourceRow, DocumentModel::TitleColumn, sourceParent);
    if (!m_searchWord.isEmpty()
        && !source->data(title, Qt::DisplayRole).toString().contains(m_searchWord, Qt::CaseInsensitive)) {
        return false;
    }
    return m_filterTags.isEmpty()
        || m_allowedDocuments.contains(source->data(title, LibraryRole::DocumentId).toInt());
}

bool FilteredShelfModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const QVariant a = left.data(sortRole());
    const QVariant b = right.data(sortRole());
    if (a.userType() == QMetaType::QString && b.userType() == QMetaType::QString) {
        return m_collator.compare(a.toString(), b.toString()) < 0;
    }
    return QSortFilterProxyModel::lessThan(left, right);
}

} // namespace Nod::Presentation
