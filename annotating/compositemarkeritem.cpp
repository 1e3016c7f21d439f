#include "compositemarkeritem.h"

namespace Nod::Presentation {

CompositeMarkerItem::CompositeMarkerItem(QGraphicsItem *parent)
    : MarkerItem(parent)
{ }

CompositeMarkerItem::~CompositeMarkerItem()
{
    // The children outlive this part of the object; they must not report back into it.
    for (MarkerItem *child : qAsConst(m_children)) {
        disconnect(child, nullptr, this, nullptr);
    }
}

int CompositeMarkerItem::indexOf(const MarkerItem *child) const
{
    for (int i = 0; i < m_children.size(); ++i) {
        if (m_children[i] == child) {
            return i;
        }
    }
    return -1;
}

void CompositeMarkerItem::insertChild(int index, MarkerItem *child)
{
    if (!child || child == this || indexOf(child) >= 0) {
        return;
    }
    child->setParentItem(this);
    m_children.insert(qBound(0, index, m_children.size()), child);
    connect(child, &QObject::destroyed, this, &CompositeMarkerItem::forget);
}

void CompositeMarkerItem::forget(QObject *child)
{
    for (int i = m_children.size() - 1; i >= 0; --i) {
        if (static_cast<QObject *>(m_children[i]) == child) {
            m_children.remove(i);
        }
    }
}

} // namespace Nod::Presentation
