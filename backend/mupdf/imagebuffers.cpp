#include "imagebuffers.h"

#include <domain/largepages.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace Backend::MuPDF::ImageBuffers {

namespace {

constexpr size_t PoolLimitBytes = 96u << 20;
constexpr size_t MaxBuffers = 8;
// The header keeps the pixel data 64-byte aligned.
constexpr size_t HeaderSize = 64;

struct Pool
{
    std::mutex mutex;
    std::vector<unsigned char *> free; // most recently released last
    size_t freeBytes = 0;
};

Pool &pool()
{
    // Never destroyed: pixmaps made from page images keep their buffers, and the caches holding
    // them may be torn down after any static of this file at exit.
    static Pool *instance = new Pool;
    return *instance;
}

size_t &sizeOf(unsigned char *block) { return *reinterpret_cast<size_t *>(block); }

// The length of the block's own mapping; 0 for a block from the heap.
size_t &mappedLengthOf(unsigned char *block) { return reinterpret_cast<size_t *>(block)[1]; }

void dispose(unsigned char *block)
{
    if (const size_t mapped = mappedLengthOf(block)) {
        Nod::Domain::LargePages::unmap(block, mapped);
    } else {
        std::free(block);
    }
}

void release(void *info)
{
    auto *block = static_cast<unsigned char *>(info);
    const size_t bytes = sizeOf(block);
    Pool &p = pool();
    std::lock_guard<std::mutex> locker(p.mutex);
    if (bytes <= PoolLimitBytes) {
        while (!p.free.empty() && (p.free.size() >= MaxBuffers || p.freeBytes + bytes > PoolLimitBytes)) {
            unsigned char *oldest = p.free.front();
            p.freeBytes -= sizeOf(oldest);
            dispose(oldest);
            p.free.erase(p.free.begin());
        }
        p.free.push_back(block);
        p.freeBytes += bytes;
        return;
    }
    dispose(block);
}

unsigned char *take(size_t bytes)
{
    Pool &p = pool();
    {
        std::lock_guard<std::mutex> locker(p.mutex);
        for (auto it = p.free.rbegin(); it != p.free.rend(); ++it) {
            if (sizeOf(*it) == bytes) {
                unsigned char *block = *it;
                p.free.erase(std::next(it).base());
                p.freeBytes -= bytes;
                return block;
            }
        }
    }
    // A fresh page image is first touched by the render that fills it: in small pages, a thousand
    // faults for a 4 MB image took longer than drawing the page; in large pages, two.
    size_t mapped = 0;
    auto *block = bytes + HeaderSize >= Nod::Domain::LargePages::kSize
        ? static_cast<unsigned char *>(Nod::Domain::LargePages::map(bytes + HeaderSize, &mapped))
        : nullptr;
    if (!block) {
        mapped = 0;
        block = static_cast<unsigned char *>(std::malloc(bytes + HeaderSize));
    }
    if (block) {
        sizeOf(block) = bytes;
        mappedLengthOf(block) = mapped;
    }
    return block;
}

} // namespace

QImage allocate(int width, int height)
{
    if (width <= 0 || height <= 0) {
        return {};
    }
    const size_t bytesPerLine = size_t(width) * 4;
    const size_t bytes = bytesPerLine * size_t(height);
    unsigned char *block = take(bytes);
    if (!block) {
        return {};
    }
    // The library draws premultiplied colour, and the renders are opaque: labelled so, the
    // interface thread turns them into pixmaps without converting (or even copying) them.
    return QImage(block + HeaderSize, width, height, static_cast<int>(bytesPerLine),
        QImage::Format_ARGB32_Premultiplied, release, block);
}

} // namespace Backend::MuPDF::ImageBuffers
