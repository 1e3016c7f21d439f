#include "linetool.h"
#include "linedialog.h"
#include "lineitem.h"

#include <reading/annotationindex.h>
#include <reading/basepage.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>

#include <annotating/markeritem.h>
#include <domain/marker.h>

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>

using Nod::Domain::Marker;

namespace DocumentTool {

AbstractLine::AbstractLine(PDFDocumentView *view)
    : AbstractTool(view)
{
    m_cursor = QCursor(Qt::CrossCursor);
}

AbstractLine::~AbstractLine()
{
    for (const QPointer<LineItem> &line : qAsConst(m_lines)) {
        delete line.data();
    }
    delete m_current.data();
    delete m_border.data();
    delete m_dialog.data();
}

AnnotationIndex *AbstractLine::annotations() const
{
    return m_view->pdfScene() ? m_view->pdfScene()->annotations() : nullptr;
}

LineDialog *AbstractLine::lineDialog() const { return m_dialog; }

int AbstractLine::unsavedLineCount() const
{
    int count = 0;
    for (const QPointer<LineItem> &line : m_lines) {
        count += line ? 1 : 0;
    }
    return count;
}

void AbstractLine::pruneLines()
{
    m_lines.removeAll(QPointer<LineItem>());
    if (m_lines.isEmpty()) {
        m_page = nullptr;
    }
}

Border *AbstractLine::border()
{
    // Its page item deletes it on a reload.
    if (!m_border) {
        m_border = new Border;
    }
    return m_border;
}

void AbstractLine::activate()
{
    AbstractTool::activate();
    if (!m_dialog) {
        m_dialog = new LineDialog(m_view);
        connect(m_dialog, &LineDialog::accepted, this, &AbstractLine::on_acceptAction_triggered);
        connect(m_dialog, &LineDialog::canceled, this, &AbstractLine::on_cancelAction_triggered);
        m_dialog->hide();
    }
    border()->hide();
}

void AbstractLine::deactivate()
{
    AbstractTool::deactivate();
    m_drawing = false;
    delete m_current.data();
    pruneLines();
    if (!m_lines.isEmpty()) {
        // A tab closing takes its view out of sight first: its lines are kept without a question.
        const bool keep = !m_view->isVisible()
            || QMessageBox::question(m_view, tr("Save these lines?"),
                   tr("You have some unsaved lines, do you want to save these lines?"),
                   QMessageBox::Yes | QMessageBox::No)
                == QMessageBox::Yes;
        if (keep) {
            save();
        }
    }
    discard();
    delete m_dialog.data();
    delete m_border.data();
}

QPointF AbstractLine::pagePoint(const Base::Page *page, const QPoint &viewportPos) const
{
    QPointF point = page->mapFromScene(m_view->mapToScene(viewportPos));
    const QRectF area = page->pageRect();
    point.setX(qBound(area.left(), point.x(), area.right()));
    point.setY(qBound(area.top(), point.y(), area.bottom()));
    return point;
}

void AbstractLine::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || event->buttons() != Qt::LeftButton) {
        m_drawing = false;
        delete m_current.data();
        return;
    }
    const QSharedPointer<PDFDocumentScene> scene = m_view->pdfScene();
    AnnotationIndex *index = annotations();
    const QPointF scenePos = m_view->mapToScene(event->pos());
    Base::Page *page = scene ? scene->pageAt(scenePos) : nullptr;
    if (!page || !index || !page->pageRect().contains(page->mapFromScene(scenePos))) {
        return;
    }
    pruneLines();
    if (const int target = index->annotationAt(scenePos)) {
        if (!m_targetId && !m_lines.isEmpty()) {
            save();
        }
        m_targetId = target;
    } else {
        if (!m_lines.isEmpty() && m_page != page) {
            m_view->ensureVisible(m_lines.first().data(), 50, 50);
            const auto answer = QMessageBox::question(m_view, tr("Save these lines?"),
                tr("You have drawed some lines in this page, do you want to save theme?"),
                QMessageBox::Yes | QMessageBox::No);
            if (answer == QMessageBox::Yes) {
                save();
            } else {
                discard();
            }
            return;
        }
        if (m_lines.isEmpty()) {
            border()->setParentItem(page);
            border()->setRect(QRectF());
        }
        m_targetId = 0;
    }
    delete m_current.data();
    m_page = page;
    m_current = new LineItem(page);
    m_current->setPen(m_pen);
    const QPointF start = pagePoint(page, event->pos());
    m_current->setLine(QLineF(start, start));
    m_current->hide();
    m_pressPosition = event->pos();
    m_drawing = true;
    event->accept();
}

