#include "basepage.h"

#include <annotating/notearealayout.h>
#include <backend/document.h>
#include <backend/page.h>

namespace Base {

Page::Page(const QWeakPointer<Backend::Page> &page, int pageNumber, double resolutionX, double resolutionY,
    const QSizeF &fallbackSize, QGraphicsItem *parent)
    : QGraphicsObject(parent)
    , m_page(page)
    , m_dpiX(resolutionX)
    , m_dpiY(resolutionY)
    , m_pointScale(QTransform::fromScale(resolutionX / 72.0, resolutionY / 72.0))
{
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
    m_pageNumber = pageNumber;
    const QSharedPointer<Backend::Page> backendPage = page.toStrongRef();
    const QSizeF points = backendPage ? backendPage->pageSize() : fallbackSize;
    m_pageSize = QSizeF(points.width() * resolutionX / 72.0, points.height() * resolutionY / 72.0);
}

Page::Page(const QSharedPointer<Backend::Document> &document, int pageNumber, double resolutionX,
    double resolutionY, const QSizeF &size, QGraphicsItem *parent)
    : QGraphicsObject(parent)
    , m_document(document)
    , m_dpiX(resolutionX)
    , m_dpiY(resolutionY)
    , m_pointScale(QTransform::fromScale(resolutionX / 72.0, resolutionY / 72.0))
    , m_pageSize(size.width() * resolutionX / 72.0, size.height() * resolutionY / 72.0)
    , m_pageNumber(pageNumber)
{
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption);
}

QWeakPointer<Backend::Page> Page::page() const
{
    if (!m_pageRequested && !m_page) {
        // One try: a page the back-end cannot load stays blank rather than retried on every paint.
        m_pageRequested = true;
        if (const QSharedPointer<Backend::Document> document = m_document.toStrongRef()) {
            m_page = document->pageAt(m_pageNumber);
        }
    }
    return m_page;
}

double Page::noteAreaWidth() const { return m_pageSize.width() * 0.3 / 0.7; }

QRectF Page::boundingRect() const
{
    const double area = noteAreaWidth();
    QRectF rect = pageRect();
    switch (m_noteAreaMode) {
    case RightNoteArea:
        rect.setRight(rect.right() + area);
        break;
    case LeftNoteArea:
        rect.setLeft(rect.left() - area);
        break;
    case BothNoteAreas:
        rect.setLeft(rect.left() - area / 2);
        rect.setRight(rect.right() + area / 2);
        break;
    default:
        break;
    }
    return rect;
}

void Page::setNoteAreaMode(int mode)
{
    if (mode < NoNoteArea || mode > BothNoteAreas || mode == m_noteAreaMode) {
        return;
    }
    prepareGeometryChange();
    m_noteAreaMode = mode;
}

Nod::Presentation::NoteAreaLayout *Page::createNoteAreaLayout()
{
    return Nod::Presentation::NoteAreaLayout::create(m_noteAreaMode, this, m_pageSize.width());
}

} // namespace Base
