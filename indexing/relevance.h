#pragma once

#include <QSqlDatabase>
#include <QString>

#include <vector>

namespace Nod::Indexing {

// The relevance of a hit as an SQL function of the text table, relevance(text): the table's own bm25
// score (lower is better), computed the same way but with the length of every entry kept in memory.
// The built-in score looks up the length of each matching row with a statement of its own, which is
// most of the time of a search for a common word; this one reads it from an array.
//
// The lengths follow the file: refresh() before each query, inside the query's read transaction,
// loads what other connections or this one added since, and everything again after a removal, as
// a removed entry's number can come back for a new one.
//
// Thread rules: as the connection it is installed on.
class Relevance final
{
public:
    Relevance() = default;
    Q_DISABLE_COPY_MOVE(Relevance)

    // Registers the function on the connection; false with the reason in `error`.
    bool install(const QSqlDatabase &db, QString *error);
    // A write through the connection it is installed on: the file's version number does not show it.
    void invalidate() { m_checked = false; }
    bool refresh(const QSqlDatabase &db, QString *error);

    // What a removal writes in the same transaction, so that readers load the lengths again.
    static QString countRemovalStatement();

    // Tokens of an entry, or -1 when not loaded (the function then asks the table).
    int lengthOf(qint64 rowId) const
    {
        return rowId >= 0 && rowId < qint64(m_lengths.size()) ? m_lengths[size_t(rowId)] : -1;
    }

private:
    std::vector<int> m_lengths; // by row id
    qint64 m_loadedUpTo = 0; // the highest row id loaded
    qint64 m_removals = -1;
    qint64 m_dataVersion = -1;
    bool m_checked = false;
};

} // namespace Nod::Indexing
