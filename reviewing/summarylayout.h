#pragma once

#include <annotating/notearealayout.h>

#include <QList>
#include <QPointer>

namespace Reviewing {

class Page;
class Summary;

// Stacks the rows of one summary page from its top without gaps, in row order. It stands in for
// the page's note-area layout, so the annotation side hands it every canvas and note of the page;
// it owns the rows it makes for them (as children of the page), not the canvases and notes.
class SummaryLayout final : public Nod::Presentation::NoteAreaLayout
{
    Q_OBJECT

public:
    explicit SummaryLayout(Page *page, QObject *parent = nullptr);
    // Gives the canvases and notes back to the page and deletes the rows.
    ~SummaryLayout() override;

    QList<Summary *> summaries() const;
    int noteAreaMode() const { return m_mode; }
    // The height of the rows, as last laid out.
    double height() const { return m_height; }

    void addNote(Nod::Presentation::MarkerItem *mark, Nod::Presentation::NoteItem *note) override;
    void removeNote(Nod::Presentation::MarkerItem *mark, Nod::Presentation::NoteItem *note) override;
    void clear() override;
    void relayout() override;

signals:
    void heightChanged(double height);
    void orderChanged();

private:
    QPointer<Page> m_page;
    int m_mode;
    QList<QPointer<Summary>> m_summaries; // children of the page, owned
    double m_height = 0;
    bool m_laying = false; // the rows' height changes during a pass are the pass's own
};

} // namespace Reviewing
