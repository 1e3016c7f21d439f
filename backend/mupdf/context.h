#pragma once

#include <QMutex>
#include <QRecursiveMutex>
#include <QSharedPointer>
#include <QVector>
#include <QWeakPointer>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <deque>
#include <memory>

struct fz_context;
struct fz_document;

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
    { }

    const size_t ceiling;
    std::atomic<size_t> used { 0 };
    std::atomic<size_t> peak { 0 };
    std::atomic<quint64> refusals { 0 };
};

// One context family's draw on a MemoryBudget. Its allocations are settled against a local credit,
// taken from the budget and given back in steps, so that families working on different cores do
// not contend for the budget's counters on every allocation. The budget counts the credit as used.
struct BudgetShare
{
    explicit BudgetShare(MemoryBudget *shared)
        : budget(shared)
    { }
    ~BudgetShare() { budget->used.fetch_sub(credit.load()); }
    Q_DISABLE_COPY_MOVE(BudgetShare)

    MemoryBudget *const budget;
    alignas(64) std::atomic<size_t> credit { 0 };
};

// The library's state for one document: a context family (a base context and its clones, sharing
// store, glyph cache and locks) with its allocator budget. The base context may only be used by
// the thread holding mutex(); work off that lock runs on a clone. Shared by a document and its
// pages, so a page outliving its document can still release its library objects.
//
// A library document serves one thread at a time, and threads of one family still meet on its
// locks for every allocation and glyph. So that renders and text extraction of different pages of
// one PDF proceed in parallel, the context lends further copies of the document (replicas, opened
// on demand, one per extra core), each in a family of its own, to threads that find the main one
// busy or its family drawing. All families draw on the one budget.
class Context final
{
public:
    // A replica: a library document in a context family of its own. Objects made in a family are
    // released in that family, so whatever keeps such objects keeps the family.
    struct Family;
    using FamilyPointer = QSharedPointer<Family>;

    // Exclusive use of a library document and a context for it, until released.
    struct Lease
    {
        fz_context *context = nullptr;
        fz_document *document = nullptr;
        FamilyPointer family; // null: the main document, under mutex()
    };

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
    // The same for a family (null: the main one).
    fz_context *clone(const FamilyPointer &family) const;

    const MemoryBudget &budget() const { return m_budget; }
    TextPageRegistry &textPages() { return m_textPages; }

    // Sets the document that leases lend and what replicas are opened from; replicas are only made
    // for a PDF (a reflowed document would be laid out again). Drops the replicas made so far.
    // Needs the document lock for writing, so that no lease is out.
    void setDocument(
        fz_document *document, const QString &fileName, const QString &password, bool replicable);
    // A library document showing the same file as the given one, which is the main document or
    // an older one a page still holds. Needs the document lock for reading. Prefers a document
    // whose family no thread is drawing in, then any free one; falls back to waiting for the main
    // document.
    Lease acquire(fz_document *document);
    void release(const Lease &lease);
    // A clone of the lease's family for drawing what was recorded under the lease, on the calling
    // thread after the lease is released; null when it cannot be made. Until endDrawing, other
    // threads are steered to other families, so that two threads do not meet on one family's
    // locks for every allocation and glyph. Call while the lease is held.
    fz_context *beginDrawing(const Lease &lease);
    void endDrawing(const FamilyPointer &family, fz_context *clone);
    int replicaCount() const;

private:
    struct LockTable;
    static constexpr int MaxReplicas = 3;

    FamilyPointer openReplica();
    void dropReplicas();

    TextPageRegistry m_textPages;
    fz_document *m_document = nullptr; // not owned
    QString m_fileName;
    QString m_password;
    bool m_replicable = false;
    int m_replicaLimit = 0;
    QVector<FamilyPointer> m_replicas; // guarded by m_replicasMutex
    std::atomic<int> m_replicaCount { 0 };
    std::atomic<int> m_drawing { 0 }; // threads drawing in the main family
    std::atomic<Qt::HANDLE> m_lastThread { nullptr }; // the thread that leased the main document last
    mutable QMutex m_replicasMutex;
    MemoryBudget m_budget;
    BudgetShare m_share { &m_budget }; // the main family's
    std::unique_ptr<LockTable> m_locks;
    fz_context *m_context = nullptr;
    mutable QRecursiveMutex m_mutex;
};

// Where an internal link or outline entry leads: a zero-based page, -1 when it leads nowhere the
// document knows, and a point on that page. Library errors are caught and give -1.
struct LinkTarget
{
    int page = -1;
    float x = 0;
    float y = 0;
};
LinkTarget resolveLinkTarget(fz_context *ctx, fz_document *doc, const char *uri);

} // namespace Backend::MuPDF
