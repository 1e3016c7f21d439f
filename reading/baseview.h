#pragma once

#include <QGraphicsView>

class QTimer;

namespace Base {

// The view shared by the reading view, the summary view and the mind map: zoom as a plain
// multiplier of the view transform, kept within [MinimumZoom, MaximumZoom], and Ctrl+wheel zoom
// gathered for 100 ms so that quick notches zoom once. A wheel step is 120 units of angle delta;
// touchpads send fractions of it, which zoom proportionally.
class View : public QGraphicsView
{
    Q_OBJECT

public:
    static constexpr double MinimumZoom = 0.05;
    static constexpr double MaximumZoom = 64.0;
    static constexpr double ZoomStep = 1.1;

    explicit View(QWidget *parent = nullptr);

    double zoomLevel() const { return m_zoomLevel; }
    static double clampZoom(double zoom);

    // Shows the print dialog and prints the scene; false when nothing was printed.
    virtual bool print();

public slots:
    void zoomBy(double zoomFactor, QGraphicsView::ViewportAnchor anchor);
    void zoomBy(double zoomFactor);
    void zoomIn(QGraphicsView::ViewportAnchor anchor);
    void zoomIn();
    void zoomOut(QGraphicsView::ViewportAnchor anchor);
    void zoomOut();
    void setZoomLevel(double zoomLevel, QGraphicsView::ViewportAnchor anchor);
    void setZoomLevel(double zoomLevel);
    void on_wheelTimer_timeout();

signals:
    void changedZoom(double zoomLevel);

protected:
    void wheelEvent(QWheelEvent *event) override;
    // Takes the zoom level from the transform after a fit and announces it.
    void readZoomFromTransform();

    double m_wheelDelta = 0; // accumulated Ctrl+wheel steps
    QTimer *m_wheelTimer = nullptr; // child, created on first use
    double m_zoomLevel = 1.0;
    QPoint m_wheelPosition;
};

} // namespace Base
