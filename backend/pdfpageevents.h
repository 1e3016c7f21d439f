#pragma once

#include <backend/link.h>

#include <QEvent>
#include <QImage>
#include <QList>
#include <QRect>
#include <QSharedPointer>

namespace Backend {

// Posted to a listener when an asynchronous page render has finished.
class PDFPageRenderedEvent final : public QEvent
{
public:
    PDFPageRenderedEvent(double xres, double yres, const QRect &renderBox, const QImage &image);

    static QEvent::Type eventType();

    double xres() const { return m_xres; }
    double yres() const { return m_yres; }
    QRect renderBox() const { return m_renderBox; }
    QImage image() const { return m_image; }

private:
    double m_xres;
    double m_yres;
    QRect m_renderBox;
    QImage m_image;
};

// Posted to a listener when the links of a page have been loaded.
class PDFLinksLoadedEvent final : public QEvent
{
public:
    explicit PDFLinksLoadedEvent(const QList<QSharedPointer<PdfAnnotation::Link>> &links);

    static QEvent::Type eventType();

    QList<QSharedPointer<PdfAnnotation::Link>> links() const { return m_links; }

private:
    QList<QSharedPointer<PdfAnnotation::Link>> m_links;
};

} // namespace Backend