void AbstractLine::mouseMoveEvent(QMouseEvent *event)
{
    m_view->viewport()->setCursor(m_cursor);
    if (!m_drawing || !m_current || !m_page) {
        return;
    }
    const QPointF start = m_current->line().p1();
    m_current->setLine(QLineF(start, QPointF(pagePoint(m_page, event->pos()).x(), start.y())));
    if ((event->pos() - m_pressPosition).manhattanLength() > QApplication::startDragDistance()) {
        m_current->show();
        if (m_dialog) {
            m_dialog->hide();
        }
        if (m_view->scene()) {
            m_view->scene()->clearSelection();
        }
    }
    event->accept();
}

void AbstractLine::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_drawing) {
        return;
    }
    m_drawing = false;
    QPointer<LineItem> line = m_current;
    m_current = nullptr;
    // Gone when the page was rebuilt during the drag.
    if (!line || !m_page) {
        delete line.data();
        return;
    }
    const bool clean = event->button() == Qt::LeftButton && event->buttons() == Qt::NoButton;
    const bool dragged
        = (event->pos() - m_pressPosition).manhattanLength() > QApplication::startDragDistance();
    const QPointF start = line->line().p1();
    const QLineF drawn(start, QPointF(pagePoint(m_page, event->pos()).x(), start.y()));
    if (!clean || !dragged || drawn.length() <= 0) {
        delete line.data();
        pruneLines();
        return;
    }
    line->setLine(drawn);
    line->show();
    m_lines.append(line);
    if (m_targetId) {
        AnnotationIndex *index = annotations();
        if (index && index->canvasItem(m_targetId)) {
            save();
            return;
        }
        // The annotation went away during the drag (an undo): the lines make a new one.
        m_targetId = 0;
        if (m_lines.size() == 1) {
            border()->setParentItem(m_page);
            border()->setRect(QRectF());
        }
    }
    fitBorder(line);
    showDialog(event->pos());
    event->accept();
}

void AbstractLine::fitBorder(const LineItem *line)
{
    QPainterPath path(line->line().p1());
    path.lineTo(line->line().p2());
    QPainterPathStroker stroker;
    stroker.setWidth(m_pen.widthF());
    QPainterPath stroked = stroker.createStroke(path);
    Border *frame = border();
    if (!frame->rect().isEmpty()) {
        stroked.addRect(frame->rect());
    }
    frame->setRect(adjustBorder(stroked.controlPointRect(), m_lines.size()));
    frame->show();
}

void AbstractLine::showDialog(const QPoint &viewportPos)
{
    if (!m_dialog) {
        return;
    }
    m_dialog->adjustSize();
    const QPoint release = m_view->viewport()->mapTo(m_view, viewportPos);
    QPoint topLeft(release.x() + 15, release.y() - int(m_pen.widthF() / 2) - m_dialog->height());
    // Kept inside the view, also for lines near its edges.
    topLeft.setX(qBound(0, topLeft.x(), qMax(0, m_view->width() - m_dialog->width())));
    topLeft.setY(qBound(0, topLeft.y(), qMax(0, m_view->height() - m_dialog->height())));
    m_dialog->move(topLeft);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->setFocus(Qt::OtherFocusReason);
}

void AbstractLine::on_acceptAction_triggered() { save(); }

void AbstractLine::on_cancelAction_triggered() { discard(); }

QRectF AbstractLine::adjustBorder(const QRectF &rect, int) const { return rect; }

QRectF AbstractLine::adjustCanvas(const QRectF &rect, int, const Base::Page *) const { return rect; }

