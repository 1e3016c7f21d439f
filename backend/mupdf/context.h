#pragma once

#include <QMutex>
#include <QRecursiveMutex>
#include <QSharedPointer>
#include <QWeakPointer>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <deque>

struct fz_context;

namespace Backend {
class Page;
}

namespace Backend::MuPDF {

// The pages of one document that hold structured text, oldest first. A search over a long
// document would otherwise keep the text of every page (hundreds of megabytes) for good.
class TextPageRegistry final
{
public:
    static constexpr int DefaultLimit = 256;

    // Records that the page now holds its text; returns the pages that should drop theirs.
    QList<QSharedPointer<Backend::Page>> add(const QWeakPointer<Backend::Page> &page);
    // Puts back a page that could not drop its text just now.
    void keep(const QWeakPointer<Backend::Page> &page);
    void setLimit(int limit);
    int count() const;

private:
    mutable QMutex m_mutex;
    std::deque<QWeakPointer<Backend::Page>> m_pages;
    int m_limit = DefaultLimit;
};

// Counts the bytes the library holds and refuses allocations beyond a ceiling, so that a hostile
// file (a decompression bomb, runaway recursion) fails with a library error instead of
// exhausting the machine. Shared by a context and all its clones.
struct MemoryBudget
{
    explicit MemoryBudget(size_t ceilingBytes)
        : ceiling(ceilingBytes)
    {
    }

    const size_t ceiling;
    std::atomic<size_t> used{0};
    std::atomic<size_t> peak{0};
    std::atomic<quint64> refusals{0};
};

// One library context with its allocator budget. The base context may only be used by the
// thread holding mutex(); work off that lock runs on a clone. Shared by a document and its
// pages, so a page outliving its document can still release its library objects.
class Context final
{
public:
    static constexpr size_t DefaultMemoryCeiling = size_t(1) << 30;
    static constexpr size_t StoreLimit = 256u << 20;

    explicit Context(size_t memoryCeiling = DefaultMemoryCeiling);
    ~Context();
    Q_DISABLE_COPY_MOVE(Context)

    bool isNull() const { return m_context == nullptr; }
    // Only under mutex().
    fz_context *get() const { return m_context; }
    QRecursiveMutex &mutex() const { return m_mutex; }
    // A clone for use on the calling thread without the mutex; release with fz_drop_context.
    // Null when the clone cannot be made.
    fz_context *clone() const;

    const MemoryBudget &budget() const { return m_budget; }
    TextPageRegistry &textPages() { return m_textPages; }

private:
    TextPageRegistry m_textPages;
    MemoryBudget m_budget;
    fz_context *m_context = nullptr;
    mutable QRecursiveMutex m_mutex;
};

} // namespace Backend::MuPDF
