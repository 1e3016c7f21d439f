#include "framewarmup.h"

#include <domain/largepages.h>

#include <QBackingStore>
#include <QEvent>
#include <QImage>
#include <QWidget>
#include <QWindow>

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
    // Leaves the contents as they are; a refusal leaves the pages to the paint.
    Domain::LargePages::populate(
        const_cast<uchar *>(image->constBits()), static_cast<std::size_t>(image->sizeInBytes()));
}

void FrameWarmUp::finish()
{
    if (m_window && m_window->windowHandle()) {
        m_window->windowHandle()->removeEventFilter(this);
    }
    m_window = nullptr;
}

} // namespace Nod::App
