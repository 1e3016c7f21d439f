#pragma once

#include <reading/searchable.h>

#include <QGraphicsView>

class QProgressDialog;
class QTimer;
class Searching;

namespace Nod::Presentation {
class SearchLine;
}

namespace Base {

// The view shared by the reading view, the summary view and the mind map: zoom as a plain
// multiplier of the view transform, kept within [MinimumZoom, MaximumZoom], and Ctrl+wheel zoom
// gathered for 100 ms so that quick notches zoom once. A wheel step is 120 units of angle delta;
// touchpads send fractions of it, which zoom proportionally.
class View : public QGraphicsView, public IParalleledSearchable
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

    // The find bar (hidden until asked for) and the search it drives.
    Nod::Presentation::SearchLine *searchLine() const { return m_searchLine; }
    Searching *searching() const { return m_searching; }
    // A view without searchable content finds nothing.
    QFuture<QVector<ISearchable::Result>> search(const QString &keyword) override;
    // Clears the results and hides the find bar.
    void clearSearch();

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
    void resizeEvent(QResizeEvent *event) override;
    // Brings a result's highlight into sight.
    virtual void revealSearchResult(QGraphicsItem *highlight);

    double m_wheelDelta = 0; // accumulated Ctrl+wheel steps
    QTimer *m_wheelTimer = nullptr; // child, created on first use
    double m_zoomLevel = 1.0;
    QPoint m_wheelPosition;

private:
    void setUpSearch();
    void placeSearchLine();
    void on_searching_started();
    void on_searching_ended();
    void on_searching_finished();
    void on_searching_currentResultChanged(int current);

    Nod::Presentation::SearchLine *m_searchLine = nullptr; // child
    Searching *m_searching = nullptr; // child
    QProgressDialog *m_searchProgress = nullptr; // child, made for the first search
};

} // namespace Base
