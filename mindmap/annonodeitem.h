#pragma once

#include "mindnodeitem.h"

#include <QImage>

namespace Nod::Presentation {

class MarkerItem;
class NoteItem;

// An annotation in the map: the marked area of its page with the marks on it, and its note below.
// The page excerpt is supplied from outside and asked for only when the node is painted at a
// readable scale, so only nodes that are on screen cost a render; further out the node draws a
// plain placeholder.
class AnnoNodeItem final : public MindNodeItem
{
    Q_OBJECT

public:
    // Below this scale the page excerpt would be unreadable and a placeholder is drawn instead.
    static constexpr qreal readableScale = 0.4;

    // Takes the canvas item (made unselectable) and the note item as child items.
    AnnoNodeItem(int annotationId, MarkerItem *canvas, NoteItem *note, QGraphicsItem *parent = nullptr);

    int annotationId() const { return m_annotationId; }
    MarkerItem *canvasItem() const { return m_canvas; }
    NoteItem *noteItem() const { return m_note; }
    // The marked area, in node coordinates.
    QRectF canvasRect() const;

    QColor color() const override;

    bool hasExcerpt() const { return !m_excerpt.isNull(); }
    void setExcerpt(const QImage &image);
    // Drops the image (for a node far out of view); it is asked for again when next painted.
    void clearExcerpt();
    // Keeps showing the image but asks for a sharper one when next painted (the zoom changed).
    void invalidateExcerpt();
    // Far out, text is unreadable and costly to draw: the note shows as a plain block.
    void setLowDetail(bool low);
    bool isLowDetail() const { return m_lowDetail; }

    // Places the note under the canvas again and takes the new size (after a change of the canvas).
    void refresh() { arrange(); }

    QRectF boundingRect() const override { return m_rect; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

signals:
    // Emitted from painting: answer later (queued), never by painting synchronously.
    void excerptNeeded(int annotationId);
    void toggleViewRequested();

protected:
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;

private:
    void arrange();

    int m_annotationId;
    MarkerItem *m_canvas; // child item
    NoteItem *m_note; // child item
    QRectF m_rect;
    QImage m_excerpt;
    bool m_excerptAsked = false;
    bool m_lowDetail = false;
};

} // namespace Nod::Presentation
