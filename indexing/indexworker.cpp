#include "indexworker.h"

#include "searchquery.h"

#include <backend/backendinterface.h>
#include <backend/document.h>
#include <backend/page.h>

#include <QDebug>
#include <QFileInfo>
#include <QRectF>
#include <QThread>
#include <QtConcurrent>

namespace Nod::Indexing {

namespace {
// A batch ends after this much reading, so that note changes, and the searches that wait for them,
// wait little behind it.
constexpr qint64 BatchMilliseconds = 40;
} // namespace

IndexWorker::IndexWorker(const QString &path, const QList<BackendInterface *> &backends, int pagesPerBatch)
    : m_path(path)
    , m_backends(backends)
    , m_pagesPerBatch(qMax(1, pagesPerBatch))
{
    m_readingPool.setMaxThreadCount(1);
}

IndexWorker::~IndexWorker()
{
    m_stopping.storeRelaxed(1);
    waitForReading();
    m_document.reset();
    m_index.close();
}

void IndexWorker::open()
{
    const bool existed = QFileInfo::exists(m_path);
    m_index.open(m_path);
    emit opened(!existed || m_index.wasReset());
}

void IndexWorker::recover()
{
    const QString reason = m_index.lastError();
    waitForReading();
    m_current.reset();
    m_document.reset();
    if (m_index.reset(reason)) {
        emit opened(true);
    }
}

void IndexWorker::retainDocuments(const QSet<int> &libraryIds)
{
    const QVector<int> indexed = m_index.documentIds();
    for (int id : indexed) {
        if (!libraryIds.contains(id) && !m_index.removeDocument(id)) {
            recover();
            return;
        }
    }
}

void IndexWorker::putDetails(int documentId, const QString &details)
{
    if (!m_index.putEntry(documentId, -1, 0, SearchIndex::stampFor(details), details)) {
        recover();
    }
}

void IndexWorker::putNote(const NoteSource &note)
{
    if (!m_index.putEntry(note.documentId, note.page, note.annotationId, note.stamp(), note.plainText())) {
        recover();
    }
}

void IndexWorker::removeNote(int annotationId)
{
    if (!m_index.removeNote(annotationId)) {
        recover();
    }
}

void IndexWorker::removeDocument(int documentId)
{
    if (m_current && m_current->id == documentId) {
        finishDocument();
    }
    if (!m_index.removeDocument(documentId)) {
        recover();
    }
}

QSharedPointer<Backend::Document> IndexWorker::openFile(const QString &path, QString *reason) const
{
    for (BackendInterface *backend : m_backends) {
        if (!backend->canHandleFile(path)) {
            continue;
        }
        QSharedPointer<Backend::Document> document = backend->newDocument(path);
        if (!document || !document->isValid()) {
            *reason = QStringLiteral("the file cannot be opened");
        } else if (document->isLocked()) {
            *reason = QStringLiteral("the file is protected by a password");
        } else if (document->pageCount() <= 0) {
            *reason = QStringLiteral("the file has no pages");
        } else {
            return document;
        }
        return {};
    }
    *reason = QStringLiteral("no back-end reads this kind of file");
    return {};
}

void IndexWorker::indexDocument(const DocumentSource &source)
{
    if (m_current) {
        finishDocument(); // not expected: documents are handed over one at a time
    }
    const int id = source.id;
    if (!m_index.isOpen()) {
        emit documentFinished(id);
        return;
    }
    // Details and notes first: they are few and what the reader searches most.
    const QHash<int, qint64> stamps = m_index.entryStamps(id);
    bool ok = m_index.putEntry(id, -1, 0, SearchIndex::stampFor(source.details), source.details);
    QSet<int> notes;
    for (const NoteSource &note : source.notes) {
        notes.insert(note.annotationId);
        const qint64 stamp = note.stamp();
        if (ok && stamps.value(note.annotationId) != stamp) {
            ok = m_index.putEntry(id, note.page, note.annotationId, stamp, note.plainText());
        }
    }
    for (auto it = stamps.constBegin(); ok && it != stamps.constEnd(); ++it) {
        if (it.key() > 0 && !notes.contains(it.key())) {
            ok = m_index.removeNote(it.key());
        }
    }
    if (!ok) {
        recover();
        emit documentFinished(id);
        return;
    }

    const std::optional<SearchIndex::DocumentState> state = m_index.documentState(id);
    if (state && state->hash == source.hash && (state->pagesComplete() || !state->failure.isEmpty())) {
        emit documentFinished(id);
        return;
    }
    if (!QFileInfo::exists(source.path)) {
        // Perhaps on a drive that is not there now: tried again at the next start.
        qInfo().noquote() << "Search index: file not found, not indexed now:" << source.path;
        emit documentFinished(id);
        return;
    }
    QString reason;
    m_document = openFile(source.path, &reason);
    if (!m_document) {
        qWarning().noquote() << "Search index: cannot read the text of" << source.path << "-" << reason;
        if (!m_index.markFailed(id, source.hash, reason)) {
            recover();
        }
        emit documentFinished(id);
        return;
    }
    m_current = source;
    m_pageCount = m_document->pageCount();
    if (state && state->hash == source.hash && state->pageCount == m_pageCount && state->failure.isEmpty()) {
        m_nextPage = state->nextPage;
    } else {
        m_nextPage = 0;
        if (!m_index.startPages(id, source.hash, m_pageCount)) {
            recover();
            emit documentFinished(id);
            return;
        }
    }
    QMetaObject::invokeMethod(this, &IndexWorker::step, Qt::QueuedConnection);
}

QStringList IndexWorker::readPages(const QSharedPointer<Backend::Document> &document, int first,
    int pageCount, int pagesPerBatch, const QAtomicInt *stopping)
{
    QStringList texts;
    QElapsedTimer timer;
    timer.start();
    while (first + texts.size() < pageCount && texts.size() < pagesPerBatch
        && timer.elapsed() < BatchMilliseconds && !stopping->loadRelaxed()) {
        QString text;
        if (const QSharedPointer<Backend::Page> page = document->pageAt(first + texts.size()).toStrongRef()) {
            QVector<QRectF> boxes;
            text = page->text(boxes);
        }
        texts.append(prepareForIndex(text));
    }
    // Pages read are not needed again; their text would only fill the memory.
    document->clearPages();
    return texts;
}

void IndexWorker::waitForReading()
{
    if (m_reading) {
        m_reading->waitForFinished();
        m_reading.reset();
    }
}

void IndexWorker::step()
{
    if (!m_current || !m_document || m_stopping.loadRelaxed()) {
        return;
    }
    // The pages of this batch were read while the one before was written, the first batch excepted.
    const int first = m_nextPage;
    const QStringList texts = m_reading
        ? m_reading->result()
        : readPages(m_document, first, m_pageCount, m_pagesPerBatch, &m_stopping);
    m_reading.reset();
    if (m_stopping.loadRelaxed()) {
        return; // the pages read since the last batch are read again next time
    }
    m_nextPage = first + texts.size();
    if (m_nextPage < m_pageCount) {
        m_reading = QtConcurrent::run(&m_readingPool, &IndexWorker::readPages, m_document, m_nextPage,
            m_pageCount, m_pagesPerBatch, &m_stopping);
    }
    if (!m_index.addPages(m_current->id, first, texts, SearchIndex::Prepared)) {
        recover();
        return;
    }
    emit batchWritten(m_current->id, m_nextPage, m_pageCount);
    if (m_nextPage >= m_pageCount) {
        finishDocument();
    } else {
        QMetaObject::invokeMethod(this, &IndexWorker::step, Qt::QueuedConnection);
    }
}

void IndexWorker::finishDocument()
{
    waitForReading();
    const int id = m_current ? m_current->id : 0;
    m_current.reset();
    m_document.reset();
    if (id > 0) {
        emit documentFinished(id);
    }
}

} // namespace Nod::Indexing
