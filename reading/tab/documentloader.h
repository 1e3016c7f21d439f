#pragma once

#include <backend/pdftocitem.h>

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QSharedPointer>

class BackendInterface;

namespace Backend {
class Document;
}

namespace Nod::Presentation {

// Opens a document file off the interface thread. MuPDF lays out a whole EPUB as it opens it,
// which takes seconds for a large book; the window stays responsive meanwhile. A loader deleted
// before the work ends drops the result: the library offers no way to stop a layout half-way,
// so the worker finishes on its own and frees what it made.
class DocumentLoader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentLoader)

public:
    struct Result
    {
        QSharedPointer<Backend::Document> document; // null when the file could not be opened
        QList<Backend::PDFToCItem> outline;
    };

    explicit DocumentLoader(QObject *parent = nullptr);
    ~DocumentLoader() override;

    // False, and nothing started, when no back-end takes files of this kind.
    bool start(const QString &fileName);
    bool isRunning() const;
    qint64 elapsed() const { return m_timer.isValid() ? m_timer.elapsed() : 0; }

    // False for a document that cannot be shown: not opened, or opened without pages.
    static bool isReadable(const Backend::Document &document);
    // Opens on the calling thread, which must be the interface thread.
    static Result load(const QString &fileName);

signals:
    void finished(const Nod::Presentation::DocumentLoader::Result &result);

private:
    // Any thread; the back-end objects themselves are never changed after start-up.
    static Result open(BackendInterface *backend, const QString &fileName);

    QFutureWatcher<Result> *m_watcher;
    QElapsedTimer m_timer;
};

} // namespace Nod::Presentation
