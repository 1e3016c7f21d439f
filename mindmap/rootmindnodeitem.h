#pragma once

#include "mindnodeitem.h"

class QGraphicsTextItem;

namespace Nod::Presentation {

// The document at the root of the map, shown by its title in large type.
class RootMindNodeItem final : public MindNodeItem
{
    Q_OBJECT

public:
    explicit RootMindNodeItem(const QString &title, QGraphicsItem *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

private:
    QGraphicsTextItem *m_text; // child item
};

} // namespace Nod::Presentation
