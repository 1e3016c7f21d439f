#include "context.h"

#include <mupdf/fitz.h>

#include <QFile>
#include <QMutexLocker>
#include <QThread>

#include <cstdlib>
#include <thread>

namespace Backend::MuPDF {

namespace {

// The library takes its allocator lock for every allocation and reference count and its glyph
// cache lock for every glyph drawn, each for a few instructions. A sleeping mutex turns every
// collision between two render threads into a pair of system calls, which costs more than the
// work it guards, so the locks spin briefly before they yield.
class SpinLock final
{
public:
    void lock()
    {
        for (int spins = 0; m_locked.exchange(true, std::memory_order_acquire);) {
            while (m_locked.load(std::memory_order_relaxed)) {
                if (++spins < 2000) {
                    pause();
                } else {
                    std::this_thread::yield();
                }
            }
        }
    }

    void unlock() { m_locked.store(false, std::memory_order_release); }

private:
    static void pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    std::atomic<bool> m_locked { false };
};

void lockCallback(void *user, int lock) { static_cast<SpinLock *>(user)[lock].lock(); }

void unlockCallback(void *user, int lock) { static_cast<SpinLock *>(user)[lock].unlock(); }

// Each block carries its size in front, so that free and realloc can settle the budget.
constexpr size_t HeaderSize = 16;

bool reserve(MemoryBudget *budget, size_t bytes)
{
    const size_t now = budget->used.fetch_add(bytes) + bytes;
    if (now > budget->ceiling) {
        budget->used.fetch_sub(bytes);
        ++budget->refusals;
        return false;
    }
    size_t peak = budget->peak.load();
    while (now > peak && !budget->peak.compare_exchange_weak(peak, now)) { }
    return true;
}

// The step in which a family's credit is taken from and given back to the shared budget.
constexpr size_t CreditStep = size_t(1) << 20;

bool take(BudgetShare *share, size_t bytes)
{
    size_t credit = share->credit.load(std::memory_order_relaxed);
    while (credit >= bytes) {
        if (share->credit.compare_exchange_weak(credit, credit - bytes, std::memory_order_relaxed)) {
            return true;
        }
    }
    if (bytes < CreditStep && reserve(share->budget, bytes + CreditStep)) {
        share->credit.fetch_add(CreditStep, std::memory_order_relaxed);
        return true;
    }
    return reserve(share->budget, bytes);
}

void give(BudgetShare *share, size_t bytes)
{
    size_t credit = share->credit.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    // All but one step of a large credit goes back, so that other families can have it.
    while (credit > 2 * CreditStep) {
        if (share->credit.compare_exchange_weak(credit, CreditStep, std::memory_order_relaxed)) {
            share->budget->used.fetch_sub(credit - CreditStep);
            return;
        }
    }
}

void *budgetMalloc(void *user, size_t size)
{
    auto *share = static_cast<BudgetShare *>(user);
    if (size > share->budget->ceiling) {
        ++share->budget->refusals;
        return nullptr;
    }
    if (!take(share, size)) {
        return nullptr;
    }
    auto *block = static_cast<unsigned char *>(std::malloc(size + HeaderSize));
    if (!block) {
        give(share, size);
        return nullptr;
    }
    *reinterpret_cast<size_t *>(block) = size;
    return block + HeaderSize;
}

void budgetFree(void *user, void *pointer)
{
    if (!pointer) {
        return;
    }
    auto *share = static_cast<BudgetShare *>(user);
    unsigned char *block = static_cast<unsigned char *>(pointer) - HeaderSize;
    give(share, *reinterpret_cast<size_t *>(block));
    std::free(block);
}

void *budgetRealloc(void *user, void *old, size_t size)
{
    if (!old) {
        return budgetMalloc(user, size);
    }
    if (size == 0) {
        budgetFree(user, old);
        return nullptr;
    }
    auto *share = static_cast<BudgetShare *>(user);
    unsigned char *block = static_cast<unsigned char *>(old) - HeaderSize;
    const size_t oldSize = *reinterpret_cast<size_t *>(block);
    if (size > share->budget->ceiling) {
        ++share->budget->refusals;
        return nullptr;
    }
    if (size > oldSize && !take(share, size - oldSize)) {
        return nullptr;
    }
    auto *grown = static_cast<unsigned char *>(std::realloc(block, size + HeaderSize));
    if (!grown) {
        if (size > oldSize) {
            give(share, size - oldSize);
        }
        return nullptr;
    }
    if (size < oldSize) {
        give(share, oldSize - size);
    }
    *reinterpret_cast<size_t *>(grown) = size;
    return grown + HeaderSize;
}

// The library's own diagnostics about damaged files are frequent and of no use to the user; they
// go to the debug channel, which the application log leaves out.
void libraryMessage(void *, const char *message) { qDebug("mupdf: %s", message); }

} // namespace

QList<QSharedPointer<Backend::Page>> TextPageRegistry::add(const QWeakPointer<Backend::Page> &page)
{
    QList<QSharedPointer<Backend::Page>> victims;
    QMutexLocker locker(&m_mutex);
    m_pages.push_back(page);
    while (static_cast<int>(m_pages.size()) > m_limit) {
        QSharedPointer<Backend::Page> oldest = m_pages.front().toStrongRef();
        m_pages.pop_front();
        if (oldest) {
            victims.append(oldest);
        }
    }
    return victims;
}

void TextPageRegistry::keep(const QWeakPointer<Backend::Page> &page)
{
    QMutexLocker locker(&m_mutex);
    m_pages.push_front(page);
}

void TextPageRegistry::setLimit(int limit)
{
    QMutexLocker locker(&m_mutex);
    m_limit = qMax(1, limit);
}

int TextPageRegistry::count() const
{
    QMutexLocker locker(&m_mutex);
    return static_cast<int>(m_pages.size());
}

// The locks a context family asks for (allocator, font engine, glyph cache). Families share no
// library state, so each has its own.
struct Context::LockTable
{
    SpinLock locks[FZ_LOCK_MAX];
};

struct Context::Family
{
    explicit Family(MemoryBudget *budget)
        : share(budget)
    { }
    ~Family()
    {
        if (context) {
            fz_drop_document(context, document);
            fz_drop_context(context);
        }
    }
    Q_DISABLE_COPY_MOVE(Family)

