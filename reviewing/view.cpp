#include "view.h"

#include "emptystatenotice.h"
#include "page.h"
#include "scene.h"
#include "summary.h"

#include <reading/annotationindex.h>
#include <reading/backgroundmodeholder.h>
#include <reading/searchrequest.h>

#include <annotating/noteitem.h>

#include <QFutureInterface>
#include <QPrintDialog>
#include <QPrinter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <QtConcurrent>

namespace Reviewing {

View::View(QWidget *parent)
    : PagedView(parent)
{
    setObjectName(QStringLiteral("summaryView"));
    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setFocusPolicy(Qt::StrongFocus);
    setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    setViewportUpdateMode(QGraphicsView::MinimalViewportUpdate);
    // The excerpts take the colours of the background mode.
    connect(BackgroundModeHolder::instance(), &BackgroundModeHolder::modeChanged, viewport(),
        qOverload<>(&QWidget::update));
}

View::~View() = default;

Nod::Presentation::EmptyStateNotice *View::emptyStateNotice() const { return m_notice; }

void View::setScene(const QSharedPointer<Scene> &scene)
{
    if (m_scene) {
        disconnect(m_scene.data(), nullptr, this, nullptr);
    }
    m_scene = scene;
    m_visiblePages.clear();
    m_currentPage = -1;
    QGraphicsView::setScene(scene.data());
    if (scene) {
        connect(scene.data(), &Base::Scene::toggleView, this, &View::toggleView);
        connect(scene.data(), &Base::Scene::annotationCountChanged, this, &View::on_scene_contentChanged);
        connect(scene.data(), &Base::Scene::aboutToBeRebuilt, this, [this] { m_visiblePages.clear(); });
    }
    // The zoom stays as it is: the tab couples it across its views.
    setTransform(QTransform::fromScale(m_zoomLevel, m_zoomLevel));
    // A scene taller than the view would show its middle; the summary starts at its first row.
    verticalScrollBar()->setValue(verticalScrollBar()->minimum());
    on_scene_contentChanged();
}

void View::on_scene_contentChanged()
{
    const bool empty = !m_scene || m_scene->annotationCount() == 0;
    if (empty && !m_notice) {
        m_notice = new Nod::Presentation::EmptyStateNotice(tr("No annotations here."),
            tr("please add annotations in Reading View."), tr("Go to reading View"), this);
        connect(
            m_notice, &Nod::Presentation::EmptyStateNotice::buttonClicked, this, &View::readingViewRequested);
        placeNotice();
        m_notice->show();
    } else if (!empty && m_notice) {
        m_notice->hide();
        m_notice->deleteLater();
        m_notice.clear();
    }
    viewport()->update();
}

void View::placeNotice()
{
    if (!m_notice) {
        return;
    }
    const QSize hint = m_notice->sizeHint().expandedTo(QSize(320, 0)).boundedTo(viewport()->size());
    const QRect area = viewport()->geometry();
    m_notice->setGeometry(QRect(area.center() - QPoint(hint.width() / 2, hint.height() / 2), hint));
    m_notice->raise();
}

void View::resizeEvent(QResizeEvent *event)
{
    PagedView::resizeEvent(event);
    placeNotice();
}

void View::paintEvent(QPaintEvent *event)
{
    PagedView::paintEvent(event);
    if (m_scene) {
        trackVisiblePages();
    }
}

void View::trackVisiblePages()
{
    const QRectF visible = mapToScene(viewport()->rect()).boundingRect();
    const QRectF upperHalf(visible.topLeft(), QSizeF(visible.width(), visible.height() / 2));
    QSet<int> shown;
    int current = -1;
    const QList<Base::Page *> &pages = m_scene->pages();
    for (Base::Page *page : pages) {
        const QRectF bounds = page->sceneBoundingRect();
        if (bounds.height() <= 0) {
            continue;
        }
        if (bounds.top() >= visible.bottom()) {
            // Pages are stacked downwards: none further on is visible.
            break;
        }
        if (bounds.bottom() <= visible.top()) {
            continue;
        }
        shown.insert(page->pageNumber());
        if (current < 0 && bounds.top() < upperHalf.bottom() && bounds.bottom() > upperHalf.top()) {
            current = page->pageNumber();
        }
    }
    for (int index : qAsConst(m_visiblePages)) {
        if (!shown.contains(index)) {
            if (Page *page = m_scene->summaryPageAt(index)) {
                page->dropImages();
            }
        }
    }
    m_visiblePages = shown;
    if (current >= 0 && current != m_currentPage) {
        m_currentPage = current;
        emit changedPage(current);
    }
}

void View::jumpToAnnotation(int annoId)
{
    Summary *row = m_scene ? m_scene->summaryOf(annoId) : nullptr;
    if (!row) {
        return;
    }
    centerOn(row);
    m_scene->clearSelection();
    row->setSelected(true);
    row->setFocus(Qt::OtherFocusReason);
}

QFuture<QVector<ISearchable::Result>> View::search(const QString &keyword)
{
    if (!m_scene || keyword.isEmpty()) {
        return PagedView::search(keyword);
    }
    // One piece per row, in row order: the page text in its excerpt, then its note when shown.
    // What the workers read is copied here.
    QVector<SearchRequest> requests;
    const QList<Summary *> rows = m_scene->summaries();
    requests.reserve(rows.size());
    for (Summary *row : rows) {
        const auto *page = static_cast<const Base::Page *>(row->parentItem());
        SearchRequest request;
        request.keyword = keyword;
        request.page = page->page();
        // Rows go with their annotations; results find theirs again by id.
        request.annotationId = row->annotationId();
        request.pageTransform = page->pageTransform();
        request.clip = row->excerptRect();
        const Nod::Presentation::NoteItem *note = row->note();
        if (note && note->isVisible()) {
            SearchRequest::Note copy;
            copy.annotationId = row->annotationId();
            copy.plainText = note->document()->toPlainText();
            if (!copy.plainText.isEmpty()) {
                request.notes.append(copy);
            }
        }
        requests.append(request);
    }
    return QtConcurrent::mapped(std::move(requests), &SearchRequest::run);
}

void View::completeResults(QVector<ISearchable::Result> &results, const QString &keyword)
{
    for (ISearchable::Result &result : results) {
        Summary *row = m_scene ? m_scene->summaryOf(result.annotationId) : nullptr;
        if (!row) {
            result.path = QPainterPath();
        } else if (!result.path.isEmpty()) {
            result.item = row;
        } else if (Nod::Presentation::NoteItem *note = row->note(); note && note->isVisible()) {
            result.item = note;
            result.path = note->searchPaths(keyword);
        }
    }
}

void View::commitEditing()
{
    if (m_scene && m_scene->annotations()) {
        m_scene->annotations()->commitEditing();
    }
}

bool View::print()
{
    if (!m_scene || m_scene->annotationCount() == 0) {
        return false;
    }
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintDialog dialog(&printer, this);
    // How many sheets the rows fill depends on the paper chosen in the dialog.
    dialog.setMinMax(1, 9999);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    printer.setResolution(300);
    return m_scene->print(&printer, this);
}

} // namespace Reviewing
