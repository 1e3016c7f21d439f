#include "document.h"

#include <backend/page.h>

#include <algorithm>
#include <iterator>

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
    if (index < 0 || index >= m_pageCount) {
        return {};
    }
    const auto it = m_pages.find(index);
    return it == m_pages.end() ? QWeakPointer<Page>() : it->second.toWeakRef();
}

QWeakPointer<Page> Document::pageAt(int index)
{
    QReadLocker locker(m_lock.data());
    QMutexLocker pagesLocker(&m_pagesMutex);
    if (index < 0 || index >= m_pageCount) {
        return {};
    }
    const auto it = m_pages.find(index);
    if (it != m_pages.end()) {
        return it->second;
    }
    const QSharedPointer<Page> page = createPage(index);
    if (page) {
        page->setHiddenAnnotations(m_hiddenAnnotations);
        m_pages.emplace(index, page);
    }
    return page;
}

QString Document::pageFailure(int index) const
{
    QMutexLocker pagesLocker(&m_pagesMutex);
    const auto it = m_pageFailures.find(index);
    return it == m_pageFailures.end() ? QString() : it->second;
}

PDFDestination Document::resolveDestination(const PDFDestination &destination) const
{
    if (destination.pageNumber() >= 0 && destination.destinationName().isEmpty()) {
        return destination;
    }
    return PDFDestination::invalid();
}

QList<PDFToCItem> Document::toc() const { return {}; }

QVector<QSizeF> Document::pageSizes()
{
    const int count = std::max(0, pageCount());
    QVector<QSizeF> sizes(count);
    for (int i = 0; i < count; ++i) {
        if (const QSharedPointer<Page> page = pageAt(i).toStrongRef()) {
            sizes[i] = page->pageSize();
        }
    }
    return sizes;
}

QVector<SearchResult> Document::search(const QString &text, int flags, int startPage) const
{
    QReadLocker locker(m_lock.data());
    QVector<SearchResult> results;
    std::map<int, QSharedPointer<Page>> pages;
    {
        QMutexLocker pagesLocker(&m_pagesMutex);
        pages = m_pages;
    }
    if (pages.empty()) {
        return results;
    }
    const bool backwards = flags & SearchBackwards;
    const bool wrap = flags & SearchWrapAround;
    startPage = qBound(0, startPage, qMax(0, m_pageCount - 1));

    // Only the pages made so far are searched, so the walk goes over those and not over every
    // number up to the page count.
    auto visit = [&](const std::pair<const int, QSharedPointer<Page>> &entry) {
        results += entry.second->search(text, flags);
    };
    const auto split = backwards ? pages.upper_bound(startPage) : pages.lower_bound(startPage);
    if (!backwards) {
        std::for_each(split, pages.end(), visit);
        if (wrap) {
            std::for_each(pages.begin(), split, visit);
        }
    } else {
        std::for_each(std::make_reverse_iterator(split), pages.rend(), visit);
        if (wrap) {
            std::for_each(pages.rbegin(), std::make_reverse_iterator(split), visit);
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

void Document::setHiddenAnnotations(const QSet<int> &objectNumbers)
{
    QReadLocker locker(m_lock.data());
    {
        QMutexLocker pagesLocker(&m_pagesMutex);
        m_hiddenAnnotations = objectNumbers;
        for (const auto &entry : m_pages) {
            entry.second->setHiddenAnnotations(objectNumbers);
        }
    }
    m_pageCache.clear();
}

void Document::detachPages()
{
    std::map<int, QSharedPointer<Page>> pages;
    {
        QMutexLocker pagesLocker(&m_pagesMutex);
        pages.swap(m_pages);
        m_pageFailures.clear();
    }
    for (const auto &entry : pages) {
        entry.second->detachFromParent();
    }
}

} // namespace Backend
