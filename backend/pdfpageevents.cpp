#include "pdfpageevents.h"

namespace Backend {

PDFPageRenderedEvent::PDFPageRenderedEvent(
    double xres, double yres, const QRect &renderBox, const QImage &image)
    : QEvent(eventType())
    , m_xres(xres)
    , m_yres(yres)
    , m_renderBox(renderBox)
    , m_image(image)
{ }

QEvent::Type PDFPageRenderedEvent::eventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

PDFLinksLoadedEvent::PDFLinksLoadedEvent(const QList<QSharedPointer<PdfAnnotation::Link>> &links)
    : QEvent(eventType())
    , m_links(links)
{ }

QEvent::Type PDFLinksLoadedEvent::eventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace Backend
