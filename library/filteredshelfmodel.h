#pragma once

#include <domain/tag.h>

#include <QCollator>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QVector>

namespace Nod::Application {
class TagService;
}

namespace Nod::Presentation {

// The shelf's sorting and filtering: a case-insensitive title search and a filter by categories.
// The documents allowed by the categories are gathered once per change, not per row.
class FilteredShelfModel final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilteredShelfModel)

public:
    // `categories` (the category service) is not owned.
    explicit FilteredShelfModel(Application::TagService *categories, QObject *parent = nullptr);

    void setSourceModel(QAbstractItemModel *model) override;

    QString searchWord() const { return m_searchWord; }
    QSet<int> filterTags() const { return m_filterTags; }

signals:
    void searchWordChanged(QString word);
    void tagsChanged(QSet<int> ids);

public slots:
    void setSearchWord(const QString &keyword);
    void setFilterTags(const QSet<int> &tagIds);
    void clearFilterTags();
    void on_documentModel_dataChanged(
        const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    // Texts compare by the user's locale, ignoring case; other values as the base class does.
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    void rebuildAllowedDocuments();
    void on_categoriesChanged();

    Application::TagService *m_categories; // not owned
    QCollator m_collator;
    QString m_searchWord;
    QSet<int> m_filterTags;
    QSet<int> m_allowedDocuments; // union of the items of m_filterTags
};

} // namespace Nod::Presentation
