#include "page.h"

#include "summary.h"
#include "summarylayout.h"

namespace Reviewing {

Page::Page(const QSharedPointer<Backend::Document> &document, int pageNumber, double resolutionX,
    double resolutionY, const QSizeF &size, QGraphicsItem *parent)
    : Base::Page(document, pageNumber, resolutionX, resolutionY, size, parent)
{
    // The rows paint the page; the page itself shows nothing.
    setFlag(QGraphicsItem::ItemHasNoContents);
}

Page::~Page() = default;

QRectF Page::boundingRect() const
{
    QRectF rect = Base::Page::boundingRect();
    rect.setHeight(m_height);
    return rect;
}

void Page::paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) { }

SummaryLayout *Page::layout() const { return m_layout; }

QList<Summary *> Page::summaries() const { return m_layout ? m_layout->summaries() : QList<Summary *>(); }

Nod::Presentation::NoteAreaLayout *Page::createNoteAreaLayout()
{
    auto *layout = new SummaryLayout(this);
    connect(layout, &SummaryLayout::heightChanged, this, &Page::on_layout_heightChanged);
    m_layout = layout;
    return layout;
}

void Page::on_layout_heightChanged(double h)
{
    if (h == m_height) {
        return;
    }
    prepareGeometryChange();
    m_height = h;
    emit heightChanged(h);
}

void Page::on_imageReady()
{
    // The page has no contents of its own; its rows show the images.
    const QList<Summary *> rows = summaries();
    for (Summary *summary : rows) {
        summary->update();
    }
}

void Page::dropImages()
{
    const QList<Summary *> rows = summaries();
    for (Summary *summary : rows) {
        summary->dropImage();
    }
}

} // namespace Reviewing
