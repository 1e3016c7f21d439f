#include "baseview.h"

#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

namespace Base {

namespace {

bool fuzzyEqual(double a, double b) { return std::abs(a - b) <= 1e-12 * std::max(std::abs(a), std::abs(b)); }

} // namespace

View::View(QWidget *parent)
    : QGraphicsView(parent)
{
    setUpSearch();
}

double View::clampZoom(double zoom)
{
    if (!(zoom > 0) || !std::isfinite(zoom)) {
        return 1.0;
    }
    return qBound(MinimumZoom, zoom, MaximumZoom);
}

bool View::print() { return false; }

void View::zoomBy(double zoomFactor, QGraphicsView::ViewportAnchor anchor)
{
    if (!(zoomFactor > 0)) {
        return;
    }
    const double level = clampZoom(m_zoomLevel * zoomFactor);
    if (fuzzyEqual(level, m_zoomLevel)) {
        return;
    }
    const QGraphicsView::ViewportAnchor oldAnchor = transformationAnchor();
    setTransformationAnchor(anchor);
    setTransform(QTransform::fromScale(level, level));
    setTransformationAnchor(oldAnchor);
    m_zoomLevel = level;
    emit changedZoom(m_zoomLevel);
}

void View::zoomBy(double zoomFactor) { zoomBy(zoomFactor, QGraphicsView::AnchorViewCenter); }

void View::zoomIn(QGraphicsView::ViewportAnchor anchor) { zoomBy(ZoomStep, anchor); }

void View::zoomIn() { zoomIn(QGraphicsView::AnchorViewCenter); }

void View::zoomOut(QGraphicsView::ViewportAnchor anchor) { zoomBy(1.0 / ZoomStep, anchor); }

void View::zoomOut() { zoomOut(QGraphicsView::AnchorViewCenter); }

void View::setZoomLevel(double zoomLevel, QGraphicsView::ViewportAnchor anchor)
{
    if (!(zoomLevel > 0) || fuzzyEqual(zoomLevel, m_zoomLevel)) {
        return;
    }
    zoomBy(zoomLevel / m_zoomLevel, anchor);
}

void View::setZoomLevel(double zoomLevel) { setZoomLevel(zoomLevel, QGraphicsView::AnchorViewCenter); }

void View::readZoomFromTransform()
{
    m_zoomLevel = transform().m11();
    emit changedZoom(m_zoomLevel);
}

void View::on_wheelTimer_timeout()
{
    if (m_wheelDelta == 0) {
        m_wheelTimer->stop();
        return;
    }
    const double steps = m_wheelDelta;
    m_wheelDelta = 0;
    zoomBy(std::pow(ZoomStep, steps), QGraphicsView::AnchorUnderMouse);
}

void View::wheelEvent(QWheelEvent *event)
{
    const QPoint angle = event->angleDelta();
    const bool vertical = std::abs(angle.y()) >= std::abs(angle.x());
    if ((event->modifiers() & Qt::ControlModifier) && event->buttons() == Qt::NoButton && vertical) {
        // A notch is 120 units; touchpads send small parts of it and zoom by as much.
        double steps = angle.y() / 120.0;
        if (angle.y() == 0) {
            steps = event->pixelDelta().y() / 120.0;
        }
        if (steps == 0) {
            event->accept();
            return;
        }
        // A turn the other way cancels what was gathered.
        if ((steps > 0) != (m_wheelDelta > 0) && m_wheelDelta != 0) {
            m_wheelDelta = 0;
        } else {
            m_wheelDelta += steps;
        }
        if (!m_wheelTimer) {
            m_wheelTimer = new QTimer(this);
            m_wheelTimer->setInterval(100);
            connect(m_wheelTimer, &QTimer::timeout, this, &View::on_wheelTimer_timeout);
        }
        if (!m_wheelTimer->isActive()) {
            m_wheelTimer->start();
        }
        event->accept();
        return;
    }
    if ((event->modifiers() & Qt::ShiftModifier) && vertical) {
        QWheelEvent horizontal(event->position(), event->globalPosition(),
            QPoint(event->pixelDelta().y(), event->pixelDelta().x()), QPoint(angle.y(), angle.x()),
            event->buttons(), event->modifiers() & ~Qt::ShiftModifier, event->phase(), event->inverted(),
            event->source());
        QGraphicsView::wheelEvent(&horizontal);
        event->setAccepted(horizontal.isAccepted());
        return;
    }
    QGraphicsView::wheelEvent(event);
}

} // namespace Base
