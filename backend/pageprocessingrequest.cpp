#include "pageprocessingrequest.h"

#include <backend/page.h>
#include <backend/pdfpageevents.h>

#include <QCoreApplication>

namespace Backend {

PageProcessingRequest::PageProcessingRequest(const QSharedPointer<Page> &page, QObject *listener)
    : m_page(page)
    , m_listener(listener)
{ }

bool PageProcessingRequest::isEqual(const PageProcessingRequest &other) const
{
    return type() == other.type() && m_page == other.m_page;
}

void PageProcessingRequest::post(QEvent *event) const
{
    if (QObject *listener = m_listener.data()) {
        QCoreApplication::postEvent(listener, event);
    } else {
        delete event;
    }
}

PageProcessingRenderPageRequest::PageProcessingRenderPageRequest(const QSharedPointer<Page> &page,
    QObject *listener, double xres, double yres, const QRect &renderBox, bool cache)
    : PageProcessingRequest(page, listener)
    , m_xres(xres)
    , m_yres(yres)
    , m_renderBox(renderBox)
    , m_cache(cache)
{ }

bool PageProcessingRenderPageRequest::execute()
{
    const QImage image = page()->renderImage(m_xres, m_yres, m_renderBox, m_cache);
    post(new PDFPageRenderedEvent(m_xres, m_yres, m_renderBox, image));
    return !image.isNull();
}

bool PageProcessingRenderPageRequest::isEqual(const PageProcessingRequest &other) const
{
    if (!PageProcessingRequest::isEqual(other)) {
        return false;
    }
    const auto &render = static_cast<const PageProcessingRenderPageRequest &>(other);
    return m_xres == render.m_xres && m_yres == render.m_yres && m_renderBox == render.m_renderBox
        && m_cache == render.m_cache;
}

bool PageProcessingLoadLinksRequest::execute()
{
    post(new PDFLinksLoadedEvent(page()->loadLinks()));
    return true;
}

} // namespace Backend
