#pragma once

#include <QRecursiveMutex>
#include <QtGlobal>

#include <atomic>
#include <cstddef>

struct fz_context;

namespace Backend::MuPDF {

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

private:
    MemoryBudget m_budget;
    fz_context *m_context = nullptr;
    mutable QRecursiveMutex m_mutex;
};

} // namespace Backend::MuPDF
