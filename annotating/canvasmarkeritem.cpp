#include "canvasmarkeritem.h"

#include "rectgripkit.h"

#include <QtMath>

namespace Nod::Presentation {

namespace {

// Equal under the 1e-12 relative comparison: |a - b| * 1e12 <= min(|a|, |b|).
bool fuzzyEqual(qreal a, qreal b) { return qAbs(a - b) * 1e12 <= qMin(qAbs(a), qAbs(b)) || a == b; }

bool sameRect(const QRectF &a, const QRectF &b)
{
    return fuzzyEqual(a.x(), b.x()) && fuzzyEqual(a.y(), b.y()) && fuzzyEqual(a.width(), b.width())
        && fuzzyEqual(a.height(), b.height());
}

} // namespace

CanvasMarkerItem::CanvasMarkerItem(QGraphicsItem *parent)
    : CompositeMarkerItem(parent)
{ }

void CanvasMarkerItem::setRect(const QRectF &rect)
{
    if (!rect.isValid() || sameRect(rect, m_rect)) {
        return;
    }
    prepareGeometryChange();
    m_rect = rect;
    invalidateShape();
    update();
    emit shapeChanged();
}

QPointF CanvasMarkerItem::anchor() const { return m_rect.bottomRight(); }

void CanvasMarkerItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *widget)
{
    painter->save();
    painter->setCompositionMode(isHovered() ? QPainter::CompositionMode_Difference : compositionMode(widget));
    painter->setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::lightGray);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(m_rect);
    painter->restore();
}

Gripkit *CanvasMarkerItem::createGripkit()
{
    auto *kit = new RectGripkit(this);
    kit->setColor(Qt::black);
    kit->setRect(m_rect);
    connect(this, &MarkerItem::shapeChanged, kit, [this, kit] { kit->setRect(m_rect); });
    connect(kit, &Gripkit::gripReleased, this, [this, kit] {
        setRect(kit->rect());
        kit->setRect(m_rect);
    });
    return kit;
}

} // namespace Nod::Presentation
