#pragma once

#include <backend/pdftocitem.h>

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSharedPointer>
#include <QSizeF>

#include <functional>
#include <optional>

class BackendInterface;

namespace Backend {

class Document;

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
        QSharedPointer<Document> document; // null when the file could not be opened
        QList<PDFToCItem> outline;
    };
    // Makes a document on the worker; it must not touch anything of the interface thread.
    using Opener = std::function<QSharedPointer<Document>()>;

    explicit DocumentLoader(QObject *parent = nullptr);
    ~DocumentLoader() override;

    // False, and nothing started, when no back-end takes files of this kind. A file opened early
    // (see startEarly()) is taken from there.
    bool start(const QString &fileName);
    // Whether the result carries the outline; a long one takes a while to read, and a check that
    // the file opens needs none.
    void setOutlineWanted(bool wanted) { m_outlineWanted = wanted; }
    // Opens the file of an open document afresh, as its reload would, for Document::adopt.
    void startReopening(const Document &document);
    bool isRunning() const;
    qint64 elapsed() const { return m_timer.isValid() ? m_timer.elapsed() : 0; }

    // False for a document that cannot be shown: not opened, or opened without pages.
    static bool isReadable(const Document &document);

    // The page a view will show first, and the resolution (x and y, dots per inch) it will first
    // draw a page of the given size (in points) at.
    struct FirstPage
    {
        int index = -1;
        std::function<QPair<double, double>(const QSizeF &)> resolution;
    };
    // Starts opening a file named at start-up on a worker, while the window is still being built;
    // its pages are placed there too. Whoever opens that file next (the library's check that it
    // opens, the tab) shares the opened document. One file at a time; any thread may ask. With a
    // first page, that page is drawn on a worker as soon as the file is open (see
    // Page::expectPreparedRender), so that the view's first paint finds it drawn.
    static void startEarly(const QString &fileName, const FirstPage &firstPage);
    static void startEarly(const QString &fileName);
    // The document opened early for fileName, once it is open (waits for that), when the file has
    // not changed since; null otherwise, also when the opening failed.
    static QSharedPointer<Document> takeEarly(const QString &fileName);
    // The same without waiting: null also while the file is still being read.
    static QSharedPointer<Document> takeEarlyIfRead(const QString &fileName);
    // Starts reading the fingerprint of a file being opened early (see startEarly()) that the library
    // does not hold yet, beside its opening: the import that follows takes it from there. Files
    // too long to read during a start are left to the import.
    static void startEarlyFingerprint(const QString &fileName);
    // The fingerprint read early for fileName (empty when the file could not be read), when the file
    // has not changed since; nullopt otherwise. Waits for it when `wait`, else nullopt while it is
    // still being read.
    static std::optional<QString> takeEarlyFingerprint(const QString &fileName, bool wait);
    // Lets go of the early document, whoever took it keeps theirs.
    static void dropEarly();

signals:
    void finished(const Backend::DocumentLoader::Result &result);

private:
    void run(Opener opener);
    // Any thread; the back-end objects themselves are never changed after start-up.
    static Result open(const Opener &opener, bool outlineWanted);
    static void prepareFirstPage(const QSharedPointer<Document> &document, const FirstPage &firstPage);
    static QSharedPointer<Document> takeEarly(const QString &fileName, bool wait);

    QFutureWatcher<Result> *m_watcher;
    QElapsedTimer m_timer;
    bool m_outlineWanted = true;
};

} // namespace Backend
