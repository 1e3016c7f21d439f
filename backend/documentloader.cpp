#include "documentloader.h"

#include <backend/backendinterface.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/page.h>
#include <domain/hashgenerator.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>

namespace Backend {

namespace {
// Opening has threads of its own: a long layout must not hold up page renders on the shared pool.
// The pool waits for its workers when the program ends.
Q_GLOBAL_STATIC(QThreadPool, openingPool)

BackendInterface *backendFor(const QString &fileName)
{
    const QList<BackendInterface *> backends = BackendManager::instance()->backends();
    for (BackendInterface *backend : backends) {
        if (backend->canHandleFile(fileName)) {
            return backend;
        }
    }
    return nullptr;
}

// Files named at start-up, opening on the workers. A handful at most.
struct EarlyFile
{
    QString path; // canonical
    qint64 size = -1;
    QDateTime modified;
    QFuture<DocumentLoader::Result> future;
    QFuture<QString> fingerprint; // when asked for
    bool fingerprinting = false;
};

struct EarlyFiles
{
    QMutex mutex;
    QList<EarlyFile> files;
};
Q_GLOBAL_STATIC(EarlyFiles, earlyFiles)

// The entry for fileName, unless the file changed while it was read or since: what was read is not
// the file any more, and the entry goes. The caller holds the mutex.
const EarlyFile *unchangedEarlyFile(EarlyFiles &early, const QString &fileName)
{
    if (early.files.isEmpty()) {
        return nullptr;
    }
    const QFileInfo info(fileName);
    const QString path = info.canonicalFilePath();
    for (int i = 0; i < early.files.size(); ++i) {
        const EarlyFile &file = early.files.at(i);
        if (file.path != path) {
            continue;
        }
        if (file.size != info.size() || file.modified != info.lastModified()) {
            early.files.removeAt(i);
            return nullptr;
        }
        return &file;
    }
    return nullptr;
}
} // namespace

DocumentLoader::DocumentLoader(QObject *parent)
    : QObject(parent)
    , m_watcher(new QFutureWatcher<Result>(this))
{
    connect(m_watcher, &QFutureWatcherBase::finished, this, [this] {
        if (!m_watcher->isCanceled()) {
            emit finished(m_watcher->result());
        }
    });
}

DocumentLoader::~DocumentLoader() = default;

DocumentLoader::Result DocumentLoader::open(const Opener &opener, bool outlineWanted)
{
    Result result;
    result.document = opener();
    if (result.document && !isReadable(*result.document)) {
        result.document.reset();
    }
    if (result.document) {
        // Made on this thread (unless it was opened early, and handed over already); the interface
        // thread drives it from now on.
        PDFPageProcessingThread &processing = result.document->processingThread();
        if (QCoreApplication::instance() && processing.thread() == QThread::currentThread()) {
            processing.moveToThread(QCoreApplication::instance()->thread());
        }
        if (outlineWanted) {
            result.outline = result.document->toc();
        }
        // Kept by the document, so that the pages are placed without asking the library again.
        result.document->pageSizes();
    }
    return result;
}

void DocumentLoader::prepareFirstPage(const QSharedPointer<Document> &document, const FirstPage &firstPage)
{
    if (!document || firstPage.index < 0 || !firstPage.resolution) {
        return;
    }
    const QVector<QSizeF> sizes = document->pageSizes();
    if (firstPage.index >= sizes.size() || sizes.at(firstPage.index).isEmpty()) {
        return;
    }
    const QSharedPointer<Page> page = document->pageAt(firstPage.index).toStrongRef();
    if (!page) {
        return;
    }
    const auto [xres, yres] = firstPage.resolution(sizes.at(firstPage.index));
    // Expected before the document is handed over, so that no render of the page starts unaware
    // of it; drawn beside, so that the hand-over does not wait for the drawing.
    page->expectPreparedRender(xres, yres);
    openingPool()->start([page] { page->drawPreparedRender(); });
}

bool DocumentLoader::isReadable(const Document &document)
{
    // A damaged book can open and yet lay out to nothing; a locked one shows its pages once
    // unlocked.
    if (document.isValid() && !document.isLocked() && document.pageCount() <= 0) {
        qWarning() << "Document without pages:" << document.fileName();
        return false;
    }
    return document.isValid();
}

bool DocumentLoader::start(const QString &fileName)
{
    // The registry is picked on this thread; only the opening itself runs on the worker.
    BackendInterface *backend = backendFor(fileName);
    if (!backend) {
        return false;
    }
    run([backend, fileName] {
        const QSharedPointer<Document> early = takeEarly(fileName);
        return early ? early : backend->newDocument(fileName);
    });
    return true;
}

void DocumentLoader::startEarly(const QString &fileName) { startEarly(fileName, FirstPage()); }

void DocumentLoader::startEarly(const QString &fileName, const FirstPage &firstPage)
{
    const QFileInfo info(fileName);
    BackendInterface *backend = info.isFile() ? backendFor(fileName) : nullptr;
    if (!backend) {
        return;
    }
    EarlyFile file;
    file.path = info.canonicalFilePath();
    file.size = info.size();
    file.modified = info.lastModified();
    EarlyFiles &early = *earlyFiles;
    QMutexLocker locker(&early.mutex);
    early.files.erase(std::remove_if(early.files.begin(), early.files.end(),
                          [&file](const EarlyFile &other) { return other.path == file.path; }),
        early.files.end());
    constexpr int kMostFiles = 4;
    if (early.files.size() >= kMostFiles) {
        return;
    }
    // Without the outline: the first page comes before it.
    file.future = QtConcurrent::run(openingPool(), [backend, fileName, firstPage] {
        Result result = open([backend, fileName] { return backend->newDocument(fileName); }, false);
        prepareFirstPage(result.document, firstPage);
        return result;
    });
    early.files.append(file);
}

QSharedPointer<Document> DocumentLoader::takeEarly(const QString &fileName)
{
    return takeEarly(fileName, true);
}

QSharedPointer<Document> DocumentLoader::takeEarlyIfRead(const QString &fileName)
{
    return takeEarly(fileName, false);
}

QSharedPointer<Document> DocumentLoader::takeEarly(const QString &fileName, bool wait)
{
    EarlyFiles &early = *earlyFiles;
    QFuture<Result> future;
    {
        QMutexLocker locker(&early.mutex);
        const EarlyFile *file = unchangedEarlyFile(early, fileName);
        if (!file) {
            return {};
        }
        future = file->future;
    }
    if (!wait && !future.isFinished()) {
        return {};
    }
    future.waitForFinished();
    return future.result().document;
}

void DocumentLoader::startEarlyFingerprint(const QString &fileName)
{
    // A longer file would still be read when the import asks for it, which reads it then, showing
    // its progress.
    constexpr qint64 kLongestBytes = 64 * 1024 * 1024;
    const QFileInfo info(fileName);
    if (info.size() > kLongestBytes) {
        return;
    }
    const QString path = info.canonicalFilePath();
    EarlyFiles &early = *earlyFiles;
    QMutexLocker locker(&early.mutex);
    for (EarlyFile &file : early.files) {
        if (file.path == path && !file.fingerprinting) {
            file.fingerprinting = true;
            file.fingerprint = QtConcurrent::run(
                openingPool(), [path] { return Nod::Domain::HashGenerator().generate(path); });
        }
    }
}

std::optional<QString> DocumentLoader::takeEarlyFingerprint(const QString &fileName, bool wait)
{
    EarlyFiles &early = *earlyFiles;
    QFuture<QString> fingerprint;
    {
        QMutexLocker locker(&early.mutex);
        const EarlyFile *file = unchangedEarlyFile(early, fileName);
        if (!file || !file->fingerprinting) {
            return std::nullopt;
        }
        fingerprint = file->fingerprint;
    }
    if (!wait && !fingerprint.isFinished()) {
        return std::nullopt;
    }
    return fingerprint.result();
}

void DocumentLoader::dropEarly()
{
    EarlyFiles &early = *earlyFiles;
    QMutexLocker locker(&early.mutex);
    early.files.clear();
}

void DocumentLoader::startReopening(const Document &document) { run(document.reopener()); }

void DocumentLoader::run(Opener opener)
{
    m_timer.start();
    m_watcher->setFuture(QtConcurrent::run(openingPool(),
        [opener = std::move(opener), outline = m_outlineWanted] { return open(opener, outline); }));
}

bool DocumentLoader::isRunning() const { return m_watcher->isRunning(); }

} // namespace Backend
