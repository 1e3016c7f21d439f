#pragma once

#include <QGraphicsObject>
#include <QVector>

namespace Nod::Presentation {

class MindLineItem;
class MindNodeCollapser;

// One node of the mind map: its children sit to its right, each joined to it by a curved line, and
// are laid out as a column centred on the node. Layout requests are merged: a request only marks the
// node and its ancestors dirty and schedules one pass for the whole tree on the event loop, which then
// re-lays only the dirty branches. A tree of any size is therefore built with one layout pass.
class MindNodeItem : public QGraphicsObject
{
    Q_OBJECT

public:
    enum { Type = UserType + 1000 };

    explicit MindNodeItem(QGraphicsItem *parent = nullptr);
    ~MindNodeItem() override;

    int type() const override { return Type; }

    // The colour of the line that leads to this node.
    virtual QColor color() const;

    MindNodeItem *parentNode() const { return m_parentNode; }
    const QVector<MindNodeItem *> &childNodes() const { return m_children; }
    const QVector<MindLineItem *> &lines() const { return m_lines; }
    int childCount() const { return m_children.size(); }
    MindNodeItem *childAt(int index) const { return m_children.value(index); }
    int indexOf(const MindNodeItem *child) const;
    MindNodeCollapser *collapser() const { return m_collapser; }

    // The child becomes a child item of this node; a folded node unfolds.
    void insertChild(int index, MindNodeItem *child);
    // The child is returned, not deleted; its line is.
    MindNodeItem *takeChild(int index);

    bool isFolded() const { return m_folded; }
    void setFolded(bool folded);

    qreal horizontalGap() const { return m_horizontalGap; }
    void setHorizontalGap(qreal gap);
    qreal verticalGap() const { return m_verticalGap; }
    // The height of the column of children, gaps included; 0 without children.
    qreal subtreeHeight() const { return m_subtreeHeight; }
    // The vertical room this node takes in its parent's column.
    qreal blockHeight() const;

    // Marks this branch for the next layout pass, which runs once control is back in the event loop.
    void requestLayout();
    // Runs the pending pass of the whole tree now (if any), so callers can read positions at once.
    void flushLayout();
    // While the top node is suspended no pass runs; resuming runs the pending one at once.
    void setLayoutSuspended(bool suspended);
    bool isLayoutPending() const { return m_dirty; }

    // Only nodes under another one can be dragged; the document stays where it is.
    virtual bool isDraggable() const { return m_parentNode != nullptr; }
    // While dragged, an unfolded node travels without its children and lines.
    void setDragged(bool dragged);
    bool isDragged() const { return m_dragged; }
    // Aims the line that leads to the child at the child's current place.
    void updateLineTo(MindNodeItem *child);

    QRectF boundingRect() const override = 0;

signals:
    void foldedChanged(bool folded);
    // The pointer moved the drag distance with the left button held; the scene runs the drag.
    void dragRequested(QPointF pointerScenePos, QWidget *source);

protected:
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;

    // Places the fold button beside the node and restarts the lines; call after the node's
    // bounding rectangle changed.
    void updateGeometry();

private:
    MindNodeItem *topNode();
    void runPass();
    void layoutBranch();
    void placeChildren();

    QVector<MindNodeItem *> m_children;
    QVector<MindLineItem *> m_lines;
    MindNodeItem *m_parentNode = nullptr;
    qreal m_subtreeHeight = 0;
    qreal m_horizontalGap = 60;
    qreal m_verticalGap = 40;
    bool m_folded = false;
    MindNodeCollapser *m_collapser = nullptr;
    bool m_dirty = false;
    bool m_passScheduled = false;
    bool m_suspended = false;
    bool m_dragged = false;
};

} // namespace Nod::Presentation
