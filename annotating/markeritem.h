#pragma once

#include <domain/backgroundmode.h>

#include <QColor>
#include <QGraphicsObject>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointer>
#include <QRectF>

class QMenu;
class QWidget;

namespace Nod::Presentation {

class Gripkit;

// A mark of an annotation shown over its page. The item only shows the mark and announces what the
// user asks for (reshape, remove, switch view); whoever owns the page turns those signals into undo
// commands. Removal is announced from the event loop, never from inside the item's own handler, so
// the receiver may delete the item at once.
class MarkerItem : public QGraphicsObject
{
    Q_OBJECT

public:
    explicit MarkerItem(QGraphicsItem *parent = nullptr);
    ~MarkerItem() override;

    // Where the note attaches, in item coordinates.
    virtual QPointF anchor() const = 0;
    // The colour that stands for the mark.
    virtual QColor color() const;

    // Cached: hover hit-testing asks for it on every mouse move.
    QPainterPath shape() const override;

    bool isHovered() const { return m_hovered; }
    Gripkit *gripkit() const { return m_gripkit; }

    // The page's area, in the parent item's coordinates, that grips may not leave. Marks inside a
    // composite take their composite's when they have none of their own; null means no limit.
    void setPageRect(const QRectF &rect) { m_pageRect = rect; }
    QRectF pageRect() const { return m_pageRect; }
    QRectF pageRectInItem() const;

    // Asks for removal once control is back in the event loop; repeated requests before then are one.
    void requestRemoval();
    // The mark's own entries ("&Toggle view", "&Remove"), for a menu that a view may extend.
    void addMenuActions(QMenu *menu);

    // Marks are ordered by their anchor in the scene: y first, then x.
    QPointF sceneAnchor() const { return mapToScene(anchor()); }
    static bool lessThan(const MarkerItem *a, const MarkerItem *b);

    // The composition mode marks paint with: lighten on screen over a dark background, else darken.
    static QPainter::CompositionMode compositionMode(const QWidget *widget);
    static Domain::BackgroundMode backgroundMode();
    static void setBackgroundMode(const Domain::BackgroundMode &mode);
    // The pen with its width divided by the painter's scale, so that it does not grow with zoom.
    static QPen zoomIndependentPen(const QPen &pen, const QPainter *painter);
    // The path stroked with the pen's geometry, plus the path itself; an empty path stays empty.
    static QPainterPath strokedWithPen(const QPainterPath &path, const QPen &pen);

signals:
    void hoveredChanged(bool hovered);
    void selectedChanged(bool s);
    void shapeChanged();
    void removeRequested();
    void toggleViewRequested();

public slots:
    // Mirrors the hover of the note; announces nothing.
    void setHoveredIn(bool h);

protected:
    // The grips for this kind of mark; none by default.
    virtual Gripkit *createGripkit() { return nullptr; }
    // The cached shape, rebuilt by buildShape() after invalidateShape().
    QPainterPath cachedShape() const;
    virtual QPainterPath buildShape() const { return QGraphicsObject::shape(); }
    void invalidateShape();

    QVariant itemChange(GraphicsItemChange change, const QVariant &value) override;
    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;

private:
    void setHovered(bool hovered, bool announce);

    bool m_hovered = false;
    bool m_removalPending = false;
    Gripkit *m_gripkit = nullptr; // a child item while selected
    QRectF m_pageRect;
    mutable QPainterPath m_shape;
    mutable bool m_shapeValid = false;
};

} // namespace Nod::Presentation
