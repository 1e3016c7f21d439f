#include "notearealayout.h"

#include "markeritem.h"
#include "noteitem.h"

#include <QGraphicsItem>
#include <QVector>

#include <algorithm>

namespace Nod::Presentation {

NoteAreaLayout::NoteAreaLayout(QGraphicsItem *page, QObject *parent)
    : QObject(parent)
    , m_page(page)
{ }

NoteAreaLayout::~NoteAreaLayout() = default;

NoteAreaLayout *NoteAreaLayout::create(int mode, QGraphicsItem *page, double pageWidth, QObject *parent)
{
    const QRectF bounds = page->boundingRect();
    switch (mode) {
    case 1: {
        QRectF column = bounds;
        column.setLeft(pageWidth);
        return new NoteAreaOneColumnLayout(page, column, parent);
    }
    case 2: {
        QRectF column = bounds;
        column.setRight(0);
        return new NoteAreaOneColumnLayout(page, column, parent);
    }
    case 3: {
        QRectF left = bounds;
        left.setRight(0);
        QRectF right = bounds;
        right.setLeft(pageWidth);
        return new NoteAreaTwoColumnLayout(page, left, right, parent);
    }
    default:
        return new NoteAreaNoColumnLayout(page, parent);
    }
}

void NoteAreaLayout::add(Column &column, MarkerItem *mark, NoteItem *note)
{
    const double scale = note->scale() > 0 ? note->scale() : 1.0;
    note->setNoteWidth(std::max(1.0, (column.rect.width() - pageGap - outerGap) / scale));
    auto after = std::find_if(
        column.notes.begin(), column.notes.end(), [mark](const QPair<MarkerItem *, NoteItem *> &pair) {
            return MarkerItem::lessThan(mark, pair.first);
        });
    column.notes.insert(after, qMakePair(mark, note));
}

void NoteAreaLayout::remove(Column &column, MarkerItem *mark, NoteItem *note)
{
    column.notes.removeAll(qMakePair(mark, note));
}

void NoteAreaLayout::layout(const Column &column)
{
    if (!column.rect.isValid()) {
        return;
    }
    const int count = column.notes.size();
    const double x = column.rect.left() < 0 ? column.rect.left() + outerGap : column.rect.left() + pageGap;
    QVector<double> heights(count);
    for (int i = 0; i < count; ++i) {
        const NoteItem *note = column.notes.at(i).second;
        const QRectF rect = note->boundingRect();
        heights[i] = rect.isEmpty() ? 0.0 : rect.height() * note->scale();
    }
    // The highest each note may sit so that it and all notes after it still fit above the bottom,
    // and the lowest so that all notes before it fit below the top.
    QVector<double> low(count);
    double top = spacing;
    for (int i = 0; i < count; ++i) {
        low[i] = top;
        if (heights.at(i) > 0) {
            top += heights.at(i) + spacing;
        }
    }
    QVector<double> high(count);
    double acc = spacing;
    for (int i = count - 1; i >= 0; --i) {
        if (heights.at(i) > 0) {
            acc += heights.at(i) + spacing;
        }
        high[i] = column.rect.bottom() - acc;
    }
    double next = spacing;
    for (int i = 0; i < count; ++i) {
        const QPair<MarkerItem *, NoteItem *> &pair = column.notes.at(i);
        const double wanted = pair.first->pos().y();
        const double clamped = wanted <= low.at(i) ? low.at(i) : std::min(wanted, high.at(i));
        const double y = std::max(next, clamped);
        pair.second->setPos(x, y);
        if (heights.at(i) > 0) {
            next = y + heights.at(i) + spacing;
        }
    }
}

NoteAreaOneColumnLayout::NoteAreaOneColumnLayout(QGraphicsItem *page, const QRectF &column, QObject *parent)
    : NoteAreaLayout(page, parent)
{
    m_column.rect = column;
}

void NoteAreaOneColumnLayout::addNote(MarkerItem *mark, NoteItem *note) { add(m_column, mark, note); }
void NoteAreaOneColumnLayout::removeNote(MarkerItem *mark, NoteItem *note) { remove(m_column, mark, note); }
void NoteAreaOneColumnLayout::clear() { m_column.notes.clear(); }
void NoteAreaOneColumnLayout::relayout() { layout(m_column); }

NoteAreaTwoColumnLayout::NoteAreaTwoColumnLayout(
    QGraphicsItem *page, const QRectF &left, const QRectF &right, QObject *parent)
    : NoteAreaLayout(page, parent)
{
    m_left.rect = left;
    m_right.rect = right;
}

void NoteAreaTwoColumnLayout::addNote(MarkerItem *mark, NoteItem *note)
{
    const QPointF anchor = page()->mapFromItem(mark, mark->anchor());
    if (anchor.x() < page()->boundingRect().center().x()) {
        add(m_left, mark, note);
    } else {
        add(m_right, mark, note);
    }
}

void NoteAreaTwoColumnLayout::removeNote(MarkerItem *mark, NoteItem *note)
{
    remove(m_left, mark, note);
    remove(m_right, mark, note);
}

void NoteAreaTwoColumnLayout::clear()
{
    m_left.notes.clear();
    m_right.notes.clear();
}

void NoteAreaTwoColumnLayout::relayout()
{
    layout(m_left);
    layout(m_right);
}

} // namespace Nod::Presentation
