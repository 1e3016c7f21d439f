#pragma once

#include <reading/abstracttool.h>

#include <QList>
#include <QPen>
#include <QPoint>
#include <QPointer>

class AnnotationIndex;
class Border;
class LineDialog;
class LineItem;

namespace Base {
class Page;
}

namespace DocumentTool {

// Draws horizontal lines on one page and saves them together: as one new annotation whose canvas
// is the frame around them (Finish or Return), or, when a line starts on an existing mark, as
// further marks of that mark's annotation at once. Line ends stay on the page. The tool holds its
// items and the target annotation by guarded pointers and ids, so a reload or an undo during a
// gesture leaves nothing dangling.
class AbstractLine : public AbstractTool
{
    Q_OBJECT

public:
    explicit AbstractLine(PDFDocumentView *view);
    ~AbstractLine() override;

    void activate() override;
    void deactivate() override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

    QPen pen() const { return m_pen; }
    QColor color() const override { return m_pen.color(); }
    LineDialog *lineDialog() const;
    // Lines drawn and not yet saved.
    int unsavedLineCount() const;

public slots:
    void on_acceptAction_triggered();
    void on_cancelAction_triggered();

protected:
    // The frame after a line was added, from the lines' extent (page item coordinates).
    virtual QRectF adjustBorder(const QRectF &rect, int lineCount) const;
    // The canvas saved for the lines, from the frame (page item coordinates).
    virtual QRectF adjustCanvas(const QRectF &rect, int lineCount, const Base::Page *page) const;

    QPen m_pen;

private:
    void save();
    void discard();
    void pruneLines();
    Border *border();
    // Where a viewport position lies on the page, horizontally kept within the page.
    QPointF pagePoint(const Base::Page *page, const QPoint &viewportPos) const;
    void fitBorder(const LineItem *line);
    void showDialog(const QPoint &viewportPos);
    AnnotationIndex *annotations() const;

    QList<QPointer<LineItem>> m_lines; // unsaved, children of one page item
    QPointer<LineItem> m_current; // being drawn
    QPointer<Base::Page> m_page; // the page of the lines
    bool m_drawing = false;
    QPoint m_pressPosition; // viewport
    QPointer<LineDialog> m_dialog; // child of the view
    QPointer<Border> m_border; // child of the lines' page, or of nothing
    int m_targetId = 0; // the annotation the lines go to, or 0 for a new one
};

class HorLine final : public AbstractLine
{
    Q_OBJECT

public:
    explicit HorLine(PDFDocumentView *view);

    int type() const override { return AbstractTool::HorLine; }
    void setColor(const QColor &color) override;

protected:
    // A single thin line gets a frame reaching above it, large enough to grab.
    QRectF adjustBorder(const QRectF &rect, int lineCount) const override;
};

class HorHighlight final : public AbstractLine
{
    Q_OBJECT

public:
    explicit HorHighlight(PDFDocumentView *view);

    int type() const override { return AbstractTool::HorHighlight; }
    // Half transparent; the round cursor takes the new colour.
    void setColor(const QColor &color) override;

protected:
    QRectF adjustCanvas(const QRectF &rect, int lineCount, const Base::Page *page) const override;

private:
    void updateCursor();
};

} // namespace DocumentTool