void AbstractLine::save()
{
    pruneLines();
    AnnotationIndex *index = annotations();
    Nod::Presentation::MarkerItem *target = m_targetId && index ? index->canvasItem(m_targetId) : nullptr;
    auto *targetPage = target ? dynamic_cast<Base::Page *>(target->parentItem()) : nullptr;
    if (m_lines.isEmpty() || !index || !m_page) {
        discard();
        return;
    }
    if (targetPage) {
        const QTransform toPoints = targetPage->pageTransform().inverted();
        const QPointF origin = toPoints.map(target->pos());
        const int id = m_targetId;
        for (const QPointer<LineItem> &line : qAsConst(m_lines)) {
            const QLineF drawn = line->line();
            const QLineF onPage = toPoints.map(
                QLineF(targetPage->mapFromItem(line, drawn.p1()), targetPage->mapFromItem(line, drawn.p2())));
            index->appendMarker(id, Marker(onPage.translated(-origin), m_pen));
        }
    } else {
        const QTransform toPoints = m_page->pageTransform().inverted();
        QRectF frame = m_border ? m_border->rect() : QRectF();
        for (const QPointer<LineItem> &line : qAsConst(m_lines)) {
            const QLineF l = line->line();
            frame |= QRectF(l.p1(), l.p2()).normalized();
        }
        frame = adjustCanvas(frame, m_lines.size(), m_page) & m_page->pageRect();
        const QRectF canvas = toPoints.mapRect(frame);
        const QPointF origin = canvas.topLeft();
        QVector<Marker> markers;
        for (const QPointer<LineItem> &line : qAsConst(m_lines)) {
            markers << Marker(toPoints.map(line->line()).translated(-origin), m_pen);
        }
        index->createAnnotation(m_page->pageNumber(), origin, Marker(canvas.translated(-origin)), markers);
    }
    discard();
}

void AbstractLine::discard()
{
    m_targetId = 0;
    for (const QPointer<LineItem> &line : qAsConst(m_lines)) {
        delete line.data();
    }
    m_lines.clear();
    m_page = nullptr;
    if (m_dialog) {
        m_dialog->hide();
    }
    m_view->setFocus(Qt::OtherFocusReason);
    if (m_border) {
        m_border->setRect(QRectF());
        m_border->hide();
    }
}

HorLine::HorLine(PDFDocumentView *view)
    : AbstractLine(view)
{
    m_pen = QPen(Qt::red, 2);
}

void HorLine::setColor(const QColor &color)
{
    if (color.isValid()) {
        m_pen.setColor(color);
    }
}

QRectF HorLine::adjustBorder(const QRectF &rect, int lineCount) const
{
    return lineCount == 1 ? rect.adjusted(0, -20, 0, 0) : rect;
}

HorHighlight::HorHighlight(PDFDocumentView *view)
    : AbstractLine(view)
{
    m_pen = QPen(QColor(255, 255, 0, 128), 20, Qt::SolidLine, Qt::RoundCap);
    updateCursor();
}

void HorHighlight::setColor(const QColor &color)
{
    if (!color.isValid()) {
        return;
    }
    QColor translucent(color);
    translucent.setAlpha(128);
    m_pen.setColor(translucent);
    updateCursor();
}

QRectF HorHighlight::adjustCanvas(const QRectF &rect, int lineCount, const Base::Page *page) const
{
    if (lineCount != 1) {
        return rect;
    }
    const double grow = 2 * page->pageTransform().m11();
    return rect.adjusted(0, -grow, 0, grow);
}

void HorHighlight::updateCursor()
{
    const int width = qMax(3, qRound(m_pen.widthF()));
    QPixmap dot(width, width);
    dot.fill(Qt::transparent);
    {
        QPainter painter(&dot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_pen.color());
        painter.drawEllipse(QRectF(1, 1, width - 2, width - 2));
    }
    m_cursor = QCursor(dot, width / 2, width / 2);
    // Only the armed tool's cursor is on the viewport.
    if (m_view && m_view->armedTool() == this && m_view->viewport()) {
        m_view->viewport()->setCursor(m_cursor);
    }
}

} // namespace DocumentTool
