#pragma once

#include <reading/abstracttool.h>

#include <backend/textbox.h>

#include <QColor>
#include <QGraphicsPathItem>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QVector>

class QRubberBand;

namespace Base {
class Page;
}

namespace DocumentTool {

// The painted selection: a path item, so that the view routes its context menu to the tool, and
// an object, so that the tool's guarded pointer clears when its page item goes (a reload).
class SelectionItem final : public QObject, public QGraphicsPathItem
{
public:
    explicit SelectionItem(QGraphicsItem *parent);
};

// Text selected on one page: what it shows and what it copies. It keeps its own page and boxes,
// so hovering, releasing or right-clicking over another page never changes what it holds.
struct TextSelection
{
    int page = -1;
    quint64 pageUid = 0; // the back-end page it was made on; a reload makes it stale
    QVector<QRectF> rects; // page points; the boxes of one line run merged into one rectangle
    QString text; // in page order, line breaks kept

    bool isEmpty() const { return rects.isEmpty(); }
};

// The colour numbered n (1-based) of the tool colour pane; a user list shorter than n falls back
// to the default list.
QColor paneColor(int number);

// Selects page text, by area or along the text flow (over a character the cursor is an I-beam and
// a press follows the text; elsewhere a cross and a press selects by area), or a word by double
// click; copies it (line breaks kept, and into the X11 primary selection too); offers highlight
// and underline from its context menu. Moves under QApplication::startDragDistance() select nothing.
class Select : public AbstractTool
{
    Q_OBJECT

public:
    enum Mode { Idle = 0, AreaSelection = 1, TextFlowSelection = 2 };

    explicit Select(PDFDocumentView *view);
    ~Select() override;

    int type() const override { return AbstractTool::Select; }
    void activate() override;
    void deactivate() override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

    const TextSelection &selection() const { return m_selection; }
    Mode mode() const { return m_mode; }
    QColor selectionColor() const;
    // Copies the selected text; an empty selection leaves the clipboard as it is.
    void copy() const;
    void clearSelection();

protected:
    // The press point of the gesture, in scene coordinates.
    QPointF pressPoint() const { return m_pressPoint; }
    bool isGestureRelease(const QMouseEvent *event) const;

private:
    struct Anchor
    {
        int box = -1;
        int sub = 0;
    };

    // Makes the page of that index the one whose boxes are cached; false when it has no page.
    bool loadPage(int index);
    Base::Page *pageItem(int index) const;
    QPointF toPage(const QPointF &scenePos, const Base::Page *page) const;
    int boxAt(const QPointF &pagePos) const;
    void selectRange(int first, int firstSub, int last, int lastSub);
    void selectArea(const QRectF &pageRect);
    void selectWord(const QPointF &pagePos);
    void showSelection();
    void updateHover(const QPointF &pagePos);
    void commitFromMenu(int toolType, const QColor &color);

    PDFDocumentView *viewOf() const { return m_view; }

    QPointer<SelectionItem> m_item; // a child of the selection's page item
    QPointer<QRubberBand> m_rubberBand; // a child of the viewport
    bool m_pressed = false;
    bool m_dragStarted = false;
    QPoint m_pressViewPos;
    QPointF m_pressPoint;
    Mode m_mode = Idle;
    bool m_overText = false;
    QColor m_highlightColor;
    QColor m_underlineColor;
    // The cached boxes of one page; the line number of each box lets runs merge per line.
    int m_pageIndex = -1;
    quint64 m_pageUid = 0;
    QVector<Backend::TextBox> m_boxes;
    QVector<int> m_lineOf;
    Anchor m_start;
    TextSelection m_selection;
};

} // namespace DocumentTool
