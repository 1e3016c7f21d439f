#pragma once

#include <backend/pdfdestination.h>
#include <backend/pdfpagecache.h>
#include <backend/pdfpageprocessingthread.h>
#include <backend/pdftocitem.h>
#include <backend/searchresult.h>

#include <QList>
#include <QMutex>
#include <QReadWriteLock>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWeakPointer>

#include <functional>
#include <map>

namespace Backend {

class Page;

// An opened document file: its pages, outline and search, independent of the library behind it.
//
// Locking: the document lock (recursive read-write) guards the opened library document. Readers of
// page state take it for reading, then the page's lock; reload and unlock take it for writing.
// Pages share the lock, so a page outliving its document stays usable. The page table has a mutex
// of its own, so that creating a page does not wait for renders of other pages in flight.
class Document
{
public:
    enum SearchFlag { SearchBackwards = 1, SearchWrapAround = 4 };

    explicit Document(const QString &fileName);
    virtual ~Document();
    Q_DISABLE_COPY_MOVE(Document)

    // An existing page, or null when it was not yet created or the index is out of range.
    virtual QWeakPointer<Page> pageAt(int index) const;
    // Creates the page on first request. Any thread.
    virtual QWeakPointer<Page> pageAt(int index);
    virtual PDFDestination resolveDestination(const PDFDestination &destination) const;
    virtual bool isValid() const = 0;
    virtual bool isLocked() const = 0;
    virtual bool reload() = 0;
    // What opens this document's file afresh as reload() would (with the password accepted so
    // far), for running on another thread; made under the document lock, it holds no part of this
    // document. Null documents come from files that cannot be opened.
    virtual std::function<QSharedPointer<Document>()> reopener() const = 0;
    // Takes over the opened file of a copy made by reopener(), in place of reload(): the pages are
    // detached as by a reload, and the copy is left closed. False, and nothing changed, for a copy
    // of another kind or of another file. Takes the document lock for writing; not from the
    // processing thread.
    virtual bool adopt(Document &copy) = 0;
    virtual bool unlock(const QString &password) = 0;
    virtual QList<PDFToCItem> toc() const;
    // The size of every page in points, in page order, without keeping pages; an empty size for a
    // page that cannot be read. The base version creates each page.
    virtual QVector<QSizeF> pageSizes();
    // Searches the pages already created, from startPage in the flags' direction.
    virtual QVector<SearchResult> search(const QString &text, int flags, int startPage) const;
    // Not from the processing thread.
    virtual void clearPages();
    // Leaves the file's own annotations with these object numbers out of every render of its
    // pages, those made so far and those made later, and drops the renders kept with them.
    void setHiddenAnnotations(const QSet<int> &objectNumbers);

    // Why the page could not be made the last time it was asked for, in the library's words; empty
    // for a page that was made or not yet asked for. Any thread.
    QString pageFailure(int index) const;

    // -1 until a file has been opened.
    int pageCount() const;
    QString fileName() const { return m_fileName; }
    PDFPageProcessingThread &processingThread() { return m_processingThread; }
    PDFPageCache &pageCache() { return m_pageCache; }
    const PDFPageCache &pageCache() const { return m_pageCache; }
    QSharedPointer<QReadWriteLock> documentLock() const { return m_lock; }

protected:
    // Called under the document read lock and the page-table mutex. Null for a page that cannot be
    // loaded: nothing is kept for it, and a later request tries again.
    virtual QSharedPointer<Page> createPage(int index) = 0;
    // Ends the processing thread; derived destructors call it before releasing library state.
    void stopProcessing();
    // Needs the document write lock.
    void detachPages();

    int m_pageCount = -1;
    PDFPageProcessingThread m_processingThread;
    PDFPageCache m_pageCache;
    // The pages asked for so far, by number; a file's declared page count can be far beyond what
    // it holds, so nothing is sized by it. Guarded by m_pagesMutex.
    std::map<int, QSharedPointer<Page>> m_pages;
    // createPage records here why a page could not be made. Guarded by m_pagesMutex.
    std::map<int, QString> m_pageFailures;
    mutable QMutex m_pagesMutex;
    QSet<int> m_hiddenAnnotations; // guarded by m_pagesMutex
    QString m_fileName;
    QSharedPointer<QReadWriteLock> m_lock;
};

} // namespace Backend
