#pragma once

#include <reading/abstracttool.h>

#include <QBrush>
#include <QPen>
#include <QPointF>
#include <QPointer>
#include <QRectF>

class QRubberBand;

namespace Nod::Domain {
class Marker;
}

namespace DocumentTool {

// A rectangle dragged over a page becomes a mark: a new annotation, or one more mark of the
// annotation whose mark lay under the press point. The rectangle belongs to the page it was started
// on and is clipped to it; a drag within the start-drag distance, or one where another button joined
// in, commits nothing.
class AbstractRectAnnotation : public AbstractTool
{
    Q_OBJECT

public:
    explicit AbstractRectAnnotation(PDFDocumentView *view);
    ~AbstractRectAnnotation() override;

    void deactivate() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    // The rectangle as stored: the top-left corner three times, then the top-right, the bottom-right
    // and the bottom-left, so that the polygon's grips can later turn each corner into a step.
    static QPolygonF twelvePointPolygon(const QRectF &rect);

protected:
    // The mark for a polygon relative to the annotation's position (page points).
    virtual Nod::Domain::Marker makeMarker(const QPolygonF &polygon) const = 0;

private:
    void cancel();
    // Commits a rectangle given in the press page's item coordinates.
    void commit(const QRectF &pageItemRect);

    bool m_pressed = false;
    QPoint m_pressPosition; // viewport
    QPointF m_pressPoint; // scene
    int m_pressPage = -1;
    int m_targetId = 0; // the annotation under the press point, if any
    QPointer<QRubberBand> m_rubberBand; // child of the viewport
};

class Rectangle final : public AbstractRectAnnotation
{
    Q_OBJECT

public:
    explicit Rectangle(PDFDocumentView *view);

    int type() const override { return AbstractTool::Rectangle; }
    QPen pen() const { return m_pen; }
    // The outline takes the colour unchanged.
    void setColor(const QColor &color) override;
    QColor color() const override { return m_pen.color(); }

protected:
    Nod::Domain::Marker makeMarker(const QPolygonF &polygon) const override;

private:
    QPen m_pen { Qt::red, 2 };
};

class RectangleHighlight final : public AbstractRectAnnotation
{
    Q_OBJECT

public:
    explicit RectangleHighlight(PDFDocumentView *view);

    int type() const override { return AbstractTool::RectangleHighlight; }
    QBrush brush() const { return m_brush; }
    // The fill takes the colour half transparent, so the page shows through.
    void setColor(const QColor &color) override;
    QColor color() const override { return m_brush.color(); }

protected:
    Nod::Domain::Marker makeMarker(const QPolygonF &polygon) const override;

private:
    QBrush m_brush { QColor(255, 255, 0, 128), Qt::SolidPattern };
};

} // namespace DocumentTool
