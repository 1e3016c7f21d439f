#pragma once

#include <reading/abstracttool.h>

#include <QPoint>

namespace DocumentTool {

// The hand tool: dragging with the left button scrolls the view.
class Move final : public AbstractTool
{
    Q_OBJECT

public:
    explicit Move(PDFDocumentView *view);

    int type() const override { return AbstractTool::Move; }
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_dragging = false;
    QPoint m_lastPosition;
    QCursor m_closedHandCursor { Qt::ClosedHandCursor };
};

} // namespace DocumentTool
