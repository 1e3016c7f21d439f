#include "framewarmup.h"

#include <QBackingStore>
#include <QEvent>
#include <QImage>
#include <QWidget>
#include <QWindow>

#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14; older kernels refuse it and the paint faults as before
#endif

namespace Nod::App {

FrameWarmUp::FrameWarmUp(QWidget *window)
    : m_window(window)
{
    if (m_window && m_window->windowHandle()) {
        m_window->windowHandle()->installEventFilter(this);
    } else {
        m_window = nullptr;
    }
}

FrameWarmUp::~FrameWarmUp() { finish(); }

bool FrameWarmUp::eventFilter(QObject *watched, QEvent *event)
{
    // The filter sees the exposure before the window paints for it.
    if (m_window && watched == m_window->windowHandle() && event->type() == QEvent::Expose
        && m_window->windowHandle()->isExposed()) {
        prepareFrame();
        finish();
    }
    return QObject::eventFilter(watched, event);
}

void FrameWarmUp::prepareFrame()
{
    QBackingStore *store = m_window->backingStore();
    if (!store || m_window->size().isEmpty()) {
        return;
    }
    // At the size the paint that follows gives it, so that the paint keeps this frame.
    store->resize(m_window->size());
    const auto *image = dynamic_cast<const QImage *>(store->paintDevice());
    if (!image || image->isNull()) {
        return;
    }
    const auto pageSize = static_cast<quintptr>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<quintptr>(image->constBits()) & ~(pageSize - 1);
    const auto end
        = reinterpret_cast<quintptr>(image->constBits()) + static_cast<quintptr>(image->sizeInBytes());
    // Leaves the contents as they are; a refusal leaves the pages to the paint.
    madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
}

void FrameWarmUp::finish()
{
    if (m_window && m_window->windowHandle()) {
        m_window->windowHandle()->removeEventFilter(this);
    }
    m_window = nullptr;
}

} // namespace Nod::App
