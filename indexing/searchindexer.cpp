#include "searchindexer.h"

#include "indexsource.h"
#include "indexworker.h"
#include "searchquery.h"
#include "searchreader.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/tagservice.h>
#include <backend/backendmanager.h>

#include <QDebug>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace Nod::Indexing {

SearchIndexer::SearchIndexer(Application::DocumentService *documents, Application::NoteService *notes,
    Application::TagService *categories, Application::TagService *tags, const QString &indexPath,
    QObject *parent)
    : QObject(parent)
    , m_documents(documents)
    , m_notes(notes)
    , m_categories(categories)
    , m_tags(tags)
    , m_indexPath(indexPath)
{
    qRegisterMetaType<Nod::Indexing::SearchResults>();
    m_thread.setObjectName(QStringLiteral("SearchIndexer"));
    m_queryThread.setObjectName(QStringLiteral("SearchQueries"));

    using Application::DocumentService;
    connect(
        documents, &DocumentService::added, this, [this](const Domain::Document &doc) { enqueue(doc.id()); });
    connect(documents, &DocumentService::fileChanged, this,
        [this](const Domain::Document &doc) { enqueue(doc.id()); });
    connect(documents, &DocumentService::titleChanged, this,
        [this](const Domain::Document &doc) { updateDetails(doc.id()); });
    connect(documents, &DocumentService::overviewChanged, this,
        [this](const Domain::Document &doc) { updateDetails(doc.id()); });
    connect(documents, &DocumentService::removed, this, &SearchIndexer::on_documentRemoved);

    using Application::NoteService;
    connect(notes, &NoteService::added, this,
        [this](const Domain::Annotation &anno, int, int) { updateNote(anno); });
    connect(
        notes, &NoteService::noteChanged, this, [this](const Domain::Annotation &anno) { updateNote(anno); });
    connect(notes, &NoteService::removed, this,
        [this](const Domain::Annotation &anno, int, int) { removeNote(anno.id()); });

    using Application::TagService;
    if (categories) {
        connect(categories, &TagService::itemAdded, this,
            [this](const Domain::Tag &, int docId) { updateDetails(docId); });
        connect(categories, &TagService::itemRemoved, this,
            [this](const Domain::Tag &, int docId) { updateDetails(docId); });
        connect(categories, &TagService::nameChanged, this, &SearchIndexer::on_categoryRenamed);
    }
    if (tags) {
        connect(tags, &TagService::itemAdded, this,
            [this](const Domain::Tag &, int annoId) { updateNote(annoId); });
        connect(tags, &TagService::itemRemoved, this,
            [this](const Domain::Tag &, int annoId) { updateNote(annoId); });
        connect(tags, &TagService::nameChanged, this, &SearchIndexer::on_tagRenamed);
    }
}

SearchIndexer::~SearchIndexer()
{
    if (m_worker) {
        m_worker->stop();
    }
    m_thread.quit();
    m_queryThread.quit();
    m_thread.wait();
    m_queryThread.wait();
}

void SearchIndexer::start()
{
    if (m_worker) {
        return;
    }
    m_worker = new IndexWorker(m_indexPath, BackendManager::instance()->backends(), m_pagesPerBatch);
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &IndexWorker::opened, this, &SearchIndexer::on_worker_opened);
    connect(m_worker, &IndexWorker::documentFinished, this, &SearchIndexer::on_worker_documentFinished);
    connect(m_worker, &IndexWorker::batchWritten, this, &SearchIndexer::batchWritten);
    connect(m_worker, &IndexWorker::changesWritten, this, [this](int sequence) {
        m_changesWritten = sequence;
        sendReadySearches();
    });
    // Reading pages gives way to everything else the user runs: on Linux only the idle class does
    // that, the lower priorities of the normal class are all the same there.
    m_thread.start(QThread::IdlePriority);
    m_reader = new SearchReader(m_indexPath);
    m_reader->moveToThread(&m_queryThread);
    connect(&m_queryThread, &QThread::finished, m_reader, &QObject::deleteLater);
    connect(m_reader, &SearchReader::searchFinished, this, &SearchIndexer::searchFinished);
    m_queryThread.start();
    QMetaObject::invokeMethod(m_worker, &IndexWorker::open, Qt::QueuedConnection);
}

