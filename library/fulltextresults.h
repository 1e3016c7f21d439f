#pragma once

#include <indexing/searchhit.h>

#include <QTreeWidget>

#include <functional>

namespace Nod::Presentation {

// The hits of a full-text search, grouped by document in the order of each document's best hit:
// a row per document with its number of hits, below it a row per page, note or details with the
// matched passage, its words in bold.
class FullTextResults final : public QTreeWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FullTextResults)

public:
    enum Role { DocumentIdRole = Qt::UserRole + 1, PageRole, AnnotationIdRole, WordsRole, SnippetRole };

    explicit FullTextResults(QWidget *parent = nullptr);

    // titleOf names a document by its id. With keepPlace, the hits replace a first screen of the same
    // search: the row the user is on (chosen, or under the pointer) stays where it is on the screen,
    // chosen, and groups the user folded stay folded.
    void setResults(const QVector<Indexing::SearchHit> &hits, const std::function<QString(int)> &titleOf,
        bool keepPlace = false);

signals:
    // A row of a page or note; for a page, words are what the page matched.
    void hitActivated(int documentId, int page, int annotationId, const QString &words);
    void documentActivated(int documentId);

private:
    void on_itemActivated(QTreeWidgetItem *item);
    // The row the user is on, and where it is in the view; null when none is.
    QTreeWidgetItem *placeOfUser(int *top) const;
    QTreeWidgetItem *findRow(const QVariantList &key) const;

    bool m_filling = false;
    bool m_userChoseRow = false;
};

} // namespace Nod::Presentation
