#include "searchreader.h"

#include "searchquery.h"

namespace Nod::Indexing {

SearchReader::SearchReader(const QString &path)
    : m_path(path)
{ }

SearchReader::~SearchReader() { m_index.close(); }

void SearchReader::reopen()
{
    m_index.close();
    m_index.openForQueries(m_path);
}

void SearchReader::search(int requestId, const SearchQuery &query, int limit, int firstScreen)
{
    if (!m_index.isOpen() && !m_index.openForQueries(m_path)) {
        SearchResults results;
        results.error = m_index.lastError();
        emit searchFinished(requestId, results);
        return;
    }
    emit searchFinished(requestId,
        m_index.search(query, limit, firstScreen,
            [this, requestId](const SearchResults &screen) { emit searchFinished(requestId, screen); }));
}

} // namespace Nod::Indexing