int SearchIndexer::search(const SearchQuery &query, int limit, int firstScreen)
{
    const int requestId = m_nextRequest++;
    if (!m_reader) {
        return requestId;
    }
    // A search sees every change handed to the worker before it: it waits for those, never for pages.
    m_pendingSearches.append({ requestId, query, limit, firstScreen, m_changesSent });
    sendReadySearches();
    return requestId;
}

void SearchIndexer::sendReadySearches()
{
    while (m_readable && !m_pendingSearches.isEmpty()
        && m_pendingSearches.first().changesBefore <= m_changesWritten) {
        const PendingSearch pending = m_pendingSearches.takeFirst();
        sendSearch(pending.requestId, pending.query, pending.limit, pending.firstScreen);
    }
}

void SearchIndexer::sendChange(const std::function<void(IndexWorker *)> &change)
{
    IndexWorker *worker = m_worker;
    const int sequence = ++m_changesSent;
    QMetaObject::invokeMethod(
        m_worker,
        [worker, change, sequence] {
            change(worker);
            worker->changeWritten(sequence);
        },
        Qt::QueuedConnection);
}

void SearchIndexer::sendSearch(int requestId, const SearchQuery &query, int limit, int firstScreen)
{
    SearchReader *reader = m_reader;
    QMetaObject::invokeMethod(
        m_reader,
        [reader, requestId, query, limit, firstScreen] {
            reader->search(requestId, query, limit, firstScreen);
        },
        Qt::QueuedConnection);
}

void SearchIndexer::on_worker_opened(bool rebuilt)
{
    Q_UNUSED(rebuilt)
    // After a reset the reader still has the file that was set aside.
    QMetaObject::invokeMethod(m_reader, &SearchReader::reopen, Qt::QueuedConnection);
    m_readable = true;
    // Every start compares the whole library with the index: documents added, changed or removed
    // while the program was not running, and notes whose indexing a crash cut short.
    m_inFlight = 0;
    m_finished = 0;
    m_queue.clear();
    QSet<int> ids;
    const QVector<Domain::Document> documents = m_documents->documents();
    for (const Domain::Document &doc : documents) {
        ids.insert(doc.id());
    }
    sendChange([ids](IndexWorker *worker) { worker->retainDocuments(ids); });
    sendReadySearches();
    enqueueLibrary();
}

void SearchIndexer::enqueueLibrary()
{
    const QVector<Domain::Document> documents = m_documents->documents();
    for (const Domain::Document &doc : documents) {
        enqueue(doc.id());
    }
}

void SearchIndexer::enqueue(int documentId)
{
    if (!m_worker || m_queue.contains(documentId)) {
        return;
    }
    m_queue.append(documentId);
    emit progressChanged(m_finished, totalCount());
    feed();
}

void SearchIndexer::feed()
{
    while (m_inFlight == 0 && !m_queue.isEmpty()) {
        DocumentSource source;
        const int id = m_queue.takeFirst();
        if (!sourceOf(id, &source)) {
            continue;
        }
        m_inFlight = id;
        IndexWorker *worker = m_worker;
        QMetaObject::invokeMethod(
            m_worker, [worker, source] { worker->indexDocument(source); }, Qt::QueuedConnection);
    }
    if (!isIndexing()) {
        m_finished = 0;
        emit progressChanged(0, 0);
        emit idle();
    }
}

void SearchIndexer::on_worker_documentFinished(int documentId)
{
    if (documentId != m_inFlight) {
        return;
    }
    m_inFlight = 0;
    ++m_finished;
    emit documentIndexed(documentId);
    emit progressChanged(m_finished, totalCount());
    feed();
}

