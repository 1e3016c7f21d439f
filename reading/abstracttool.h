#pragma once

#include <QColor>
#include <QCursor>
#include <QObject>

class PDFDocumentView;
class QContextMenuEvent;
class QKeyEvent;
class QMouseEvent;

namespace DocumentTool {

// One input mode of the reading view. The view forwards its viewport's mouse and key events to
// the armed tool (see PDFDocumentView for the routing); a tool is armed with activate() and
// disarmed with deactivate(). Type ids: 5 move (hand), 9 select, 10 text highlight,
// 11 text underline, 12 rectangle highlight, 13 rectangle, 14 horizontal lines,
// 15 horizontal highlight.
class AbstractTool : public QObject
{
    Q_OBJECT

public:
    enum Type {
        None = 0,
        Move = 5,
        Select = 9,
        TextHighlight = 10,
        TextUnderline = 11,
        RectangleHighlight = 12,
        Rectangle = 13,
        HorLine = 14,
        HorHighlight = 15
    };

    explicit AbstractTool(PDFDocumentView *view);

    virtual int type() const { return None; }
    bool operator==(const AbstractTool &other) const { return type() == other.type(); }
    PDFDocumentView *view() const { return m_view; }
    QCursor cursor() const { return m_cursor; }

    virtual void activate();
    virtual void deactivate();
    virtual void keyPressEvent(QKeyEvent *event);
    virtual void keyReleaseEvent(QKeyEvent *event);
    virtual void mouseDoubleClickEvent(QMouseEvent *event);
    virtual void mousePressEvent(QMouseEvent *event);
    virtual void mouseMoveEvent(QMouseEvent *event);
    virtual void mouseReleaseEvent(QMouseEvent *event);
    virtual void contextMenuEvent(QContextMenuEvent *event);
    // Paints over the scene after the view drew it (selections, rubber bands).
    virtual void paintEvent(QPainter *painter);

    // The colour the tool marks with, as picked from its tool action's pane; each marking tool
    // applies it to its own pen or brush (highlights with alpha 128). Invalid for the others.
    virtual QColor color() const { return QColor(); }
    virtual void setColor(const QColor &color);

protected:
    PDFDocumentView *m_view; // not owned
    QCursor m_cursor { Qt::ArrowCursor };
};

} // namespace DocumentTool
