#pragma once

#include "searchhit.h"
#include "searchindex.h"

#include <QObject>

namespace Nod::Indexing {

class SearchQuery;

// Answers queries on a read connection of its own, so that a search never waits for the batch the
// indexing worker is writing: the write-ahead log lets it read the last committed state meanwhile.
//
// Thread rules: constructed on the interface thread, then moved to a thread of its own; every slot
// runs there.
class SearchReader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchReader)

public:
    explicit SearchReader(const QString &path);
    ~SearchReader() override;

    // Opens the file again, after the worker has set the old one aside.
    void reopen();
    // The first screen, when there is more, then the whole list, each as searchFinished.
    void search(int requestId, const Nod::Indexing::SearchQuery &query, int limit, int firstScreen);

signals:
    void searchFinished(int requestId, Nod::Indexing::SearchResults results);

private:
    QString m_path;
    SearchIndex m_index;
};

} // namespace Nod::Indexing