void SearchIndexer::on_documentRemoved(const Domain::Document &document)
{
    m_queue.removeAll(document.id());
    if (!m_worker) {
        return;
    }
    const int id = document.id();
    sendChange([id](IndexWorker *worker) { worker->removeDocument(id); });
}

QString SearchIndexer::detailsOf(const Domain::Document &document) const
{
    QStringList parts { document.title(), document.overview() };
    if (m_categories) {
        const QVector<Domain::Tag> tags = m_categories->tagsOfDocument(document.id());
        for (const Domain::Tag &tag : tags) {
            parts.append(tag.name());
        }
    }
    return parts.join(QLatin1Char('\n'));
}

NoteSource SearchIndexer::noteSourceOf(const Domain::Annotation &annotation) const
{
    NoteSource note;
    note.annotationId = annotation.id();
    note.documentId = annotation.documentId();
    note.page = annotation.pageIndex();
    note.noteText = annotation.noteText();
    if (m_tags) {
        const QVector<Domain::Tag> tags = m_tags->tagsOfDocument(annotation.id());
        for (const Domain::Tag &tag : tags) {
            note.tags.append(tag.name());
        }
        std::sort(note.tags.begin(), note.tags.end());
    }
    return note;
}

bool SearchIndexer::sourceOf(int documentId, DocumentSource *source) const
{
    const std::optional<Domain::Document> doc = m_documents->find(documentId);
    if (!doc) {
        return false;
    }
    source->id = documentId;
    source->path = QFileInfo(doc->localUrl()).absoluteFilePath();
    source->hash = doc->hash();
    source->details = detailsOf(*doc);
    // One statement for all notes of the document rather than one look-up per node of its tree.
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "SELECT id, pageIndex, noteText FROM Annotation WHERE documentId = ? AND parentId <> 0"));
    query.addBindValue(documentId);
    if (!query.exec()) {
        qWarning().noquote() << "Nod::Indexing::SearchIndexer: notes of document" << documentId
                             << "cannot be read:" << query.lastError().text();
        return true;
    }
    while (query.next()) {
        Domain::Annotation annotation(
            query.value(0).toInt(), documentId, query.value(1).toInt(), QPointF(), 0);
        annotation.setNoteText(query.value(2).toString());
        source->notes.append(noteSourceOf(annotation));
    }
    return true;
}

void SearchIndexer::updateDetails(int documentId)
{
    const std::optional<Domain::Document> doc = m_worker ? m_documents->find(documentId) : std::nullopt;
    if (!doc) {
        return;
    }
    const QString details = detailsOf(*doc);
    sendChange([documentId, details](IndexWorker *worker) { worker->putDetails(documentId, details); });
}

void SearchIndexer::updateNote(int annotationId)
{
    if (const std::optional<Domain::Annotation> annotation = m_notes->find(annotationId)) {
        updateNote(*annotation);
    }
}

void SearchIndexer::updateNote(const Domain::Annotation &annotation)
{
    if (!m_worker || annotation.parentId() == 0) {
        return;
    }
    const NoteSource note = noteSourceOf(annotation);
    sendChange([note](IndexWorker *worker) { worker->putNote(note); });
}

void SearchIndexer::removeNote(int annotationId)
{
    if (!m_worker) {
        return;
    }
    sendChange([annotationId](IndexWorker *worker) { worker->removeNote(annotationId); });
}

void SearchIndexer::on_tagRenamed(const Domain::Tag &tag)
{
    for (int annotationId : tag.items()) {
        updateNote(annotationId);
    }
}

void SearchIndexer::on_categoryRenamed(const Domain::Tag &tag)
{
    for (int documentId : tag.items()) {
        updateDetails(documentId);
    }
}

} // namespace Nod::Indexing
