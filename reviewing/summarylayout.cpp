#include "summarylayout.h"

#include "page.h"
#include "summary.h"

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>

#include <QScopedValueRollback>

#include <algorithm>

using Nod::Presentation::MarkerItem;
using Nod::Presentation::NoteItem;

namespace Reviewing {

SummaryLayout::SummaryLayout(Page *page, QObject *parent)
    : NoteAreaLayout(page, parent)
    , m_page(page)
    , m_mode(page->noteAreaMode())
{ }

SummaryLayout::~SummaryLayout() { clear(); }

QList<Summary *> SummaryLayout::summaries() const
{
    QList<Summary *> list;
    list.reserve(m_summaries.size());
    for (const QPointer<Summary> &summary : m_summaries) {
        if (summary) {
            list.append(summary);
        }
    }
    return list;
}

void SummaryLayout::addNote(MarkerItem *mark, NoteItem *note)
{
    if (!m_page || !mark || !note) {
        return;
    }
    auto *summary = new Summary(mark, note, m_page);
    summary->setNoteAreaMode(m_mode);
    // A row that grows or shrinks on its own moves every row below it.
    connect(summary, &Summary::heightChanged, this, [this] {
        if (!m_laying) {
            relayout();
        }
    });
    const auto after
        = std::find_if(m_summaries.begin(), m_summaries.end(), [&](const QPointer<Summary> &other) {
              return other && Summary::comesBefore(summary, other, m_mode);
          });
    m_summaries.insert(after, summary);
    emit orderChanged();
}

void SummaryLayout::removeNote(MarkerItem *mark, NoteItem *)
{
    for (int i = 0; i < m_summaries.size(); ++i) {
        Summary *summary = m_summaries.at(i);
        if (summary && summary->canvas() == mark) {
            m_summaries.removeAt(i);
            summary->release();
            delete summary;
            emit orderChanged();
            return;
        }
    }
}

void SummaryLayout::clear()
{
    const QList<QPointer<Summary>> rows = m_summaries;
    m_summaries.clear();
    for (const QPointer<Summary> &summary : rows) {
        if (summary) {
            summary->release();
            delete summary.data();
        }
    }
}

void SummaryLayout::relayout()
{
    const QScopedValueRollback<bool> laying(m_laying, true);
    m_summaries.removeAll(QPointer<Summary>());
    // A reshaped canvas may have moved its row; the order is by anchor, stable for equal ones.
    const QList<QPointer<Summary>> before = m_summaries;
    std::stable_sort(m_summaries.begin(), m_summaries.end(),
        [this](const QPointer<Summary> &a, const QPointer<Summary> &b) {
            return Summary::comesBefore(a, b, m_mode);
        });
    double y = 0;
    for (const QPointer<Summary> &summary : qAsConst(m_summaries)) {
        summary->setNoteAreaMode(m_mode);
        summary->updateGeometry();
        summary->setPos(0, y - summary->boundingRect().top());
        y += summary->height();
    }
    if (before != m_summaries) {
        emit orderChanged();
    }
    m_height = y;
    emit heightChanged(y);
}

} // namespace Reviewing
