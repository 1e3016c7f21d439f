#include "annonodeitem.h"

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>

namespace Nod::Presentation {

AnnoNodeItem::AnnoNodeItem(int annotationId, MarkerItem *canvas, NoteItem *note, QGraphicsItem *parent)
    : MindNodeItem(parent)
    , m_annotationId(annotationId)
    , m_canvas(canvas)
    , m_note(note)
{
    Q_ASSERT(canvas && note);
    m_canvas->setParentItem(this);
    m_canvas->setFlag(ItemIsSelectable, false);
    m_note->setParentItem(this);
    connect(m_canvas, &MarkerItem::shapeChanged, this, &AnnoNodeItem::arrange);
    connect(m_note, &NoteItem::heightChanged, this, &AnnoNodeItem::arrange);
    arrange();
}

QRectF AnnoNodeItem::canvasRect() const { return m_canvas->mapRectToParent(m_canvas->boundingRect()); }

QColor AnnoNodeItem::color() const
{
    QColor c = m_canvas->color();
    c.setAlpha(255);
    return c;
}

void AnnoNodeItem::setExcerpt(const QImage &image)
{
    m_excerpt = image;
    m_excerptAsked = false;
    update();
}

void AnnoNodeItem::clearExcerpt()
{
    m_excerpt = QImage();
    m_excerptAsked = false;
}

void AnnoNodeItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const QRectF area = canvasRect();
    const qreal scale = QStyleOptionGraphicsItem::levelOfDetailFromTransform(painter->worldTransform());
    if (scale >= readableScale && !m_excerpt.isNull()) {
        painter->drawImage(area, m_excerpt);
        return;
    }
    painter->fillRect(area, QColor(236, 236, 236));
    if (scale >= readableScale && !m_excerptAsked) {
        m_excerptAsked = true;
        emit excerptNeeded(m_annotationId);
    }
}

void AnnoNodeItem::arrange()
{
    prepareGeometryChange();
    const QRectF area = canvasRect();
    m_note->setPos(area.bottomLeft());
    m_note->setTextWidth(std::max<qreal>(200, area.width()));
    QRectF rect = area;
    const QRectF noteRect = m_note->boundingRect();
    rect.setHeight(rect.height() + noteRect.height());
    rect.setWidth(std::max(rect.width(), noteRect.width()));
    m_rect = rect;
    updateGeometry();
}

} // namespace Nod::Presentation
