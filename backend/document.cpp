#include "document.h"

#include <backend/page.h>

namespace Backend {

Document::Document(const QString &fileName)
    : m_fileName(fileName)
    , m_lock(new QReadWriteLock(QReadWriteLock::Recursive))
{ }

Document::~Document() { stopProcessing(); }

void Document::stopProcessing() { m_processingThread.stop(); }

int Document::pageCount() const
{
    QReadLocker locker(m_lock.data());
    return m_pageCount;
}

QWeakPointer<Page> Document::pageAt(int index) const
{
    QReadLocker locker(m_lock.data());
    QMutexLocker pagesLocker(&m_pagesMutex);
    if (index < 0 || index >= m_pageCount || index >= static_cast<int>(m_pages.size())) {
        return {};
    }
    return m_pages[static_cast<size_t>(index)];
}

QWeakPointer<Page> Document::pageAt(int index)
{
    QReadLocker locker(m_lock.data());
    QMutexLocker pagesLocker(&m_pagesMutex);
    if (index < 0 || index >= m_pageCount) {
        return {};
    }
    if (static_cast<int>(m_pages.size()) < m_pageCount) {
        m_pages.resize(static_cast<size_t>(m_pageCount));
    }
    QSharedPointer<Page> &slot = m_pages[static_cast<size_t>(index)];
    if (!slot) {
        slot = createPage(index);
    }
    return slot;
}

PDFDestination Document::resolveDestination(const PDFDestination &destination) const
{
    if (destination.pageNumber() >= 0 && destination.destinationName().isEmpty()) {
        return destination;
    }
    return PDFDestination::invalid();
}

QList<PDFToCItem> Document::toc() const { return {}; }

QVector<SearchResult> Document::search(const QString &text, int flags, int startPage) const
{
    QReadLocker locker(m_lock.data());
    QVector<SearchResult> results;
    std::vector<QSharedPointer<Page>> pages;
    {
        QMutexLocker pagesLocker(&m_pagesMutex);
        pages = m_pages;
    }
    const int count = static_cast<int>(pages.size());
    if (count == 0) {
        return results;
    }
    const bool backwards = flags & SearchBackwards;
    const bool wrap = flags & SearchWrapAround;
    startPage = qBound(0, startPage, qMax(0, m_pageCount - 1));

    auto visit = [&](int index) {
        if (index < count && pages[static_cast<size_t>(index)]) {
            results += pages[static_cast<size_t>(index)]->search(text, flags);
        }
    };
    const int lastPage = m_pageCount - 1;
    if (!backwards) {
        for (int i = startPage; i <= lastPage; ++i) {
            visit(i);
        }
        if (wrap) {
            for (int i = 0; i < startPage; ++i) {
                visit(i);
            }
        }
    } else {
        for (int i = startPage; i >= 0; --i) {
            visit(i);
        }
        if (wrap) {
            for (int i = lastPage; i > startPage; --i) {
                visit(i);
            }
        }
    }
    return results;
}

void Document::clearPages()
{
    m_processingThread.cancelRequests();
    QWriteLocker locker(m_lock.data());
    detachPages();
}

void Document::detachPages()
{
    std::vector<QSharedPointer<Page>> pages;
    {
        QMutexLocker pagesLocker(&m_pagesMutex);
        pages.swap(m_pages);
    }
    for (const QSharedPointer<Page> &page : pages) {
        if (page) {
            page->detachFromParent();
        }
    }
}

} // namespace Backend
