#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QRectF>

class QGraphicsItem;

namespace Nod::Presentation {

class MarkerItem;
class NoteItem;

// Places the notes of one page in its note area, each as close to the height of its mark as the
// notes above and the column bottom allow. Items are not owned; they are children of the page.
class NoteAreaLayout : public QObject
{
    Q_OBJECT

public:
    explicit NoteAreaLayout(QGraphicsItem *page, QObject *parent = nullptr);
    ~NoteAreaLayout() override;

    QGraphicsItem *page() const { return m_page; }

    // The layout for a note-area mode (0 none, 1 right, 2 left, 3 both), its columns taken from the
    // page's bounding rectangle (which includes the note area) and the width of the page itself.
    static NoteAreaLayout *create(int mode, QGraphicsItem *page, double pageWidth, QObject *parent = nullptr);

    // Gap between notes and above the first one.
    static constexpr double spacing = 5;
    // Distance of a note from the page side and from the outer edge of the area.
    static constexpr double pageGap = 20;
    static constexpr double outerGap = 10;

public slots:
    virtual void addNote(MarkerItem *mark, NoteItem *note) = 0;
    virtual void removeNote(MarkerItem *mark, NoteItem *note) = 0;
    virtual void clear() = 0;
    virtual void relayout() = 0;

protected:
    struct Column
    {
        QRectF rect; // page item coordinates
        QList<QPair<MarkerItem *, NoteItem *>> notes; // in mark order
    };
    static void add(Column &column, MarkerItem *mark, NoteItem *note);
    static void remove(Column &column, MarkerItem *mark, NoteItem *note);
    static void layout(const Column &column);

private:
    QGraphicsItem *m_page;
};

class NoteAreaNoColumnLayout final : public NoteAreaLayout
{
    Q_OBJECT

public:
    using NoteAreaLayout::NoteAreaLayout;

    void addNote(MarkerItem *, NoteItem *) override { }
    void removeNote(MarkerItem *, NoteItem *) override { }
    void clear() override { }
    void relayout() override { }
};

class NoteAreaOneColumnLayout final : public NoteAreaLayout
{
    Q_OBJECT

public:
    NoteAreaOneColumnLayout(QGraphicsItem *page, const QRectF &column, QObject *parent = nullptr);

    QRectF columnRect() const { return m_column.rect; }

    void addNote(MarkerItem *mark, NoteItem *note) override;
    void removeNote(MarkerItem *mark, NoteItem *note) override;
    void clear() override;
    void relayout() override;

private:
    Column m_column;
};

class NoteAreaTwoColumnLayout final : public NoteAreaLayout
{
    Q_OBJECT

public:
    NoteAreaTwoColumnLayout(
        QGraphicsItem *page, const QRectF &left, const QRectF &right, QObject *parent = nullptr);

    QRectF leftRect() const { return m_left.rect; }
    QRectF rightRect() const { return m_right.rect; }

    void addNote(MarkerItem *mark, NoteItem *note) override;
    void removeNote(MarkerItem *mark, NoteItem *note) override;
    void clear() override;
    void relayout() override;

private:
    Column m_left;
    Column m_right;
};

} // namespace Nod::Presentation
