#pragma once

#include <QGraphicsItem>

namespace Nod::Presentation {

class MindNodeItem;

// The round button beside a node with children: a minus sign, or a plus sign while folded. Pressing
// it folds or unfolds the node.
class MindNodeCollapser final : public QGraphicsItem
{
public:
    explicit MindNodeCollapser(MindNodeItem *node);

    bool isFolded() const { return m_folded; }
    void setFolded(bool folded);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;

private:
    MindNodeItem *m_node; // the parent item
    bool m_folded = false;
};

} // namespace Nod::Presentation
