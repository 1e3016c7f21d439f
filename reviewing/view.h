#pragma once

#include <reading/pagedview.h>

#include <QPointer>
#include <QSet>
#include <QSharedPointer>

namespace Nod::Presentation {
class EmptyStateNotice;
}

namespace Reviewing {

class Scene;

// The summary view: scrolls and zooms a summary scene (Ctrl+wheel gathers notches for 100 ms),
// keeps the current page (the first page in the upper half of the viewport), drops the excerpt
// images of pages that leave the viewport, and shows a notice with a way to the reading view while
// the document has no annotations. Row actions (jump, remove) come from the scene's items.
class View final : public PagedView
{
    Q_OBJECT

public:
    explicit View(QWidget *parent = nullptr);
    ~View() override;

    void setScene(const QSharedPointer<Scene> &scene);
    QSharedPointer<Scene> summaryScene() const { return m_scene; }
    // -1 while no page shows a row.
    int currentPage() const { return m_currentPage; }
    // Null while annotations exist.
    Nod::Presentation::EmptyStateNotice *emptyStateNotice() const;

    // Shows the print dialog and prints the rows; false when nothing was printed.
    bool print() override;
    // Finds the keyword row after row on worker threads: in the page text of the row's excerpt,
    // then in its note when notes are shown.
    QFuture<QVector<ISearchable::Result>> search(const QString &keyword) override;
    void completeResults(QVector<ISearchable::Result> &results, const QString &keyword) override;
    // Stores the note being edited as an undo step (before the view is left or the tab closes).
    void commitEditing();

public slots:
    // Scrolls the annotation's row into the middle of the view and selects it.
    void jumpToAnnotation(int annoId);
    void on_scene_contentChanged();

signals:
    void changedPage(int pageNum);
    void toggleView(int annoId);
    // The notice's button: the user goes to the reading view to annotate.
    void readingViewRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeNotice();
    void trackVisiblePages();

    QSharedPointer<Scene> m_scene;
    QPointer<Nod::Presentation::EmptyStateNotice> m_notice; // child while shown
    int m_currentPage = -1;
    QSet<int> m_visiblePages; // indexes of the pages the last paint showed
};

} // namespace Reviewing
