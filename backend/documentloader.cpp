#include "documentloader.h"

#include <backend/backendinterface.h>
#include <backend/backendmanager.h>
#include <backend/document.h>

#include <QCoreApplication>
#include <QDebug>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

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

DocumentLoader::Result DocumentLoader::open(const Opener &opener)
{
    Result result;
    result.document = opener();
    if (result.document && !isReadable(*result.document)) {
        result.document.reset();
    }
    if (result.document) {
        // Made on this thread; the interface thread drives it from now on.
        if (QCoreApplication::instance()) {
            result.document->processingThread().moveToThread(QCoreApplication::instance()->thread());
        }
        result.outline = result.document->toc();
        // Kept by the document, so that the pages are placed without asking the library again.
        result.document->pageSizes();
    }
    return result;
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
    run([backend, fileName] { return backend->newDocument(fileName); });
    return true;
}

void DocumentLoader::startReopening(const Document &document) { run(document.reopener()); }

void DocumentLoader::run(Opener opener)
{
    m_timer.start();
    m_watcher->setFuture(
        QtConcurrent::run(openingPool(), [opener = std::move(opener)] { return open(opener); }));
}

bool DocumentLoader::isRunning() const { return m_watcher->isRunning(); }

} // namespace Backend
