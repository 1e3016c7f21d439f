#include "annonodeitem.h"

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>

#include <QGraphicsSceneMouseEvent>
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
    // Answered: nothing more is asked until the image is dropped or made stale.
    m_excerptAsked = true;
    update();
}

void AnnoNodeItem::clearExcerpt()
{
    m_excerpt = QImage();
    m_excerptAsked = false;
}

void AnnoNodeItem::invalidateExcerpt() { m_excerptAsked = false; }

void AnnoNodeItem::setLowDetail(bool low)
{
    if (m_lowDetail != low) {
        m_lowDetail = low;
        m_note->setVisible(!low);
        update();
    }
}

void AnnoNodeItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    const QRectF area = canvasRect();
    if (m_lowDetail) {
        painter->fillRect(m_note->mapRectToParent(m_note->boundingRect()), QColor(250, 250, 250));
    }
    const qreal scale = QStyleOptionGraphicsItem::levelOfDetailFromTransform(painter->worldTransform());
    if (scale >= readableScale && !m_excerpt.isNull()) {
        painter->drawImage(area, m_excerpt);
        if (!m_excerptAsked) {
            // A stale image stays until its sharper replacement arrives.
            m_excerptAsked = true;
            emit excerptNeeded(m_annotationId);
        }
        return;
    }
    painter->fillRect(area, QColor(236, 236, 236));
    if (scale >= readableScale && !m_excerptAsked) {
        m_excerptAsked = true;
        emit excerptNeeded(m_annotationId);
    }
}

void AnnoNodeItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event)
{
    event->accept();
    emit toggleViewRequested();
}

void AnnoNodeItem::arrange()
{
    prepareGeometryChange();
    const QRectF area = canvasRect();
    m_note->setPos(area.bottomLeft());
    m_note->setNoteWidth(std::max<qreal>(200, area.width()));
    QRectF rect = area;
    const QRectF noteRect = m_note->boundingRect();
    rect.setHeight(rect.height() + noteRect.height());
    rect.setWidth(std::max(rect.width(), noteRect.width()));
    m_rect = rect;
    updateGeometry();
}

} // namespace Nod::Presentation
