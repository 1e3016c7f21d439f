#pragma once

#include "indexsource.h"
#include "searchindex.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QThreadPool>

#include <optional>

class BackendInterface;

namespace Backend {
class Document;
}

namespace Nod::Indexing {

// The one owner of the index file's connection, living on the indexing thread. It reads a document's
// pages a batch at a time, each batch one transaction that also records how far it got, and returns
// to its event loop between batches, so that note changes are served while a long book is indexed
// and a stop or a crash loses at most one batch.
//
// Thread rules: constructed on the interface thread, then moved to its own thread; every slot runs
// there. stop() may be called from any thread.
class IndexWorker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IndexWorker)

public:
    IndexWorker(const QString &path, const QList<BackendInterface *> &backends, int pagesPerBatch);
    ~IndexWorker() override;

    void stop() { m_stopping.storeRelaxed(1); }

    void open();
    // Removes every document of the index that is not among these.
    void retainDocuments(const QSet<int> &libraryIds);
    // Brings the details, notes and pages of a document up to date; documentFinished follows.
    void indexDocument(const Nod::Indexing::DocumentSource &source);
    void putDetails(int documentId, const QString &details);
    void putNote(const Nod::Indexing::NoteSource &note);
    void removeNote(int annotationId);
    void removeDocument(int documentId);
    // Tells that the changes handed over up to this one are written (or failed).
    void changeWritten(int sequence) { emit changesWritten(sequence); }

signals:
    // The index was empty or set aside: every document has to be read again.
    void opened(bool rebuilt);
    void documentFinished(int documentId);
    void batchWritten(int documentId, int nextPage, int pageCount);
    void changesWritten(int sequence);

private:
    // Reads the text of the pages from `first` on, prepared for the index, for one batch; on any thread.
    static QStringList readPages(const QSharedPointer<Backend::Document> &document, int first, int pageCount,
        int pagesPerBatch, const QAtomicInt *stopping);
    void step();
    void waitForReading();
    void finishDocument();
    // A write failed: the file is set aside and everything is read again.
    void recover();
    QSharedPointer<Backend::Document> openFile(const QString &path, QString *reason) const;

    QString m_path;
    QList<BackendInterface *> m_backends;
    const int m_pagesPerBatch;
    SearchIndex m_index;
    QAtomicInt m_stopping;

    // The document being read.
    std::optional<DocumentSource> m_current;
    QSharedPointer<Backend::Document> m_document;
    int m_nextPage = 0; // the first page not written
    int m_pageCount = 0;
    // The next batch is read on this pool's one thread while the worker writes the last one: the
    // document is touched by one of the two at a time.
    QThreadPool m_readingPool;
    std::optional<QFuture<QStringList>> m_reading;
};

} // namespace Nod::Indexing
