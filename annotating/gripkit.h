#pragma once

#include <QColor>
#include <QGraphicsObject>
#include <QVector>

namespace Nod::Presentation {

class Handgrip;
class MarkerItem;

// The grips of a selected mark: a child item of the mark that shows the shape being dragged and,
// when a grip is released, announces it; the mark then takes the kit's shape through its own setter.
// Kit coordinates are the mark's. Grips never leave the page (the mark's page rectangle).
class Gripkit : public QGraphicsObject
{
    Q_OBJECT

public:
    explicit Gripkit(MarkerItem *item);

    QColor color() const { return m_color; }
    QVector<Handgrip *> handgrips() const { return m_handgrips; }
    // The grip with that role, or null.
    Handgrip *handgrip(int role) const;

    QRectF boundingRect() const override;
    // Empty: the kit itself is never hit, only its grips.
    QPainterPath shape() const override;

signals:
    void gripReleased();

public slots:
    void setColor(QColor color);
    void showHandgrips();
    void hideHandgrips();

protected:
    Handgrip *addHandgrip(int role, int kind);
    // Adds the eight grips of a rectangle in their creation order.
    void addRectangleHandgrips();
    // The point a grip was dragged to, in kit coordinates, kept on the page.
    QPointF clampedToPage(const QPointF &point) const;

    virtual void reshape(int role, const QPointF &point) = 0;
    virtual void placeHandgrips() = 0;
    // False when the shape is not one the grips can work on; the grips then stay hidden.
    virtual bool canReshape() const { return true; }
    // Called when a drag ends, before the release is announced.
    virtual void finishReshape() { }
    // The area the kit paints, in kit coordinates.
    virtual QRectF geometryRect() const = 0;
    // The dashed outline's pen.
    static QPen outlinePen();

private:
    void onGripped(Handgrip *grip);
    void onMoved(Handgrip *grip, const QPointF &scenePos);
    void onReleased(Handgrip *grip);

    QColor m_color = QColor(Qt::black);
    QVector<Handgrip *> m_handgrips; // children
};

} // namespace Nod::Presentation