    BudgetShare share;
    LockTable locks;
    QMutex mutex;
    std::atomic<int> drawing { 0 };
    std::atomic<Qt::HANDLE> lastThread { nullptr };
    fz_context *context = nullptr;
    fz_document *document = nullptr;
};

namespace {

fz_context *createContext(BudgetShare *share, SpinLock *locks)
{
    const fz_alloc_context allocator { share, budgetMalloc, budgetRealloc, budgetFree };
    const fz_locks_context lockCallbacks { locks, lockCallback, unlockCallback };
    fz_context *ctx = fz_new_context(&allocator, &lockCallbacks, Context::StoreLimit);
    if (!ctx) {
        return nullptr;
    }
    fz_set_error_callback(ctx, libraryMessage, nullptr);
    fz_set_warning_callback(ctx, libraryMessage, nullptr);
    bool ok = true;
    fz_var(ok);
    fz_try(ctx) { fz_register_document_handlers(ctx); }
    fz_catch(ctx) { ok = false; }
    if (!ok) {
        fz_drop_context(ctx);
        return nullptr;
    }
    return ctx;
}

} // namespace

Context::Context(size_t memoryCeiling)
    : m_budget(memoryCeiling)
    , m_locks(new LockTable)
{
    m_context = createContext(&m_share, m_locks->locks);
}

Context::~Context()
{
    dropReplicas();
    QMutexLocker locker(&m_mutex);
    fz_drop_context(m_context);
}

fz_context *Context::clone() const
{
    // Cloning only reads the base context and takes the library's own locks, so it needs no mutex.
    return m_context ? fz_clone_context(m_context) : nullptr;
}

fz_context *Context::clone(const FamilyPointer &family) const
{
    return family ? fz_clone_context(family->context) : clone();
}

void Context::setDocument(
    fz_document *document, const QString &fileName, const QString &password, bool replicable)
{
    dropReplicas();
    m_document = document;
    m_fileName = fileName;
    m_password = password;
    m_replicable = replicable && document;
    m_replicaLimit = qBound(0, QThread::idealThreadCount() - 1, MaxReplicas);
}

void Context::dropReplicas()
{
    // Families still holding objects of pages stay alive with those objects.
    QMutexLocker locker(&m_replicasMutex);
    m_replicas.clear();
    m_replicaCount = 0;
}

int Context::replicaCount() const { return m_replicaCount.load(); }

Context::FamilyPointer Context::openReplica()
{
    // Called with m_replicasMutex held.
    if (!m_replicable || m_replicas.size() >= m_replicaLimit) {
        return {};
    }
    FamilyPointer family(new Family(&m_budget));
    family->context = createContext(&family->share, family->locks.locks);
    fz_context *ctx = family->context;
    if (!ctx) {
        return {};
    }
    const QByteArray path = QFile::encodeName(m_fileName);
    const QByteArray password = m_password.toUtf8();
    fz_document *document = nullptr;
    bool ok = true;
    fz_var(document);
    fz_var(ok);
    fz_try(ctx)
    {
        document = fz_open_document(ctx, path.constData());
        if (fz_needs_password(ctx, document)
            && !fz_authenticate_password(ctx, document, password.constData())) {
            ok = false;
        }
    }
    fz_catch(ctx) { ok = false; }
    family->document = document;
    if (!ok || !document) {
        // The file changed or went away since it was opened; the main document serves alone.
        m_replicable = false;
        return {};
    }
    family->mutex.lock();
    m_replicas.append(family);
    m_replicaCount = m_replicas.size();
    return family;
}

Context::Lease Context::acquire(fz_document *document)
{
    if (document != m_document) {
        // A page left over from before a reload keeps to the document it came from.
        m_mutex.lock();
        return Lease { m_context, document, {} };
    }
    const Qt::HANDLE self = QThread::currentThreadId();
    const auto idle
        = [](const std::atomic<int> &drawing) { return drawing.load(std::memory_order_relaxed) == 0; };
    const auto mainLease = [&] {
        m_lastThread.store(self, std::memory_order_relaxed);
        return Lease { m_context, m_document, {} };
    };
    const auto replicaLease = [&](const FamilyPointer &family) {
        family->lastThread.store(self, std::memory_order_relaxed);
        return Lease { family->context, family->document, family };
    };
    // A thread recording a page goes on to draw it in the same family. Each thread keeps to the
    // family it used last, whose objects and glyphs are warm in its core's cache, and otherwise
    // takes a document whose family is idle, so that two threads do not meet on one family's locks.
    if (m_lastThread.load(std::memory_order_relaxed) == self && idle(m_drawing) && m_mutex.try_lock()) {
        return mainLease();
    }
    {
        QMutexLocker locker(&m_replicasMutex);
        for (const FamilyPointer &family : qAsConst(m_replicas)) {
            if (family->lastThread.load(std::memory_order_relaxed) == self && idle(family->drawing)
                && family->mutex.tryLock()) {
                return replicaLease(family);
            }
        }
    }
    if (idle(m_drawing) && m_mutex.try_lock()) {
        return mainLease();
    }
    {
        QMutexLocker locker(&m_replicasMutex);
        for (const FamilyPointer &family : qAsConst(m_replicas)) {
            if (idle(family->drawing) && family->mutex.tryLock()) {
                return replicaLease(family);
            }
        }
        if (FamilyPointer family = openReplica()) {
            return replicaLease(family);
        }
        if (m_mutex.try_lock()) {
            return mainLease();
        }
        for (const FamilyPointer &family : qAsConst(m_replicas)) {
            if (family->mutex.tryLock()) {
                return replicaLease(family);
            }
        }
    }
    m_mutex.lock();
    return mainLease();
}

fz_context *Context::beginDrawing(const Lease &lease)
{
    fz_context *ctx = clone(lease.family);
    if (ctx) {
        (lease.family ? lease.family->drawing : m_drawing).fetch_add(1, std::memory_order_relaxed);
    }
    return ctx;
}

void Context::endDrawing(const FamilyPointer &family, fz_context *clone)
{
    if (!clone) {
        return;
    }
    fz_drop_context(clone);
    (family ? family->drawing : m_drawing).fetch_sub(1, std::memory_order_relaxed);
}

void Context::release(const Lease &lease)
{
    if (lease.family) {
        lease.family->mutex.unlock();
    } else {
        m_mutex.unlock();
    }
}

LinkTarget resolveLinkTarget(fz_context *ctx, fz_document *doc, const char *uri)
{
    LinkTarget target;
    fz_var(target);
    fz_try(ctx)
    {
        const fz_location location = fz_resolve_link(ctx, doc, uri, &target.x, &target.y);
        target.page = location.page < 0 ? -1 : fz_page_number_from_location(ctx, doc, location);
    }
    fz_catch(ctx) { target.page = -1; }
    return target;
}

} // namespace Backend::MuPDF
