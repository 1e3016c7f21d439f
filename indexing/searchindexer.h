#pragma once

#include "searchhit.h"
#include "searchquery.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>
#include <QVector>

#include <functional>

namespace Nod::Application {
class DocumentService;
class NoteService;
class TagService;
} // namespace Nod::Application

namespace Nod::Domain {
class Annotation;
class Document;
class Tag;
} // namespace Nod::Domain

namespace Nod::Indexing {

class IndexWorker;
class SearchReader;
struct DocumentSource;
struct NoteSource;

// Keeps the full-text index in step with the library and answers queries. It follows the services'
// change signals, gathers what a document or note holds on the interface thread and hands it to the
// worker, one document at a time, on a thread of low priority that alone writes the index file.
// Queries run on a thread and a read connection of their own, so they never wait for a batch.
//
// Interface thread only.
class SearchIndexer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SearchIndexer)

public:
    // The services are not owned and must outlive the indexer.
    SearchIndexer(Application::DocumentService *documents, Application::NoteService *notes,
        Application::TagService *categories, Application::TagService *tags, const QString &indexPath,
        QObject *parent = nullptr);
    // Stops between two batches; what was written stays, and the next start goes on from there.
    ~SearchIndexer() override;

    // Pages per transaction; before start().
    void setPagesPerBatch(int pages) { m_pagesPerBatch = pages; }
    // Opens the index and brings every document of the library up to date.
    void start();

    // Runs a checked query; searchFinished answers with the returned number: with firstScreen, first
    // with the best firstScreen hits when there are more (not complete), then with the whole list.
    int search(const SearchQuery &query, int limit, int firstScreen = 0);

    QString indexPath() const { return m_indexPath; }
    bool isIndexing() const { return m_inFlight != 0 || !m_queue.isEmpty(); }
    // Documents finished and to be looked at in this round; both 0 when nothing is to do.
    int finishedCount() const { return m_finished; }
    int totalCount() const { return isIndexing() ? m_finished + m_queue.size() + (m_inFlight ? 1 : 0) : 0; }

signals:
    void progressChanged(int finished, int total);
    void documentIndexed(int documentId);
    void batchWritten(int documentId, int nextPage, int pageCount);
    // Every document handed over so far is done.
    void idle();
    void searchFinished(int requestId, Nod::Indexing::SearchResults results);

private:
    void enqueue(int documentId);
    void enqueueLibrary();
    void feed();
    void on_worker_opened(bool rebuilt);
    void sendSearch(int requestId, const SearchQuery &query, int limit, int firstScreen);
    void sendReadySearches();
    // Hands a change of notes or documents to the worker, counted so that searches can wait for it.
    void sendChange(const std::function<void(IndexWorker *)> &change);
    void on_worker_documentFinished(int documentId);
    void on_documentRemoved(const Domain::Document &document);
    void updateDetails(int documentId);
    void updateNote(int annotationId);
    void updateNote(const Domain::Annotation &annotation);
    void removeNote(int annotationId);
    void on_tagRenamed(const Domain::Tag &tag);
    void on_categoryRenamed(const Domain::Tag &tag);
    QString detailsOf(const Domain::Document &document) const;
    NoteSource noteSourceOf(const Domain::Annotation &annotation) const;
    bool sourceOf(int documentId, DocumentSource *source) const;

    Application::DocumentService *m_documents; // not owned
    Application::NoteService *m_notes; // not owned
    Application::TagService *m_categories; // not owned
    Application::TagService *m_tags; // not owned
    QString m_indexPath;
    int m_pagesPerBatch = 64;
    QThread m_thread;
    IndexWorker *m_worker = nullptr; // lives on m_thread, deleted there as it ends
    QThread m_queryThread;
    SearchReader *m_reader = nullptr; // lives on m_queryThread, deleted there as it ends
    // Queries asked before the worker has opened (or created) the file or written the changes
    // handed to it before them.
    struct PendingSearch
    {
        int requestId;
        SearchQuery query;
        int limit;
        int firstScreen;
        int changesBefore;
    };
    QVector<PendingSearch> m_pendingSearches;
    bool m_readable = false;
    int m_changesSent = 0;
    int m_changesWritten = 0;
    QList<int> m_queue;
    int m_inFlight = 0;
    int m_finished = 0;
    int m_nextRequest = 1;
};

} // namespace Nod::Indexing
