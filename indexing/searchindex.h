#pragma once

#include "relevance.h"
#include "searchhit.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

namespace Nod::Indexing {

class SearchQuery;

// The full-text index file: the text of every page, the notes and the documents' details, with the
// indexing progress of each document. It holds derived data only; a damaged or foreign file is set
// aside and an empty index takes its place.
//
// One connection writes; queries run on connections of their own (write-ahead log), so that they
// never wait for a batch being written.
//
// Thread rules: an instance and its connection belong to the thread that opened it.
class SearchIndex final
{
public:
    // How far the pages of a document got. failure is set for a file whose text could not be read;
    // it is not tried again while its fingerprint stays the same.
    struct DocumentState
    {
        QString hash;
        int pageCount = -1;
        int nextPage = 0;
        QString failure;

        bool pagesComplete() const { return failure.isEmpty() && pageCount >= 0 && nextPage >= pageCount; }
    };

    SearchIndex();
    ~SearchIndex();
    Q_DISABLE_COPY_MOVE(SearchIndex)

    // Opens or creates the file. A file that is not a sound index of this program is renamed to
    // "<name>.damaged" (logged) and replaced by a new one; wasReset() tells so. With readOnly, nothing
    // is created or set aside: false for a missing or unusable file.
    bool open(const QString &path, bool readOnly = false);
    // Opens, read-only, a file that a connection of this program has opened for writing: it has
    // checked the file, so only its format is looked at here.
    bool openForQueries(const QString &path);
    void close();
    bool isOpen() const;
    bool wasReset() const { return m_wasReset; }
    QString path() const { return m_path; }
    QString lastError() const { return m_lastError; }
    // Sets the file aside and starts an empty one (after a write found it damaged).
    bool reset(const QString &reason);

    std::optional<DocumentState> documentState(int documentId) const;
    QVector<int> documentIds() const;
    // Documents whose pages are all in, or that failed.
    int finishedDocumentCount() const;

    // Each change below is one transaction; false (with lastError) when it failed and nothing changed.
    // Drops the document's pages and records that its pages are to be read for this fingerprint.
    bool startPages(int documentId, const QString &hash, int pageCount);
    enum TextForm { AsRead, Prepared }; // Prepared: through prepareForIndex() already
    // Stores the text of pages firstPage, firstPage + 1, ... and moves the document's progress past them.
    bool addPages(int documentId, int firstPage, const QStringList &texts, TextForm form = AsRead);
    bool markFailed(int documentId, const QString &hash, const QString &reason);
    // The note of an annotation or, with annotationId 0, the details of a document. stamp identifies
    // the source the text came from: an equal stamp leaves the entry alone. Empty text removes it.
    bool putEntry(int documentId, int page, int annotationId, qint64 stamp, const QString &text);
    // The stamps of the notes of a document (annotation id to stamp) and of its details (key 0).
    QHash<int, qint64> entryStamps(int documentId) const;
    bool removeNote(int annotationId);
    bool removeDocument(int documentId);

    // The best `limit` hits, best first, and the number of all. With firstScreen, onFirstScreen has
    // the best firstScreen hits with their passages as soon as they are ready, when there are more.
    SearchResults search(const SearchQuery &query, int limit, int firstScreen = 0,
        const std::function<void(const SearchResults &)> &onFirstScreen = {}) const;

    // Both SQLite's and the full-text table's own integrity checks; empty when sound.
    QString integrityProblem() const;
    // Bytes of the file and its write-ahead log.
    qint64 sizeOnDisk() const;

    static qint64 stampFor(const QString &source);

private:
    bool openConnection(bool readOnly);
    bool countRemoval(int removed);
    bool passagesOf(QVector<SearchHit> &hits, int from, int to, const QString &match, QString *error) const;
    QString formatProblem();
    bool createSchema();
    bool setAside(const QString &reason);
    bool deletePages(int documentId);
    bool fail(const QString &message) const;

    QSqlDatabase m_db;
    mutable Relevance m_relevance;
    QString m_connectionName;
    QString m_path;
    mutable QString m_lastError;
    bool m_wasReset = false;
};

} // namespace Nod::Indexing
