#pragma once

#include <QGraphicsObject>
#include <QPointer>

class TileItem;

namespace Nod::Presentation {
class MarkerItem;
class NoteItem;
} // namespace Nod::Presentation

namespace Reviewing {

class Page;

// One row of the summary: the excerpt of the page under an annotation's canvas, with the canvas and
// its marks drawn over it, and the annotation's note beside it. The row takes the canvas and the
// note as its children; their positions stay in page coordinates, so the row is moved as a whole.
// The excerpt is rendered off the interface thread and dropped when the page leaves the view.
class Summary final : public QGraphicsObject
{
    Q_OBJECT

public:
    enum { Type = UserType + 40 };

    // Space above and below the taller of excerpt and note.
    static constexpr double RowMargin = 20;
    // Distance of the note from the page side and from the outer edge.
    static constexpr double PageGap = 20;
    static constexpr double OuterGap = 10;

    Summary(Nod::Presentation::MarkerItem *canvas, Nod::Presentation::NoteItem *note, Page *page);
    ~Summary() override;

    int type() const override { return Type; }
    QRectF boundingRect() const override { return m_rect; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    Nod::Presentation::MarkerItem *canvas() const;
    Nod::Presentation::NoteItem *note() const;
    int annotationId() const;
    // Where the canvas anchors its note, in page coordinates.
    QPointF anchor() const;
    // The anchor lies in the left half of the page.
    bool isLeftSide() const;
    // The part of the page under the canvas, in page coordinates.
    QRectF excerptRect() const;
    double height() const { return m_rect.height(); }

    int noteAreaMode() const { return m_mode; }
    // Recomputes the geometry when the mode differs.
    void setNoteAreaMode(int mode);
    // Places the note and sizes the row from the canvas and the note as they are now.
    void updateGeometry();
    // Hands the canvas and the note back to the page, before the row goes.
    void release();
    // Forgets the rendered excerpt; the next paint asks for it again.
    void dropImage();

    // Shows the row's menu at a screen position.
    void showMenu(const QPoint &screenPos);

    // Rows are listed by their anchor, y first, then x; with notes on both sides the left half of
    // the page comes first.
    static bool comesBefore(const Summary *a, const Summary *b, int mode);

signals:
    void heightChanged(double height);

public slots:
    void on_child_heightChanged();

protected:
    bool sceneEventFilter(QGraphicsItem *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent *event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;

private:
    void requestJump();
    void requestRemoval();
    void paintExcerpt(QPainter *painter, QWidget *widget);
    // The canvas and its marks, in page coordinates.
    QRectF markedRect() const;

    QPointer<Nod::Presentation::MarkerItem> m_canvas; // child
    QPointer<Nod::Presentation::NoteItem> m_note; // child
    Page *m_page; // parent
    double m_pageWidth;
    QRectF m_rect;
    int m_mode = -1;
    TileItem *m_tile = nullptr; // child, made on the first paint
};

} // namespace Reviewing
