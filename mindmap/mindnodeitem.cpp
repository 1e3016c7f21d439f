#include "mindnodeitem.h"

#include "mindlineitem.h"
#include "mindnodecollapser.h"

#include <QApplication>
#include <QGraphicsSceneMouseEvent>
#include <QMetaObject>

#include <algorithm>

namespace Nod::Presentation {

namespace {

// Where the lines to the children start: the right edge of the fold button, in the node.
QPointF lineStart(const MindNodeCollapser *collapser) { return collapser->pos() + QPointF(8.5, 0); }

} // namespace

MindNodeItem::MindNodeItem(QGraphicsItem *parent)
    : QGraphicsObject(parent)
    , m_collapser(new MindNodeCollapser(this))
{
    setFlag(ItemIsMovable);
    setFlag(ItemIsSelectable);
    setAcceptDrops(true);
    m_collapser->hide();
}

MindNodeItem::~MindNodeItem()
{
    // The children go with this item; they must not reach back into a node being destroyed.
    for (MindNodeItem *child : qAsConst(m_children)) {
        child->m_parentNode = nullptr;
    }
    if (m_parentNode) {
        const int index = m_parentNode->indexOf(this);
        if (index >= 0) {
            m_parentNode->m_children.remove(index);
            delete m_parentNode->m_lines.takeAt(index);
            if (m_parentNode->m_children.isEmpty()) {
                m_parentNode->m_collapser->hide();
            }
            m_parentNode->requestLayout();
        }
    }
}

QColor MindNodeItem::color() const { return QColor(Qt::black); }

int MindNodeItem::indexOf(const MindNodeItem *child) const
{
    return m_children.indexOf(const_cast<MindNodeItem *>(child));
}

void MindNodeItem::insertChild(int index, MindNodeItem *child)
{
    if (!child || child == this || child->m_parentNode) {
        return;
    }
    index = std::clamp(index, 0, int(m_children.size()));
    child->setParentItem(this);
    child->m_parentNode = this;
    auto *line = new MindLineItem(this);
    line->setColor(child->color());
    line->setStartPoint(lineStart(m_collapser));
    m_children.insert(index, child);
    m_lines.insert(index, line);
    if (m_folded) {
        setFolded(false);
    }
    child->setVisible(true);
    m_collapser->show();
    requestLayout();
}

MindNodeItem *MindNodeItem::takeChild(int index)
{
    if (index < 0 || index >= m_children.size()) {
        return nullptr;
    }
    MindNodeItem *child = m_children.takeAt(index);
    delete m_lines.takeAt(index);
    child->m_parentNode = nullptr;
    child->setParentItem(nullptr);
    if (m_children.isEmpty()) {
        m_collapser->hide();
    }
    requestLayout();
    return child;
}

void MindNodeItem::setFolded(bool folded)
{
    if (m_folded == folded) {
        return;
    }
    m_folded = folded;
    for (MindNodeItem *child : qAsConst(m_children)) {
        child->setVisible(!folded);
    }
    for (MindLineItem *line : qAsConst(m_lines)) {
        line->setVisible(!folded);
    }
    m_collapser->setFolded(folded);
    requestLayout();
    emit foldedChanged(folded);
}

void MindNodeItem::setHorizontalGap(qreal gap)
{
    if (!qFuzzyCompare(m_horizontalGap, gap)) {
        m_horizontalGap = gap;
        requestLayout();
    }
}

qreal MindNodeItem::blockHeight() const
{
    return std::max(m_folded ? 0.0 : m_subtreeHeight, boundingRect().height());
}

void MindNodeItem::requestLayout()
{
    MindNodeItem *top = this;
    for (MindNodeItem *node = this; node; node = node->m_parentNode) {
        node->m_dirty = true;
        top = node;
    }
    if (top->m_suspended || top->m_passScheduled) {
        return;
    }
    top->m_passScheduled = true;
    // Bound to the top node: a pass still queued when it is deleted is dropped with it.
    QMetaObject::invokeMethod(
        top,
        [top] {
            top->m_passScheduled = false;
            top->runPass();
        },
        Qt::QueuedConnection);
}

void MindNodeItem::flushLayout() { topNode()->layoutBranch(); }

void MindNodeItem::setLayoutSuspended(bool suspended)
{
    MindNodeItem *top = topNode();
    if (top->m_suspended == suspended) {
        return;
    }
    top->m_suspended = suspended;
    if (!suspended) {
        top->layoutBranch();
    }
}

void MindNodeItem::setDragged(bool dragged)
{
    if (m_dragged == dragged) {
        return;
    }
    m_dragged = dragged;
    if (m_folded) {
        return;
    }
    for (MindNodeItem *child : qAsConst(m_children)) {
        child->setVisible(!dragged);
    }
    for (MindLineItem *line : qAsConst(m_lines)) {
        line->setVisible(!dragged);
    }
}

void MindNodeItem::updateLineTo(MindNodeItem *child)
{
    const int index = indexOf(child);
    if (index < 0) {
        return;
    }
    const QRectF rect = child->boundingRect();
    m_lines.at(index)->setEndPoint(child->pos() + QPointF(rect.left(), rect.center().y()));
}

void MindNodeItem::mouseMoveEvent(QGraphicsSceneMouseEvent *event)
{
    // Nodes are never moved by hand: a drag proposes a new place in the tree instead.
    event->accept();
    if (!(event->buttons() & Qt::LeftButton) || m_dragged || !isDraggable()) {
        return;
    }
    const QPoint moved = event->screenPos() - event->buttonDownScreenPos(Qt::LeftButton);
    if (moved.manhattanLength() < QApplication::startDragDistance()) {
        return;
    }
    // The drag runs its own event loop; nothing of this node is touched after it.
    emit dragRequested(event->scenePos(), event->widget());
}

void MindNodeItem::updateGeometry()
{
    const QRectF rect = boundingRect();
    m_collapser->setPos(rect.right() + 2 + 8.5, rect.center().y());
    const QPointF start = lineStart(m_collapser);
    for (MindLineItem *line : qAsConst(m_lines)) {
        line->setStartPoint(start);
    }
    requestLayout();
}

MindNodeItem *MindNodeItem::topNode()
{
    MindNodeItem *top = this;
    while (top->m_parentNode) {
        top = top->m_parentNode;
    }
    return top;
}

void MindNodeItem::runPass()
{
    // The node may have been put under another one since the pass was scheduled.
    MindNodeItem *top = topNode();
    if (!top->m_suspended) {
        top->layoutBranch();
    }
}

void MindNodeItem::layoutBranch()
{
    if (!m_dirty) {
        return;
    }
    // Children first: a parent's column depends on their subtree heights.
    for (MindNodeItem *child : qAsConst(m_children)) {
        child->layoutBranch();
    }
    placeChildren();
    m_dirty = false;
}

void MindNodeItem::placeChildren()
{
    if (m_children.isEmpty()) {
        m_subtreeHeight = 0;
        return;
    }
    QVector<qreal> offsets;
    offsets.reserve(m_children.size());
    qreal total = 0;
    for (const MindNodeItem *child : qAsConst(m_children)) {
        offsets.append(total);
        total += m_verticalGap + child->blockHeight();
    }
    m_subtreeHeight = total - m_verticalGap;

    const QRectF rect = boundingRect();
    const qreal half = m_subtreeHeight / 2;
    const qreal x0 = rect.right() + m_horizontalGap;
    const qreal cy = rect.center().y();
    for (int i = 0; i < m_children.size(); ++i) {
        MindNodeItem *child = m_children.at(i);
        const QRectF childRect = child->boundingRect();
        // A child with a taller subtree than itself sits in front of that subtree's middle.
        const qreal y
            = offsets.at(i) + cy - half - childRect.top() + (child->blockHeight() - childRect.height()) / 2;
        child->setPos(x0 - childRect.left(), y);
        MindLineItem *line = m_lines.at(i);
        line->setColor(child->color());
        line->setEndPoint(child->pos() + QPointF(childRect.left(), childRect.center().y()));
    }
}

} // namespace Nod::Presentation
