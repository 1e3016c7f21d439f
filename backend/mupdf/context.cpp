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
        for (int spins = 0; m_locked.exchange(true, std::memory_order_acquire); ) {
            while (m_locked.load(std::memory_order_relaxed)) {
                if (++spins < 64) {
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

    std::atomic<bool> m_locked{false};
};

// The process-wide locks the library asks for (allocator, font engine, glyph cache).
SpinLock s_locks[FZ_LOCK_MAX];

void lockCallback(void *, int lock)
{
    s_locks[lock].lock();
}

void unlockCallback(void *, int lock)
{
    s_locks[lock].unlock();
}

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
    while (now > peak && !budget->peak.compare_exchange_weak(peak, now)) {
    }
    return true;
}

void *budgetMalloc(void *user, size_t size)
{
    auto *budget = static_cast<MemoryBudget *>(user);
    if (size > budget->ceiling) {
        ++budget->refusals;
        return nullptr;
    }
    if (!reserve(budget, size)) {
        return nullptr;
    }
    auto *block = static_cast<unsigned char *>(std::malloc(size + HeaderSize));
    if (!block) {
        budget->used.fetch_sub(size);
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
    auto *budget = static_cast<MemoryBudget *>(user);
    unsigned char *block = static_cast<unsigned char *>(pointer) - HeaderSize;
    budget->used.fetch_sub(*reinterpret_cast<size_t *>(block));
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
    auto *budget = static_cast<MemoryBudget *>(user);
    unsigned char *block = static_cast<unsigned char *>(old) - HeaderSize;
    const size_t oldSize = *reinterpret_cast<size_t *>(block);
    if (size > budget->ceiling) {
        ++budget->refusals;
        return nullptr;
    }
    if (size > oldSize && !reserve(budget, size - oldSize)) {
        return nullptr;
    }
    auto *grown = static_cast<unsigned char *>(std::realloc(block, size + HeaderSize));
    if (!grown) {
        if (size > oldSize) {
            budget->used.fetch_sub(size - oldSize);
        }
        return nullptr;
    }
    if (size < oldSize) {
        budget->used.fetch_sub(oldSize - size);
    }
    *reinterpret_cast<size_t *>(grown) = size;
    return grown + HeaderSize;
}

// The library's own diagnostics about damaged files are frequent and of no use to the user; they
// go to the debug channel, which the application log leaves out.
void libraryMessage(void *, const char *message)
{
    qDebug("mupdf: %s", message);
}

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

Context::Context(size_t memoryCeiling)
    : m_budget(memoryCeiling)
{
    const fz_alloc_context allocator{&m_budget, budgetMalloc, budgetRealloc, budgetFree};
    const fz_locks_context locks{nullptr, lockCallback, unlockCallback};
    m_context = fz_new_context(&allocator, &locks, StoreLimit);
    if (m_context) {
        fz_set_error_callback(m_context, libraryMessage, nullptr);
        fz_set_warning_callback(m_context, libraryMessage, nullptr);
        fz_try(m_context)
        {
            fz_register_document_handlers(m_context);
        }
        fz_catch(m_context)
        {
            fz_drop_context(m_context);
            m_context = nullptr;
        }
    }
}

struct Context::Replica
{
    QMutex mutex;
    fz_context *context = nullptr;
    fz_document *document = nullptr;
};

Context::~Context()
{
    dropReplicas();
    QMutexLocker locker(&m_mutex);
    fz_drop_context(m_context);
}

void Context::setDocument(fz_document *document, const QString &fileName, const QString &password,
                          bool replicable)
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
    QMutexLocker locker(&m_replicasMutex);
    for (auto &slot : m_replicas) {
        Replica *replica = slot.exchange(nullptr);
        if (replica) {
            fz_drop_document(replica->context, replica->document);
            fz_drop_context(replica->context);
            delete replica;
        }
    }
    m_replicaCount = 0;
}

int Context::replicaCount() const
{
    return m_replicaCount.load();
}

Context::Replica *Context::openReplica(int *slot)
{
    QMutexLocker locker(&m_replicasMutex);
    const int index = m_replicaCount.load();
    *slot = index;
    if (!m_replicable || index >= m_replicaLimit) {
        return nullptr;
    }
    fz_context *ctx = clone();
    if (!ctx) {
        return nullptr;
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
        if (fz_needs_password(ctx, document) && !fz_authenticate_password(ctx, document, password.constData())) {
            ok = false;
        }
    }
    fz_catch(ctx)
    {
        ok = false;
    }
    if (!ok || !document) {
        // The file changed or went away since it was opened; the main document serves alone.
        fz_drop_document(ctx, document);
        fz_drop_context(ctx);
        m_replicable = false;
        return nullptr;
    }
    auto *replica = new Replica;
    replica->context = ctx;
    replica->document = document;
    replica->mutex.lock();
    m_replicas[index] = replica;
    m_replicaCount = index + 1;
    return replica;
}

Context::Lease Context::acquire(fz_document *document)
{
    if (document != m_document) {
        // A page left over from before a reload keeps to the document it came from.
        m_mutex.lock();
        return Lease{m_context, document, -1};
    }
    if (m_mutex.try_lock()) {
        return Lease{m_context, m_document, -1};
    }
    const int count = m_replicaCount.load();
    for (int i = 0; i < count; ++i) {
        Replica *replica = m_replicas[i].load();
        if (replica && replica->mutex.tryLock()) {
            return Lease{replica->context, replica->document, i};
        }
    }
    if (m_replicable && count < m_replicaLimit) {
        int slot = -1;
        if (Replica *replica = openReplica(&slot)) {
            return Lease{replica->context, replica->document, slot};
        }
    }
    m_mutex.lock();
    return Lease{m_context, m_document, -1};
}

void Context::release(const Lease &lease)
{
    if (lease.replica < 0) {
        m_mutex.unlock();
    } else if (Replica *replica = m_replicas[lease.replica].load()) {
        replica->mutex.unlock();
    }
}

fz_context *Context::clone() const
{
    // Cloning only reads the base context and takes the library's own locks, so it needs no mutex.
    return m_context ? fz_clone_context(m_context) : nullptr;
}

} // namespace Backend::MuPDF
