// The find bar and search of the view shared by all three document views.
#include "baseview.h"
#include "searching.h"
#include "searchline.h"

#include <QFutureInterface>
#include <QGraphicsPathItem>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>

namespace Base {

namespace {

// Searches shorter than this never show the progress dialog.
constexpr int ProgressDelayMs = 500;
constexpr int SearchLineWidth = 320;
constexpr int SearchLineMargin = 8;

} // namespace

void View::setUpSearch()
{
    m_searchLine = new Nod::Presentation::SearchLine(this);
    m_searching = new Searching(this, this);
    connect(m_searchLine, &Nod::Presentation::SearchLine::search, m_searching, &Searching::start);
    connect(m_searchLine, &Nod::Presentation::SearchLine::nextResult, m_searching, &Searching::nextResult);
    connect(m_searchLine, &Nod::Presentation::SearchLine::previousResult, m_searching,
        &Searching::previousResult);
    connect(
        m_searchLine, &Nod::Presentation::SearchLine::clearResults, m_searching, &Searching::clearResults);
    connect(m_searching, &Searching::numberOfResultChanged, m_searchLine,
        &Nod::Presentation::SearchLine::setTotal);
    connect(m_searching, &Searching::resultCleared, m_searchLine, [this] { m_searchLine->setTotal(0); });
    connect(m_searching, &Searching::currentResultChanged, this, &View::on_searching_currentResultChanged);
    connect(m_searching, &Searching::started, this, &View::on_searching_started);
    connect(m_searching, &Searching::finished, this, &View::on_searching_finished);
    connect(m_searching, &Searching::canceled, this, &View::on_searching_ended);
}

QFuture<QVector<ISearchable::Result>> View::search(const QString &)
{
    QFutureInterface<QVector<ISearchable::Result>> nothing;
    nothing.reportStarted();
    nothing.reportFinished();
    return nothing.future();
}

void View::clearSearch()
{
    m_searching->clearResults();
    m_searchLine->hide();
}

void View::resizeEvent(QResizeEvent *event)
{
    QGraphicsView::resizeEvent(event);
    placeSearchLine();
}

void View::placeSearchLine()
{
    const QRect area = viewport()->geometry();
    const int width = qMin(SearchLineWidth, qMax(area.width() - 2 * SearchLineMargin, 0));
    const int height = m_searchLine->sizeHint().height();
    m_searchLine->setGeometry(
        area.right() - SearchLineMargin - width + 1, area.top() + SearchLineMargin, width, height);
}

void View::revealSearchResult(QGraphicsItem *highlight)
{
    const QRectF shown = mapToScene(viewport()->rect()).boundingRect();
    if (!shown.contains(highlight->sceneBoundingRect())) {
        centerOn(highlight);
    }
}

void View::on_searching_currentResultChanged(int current)
{
    m_searchLine->setCurrent(current);
    if (QGraphicsItem *highlight = m_searching->currentHighlight()) {
        revealSearchResult(highlight);
    }
}

void View::on_searching_started()
{
    if (!m_searchProgress) {
        m_searchProgress = new QProgressDialog(this);
        m_searchProgress->setObjectName(QStringLiteral("searchProgress"));
        m_searchProgress->setWindowTitle(tr("Search"));
        m_searchProgress->setLabelText(tr("Searching..."));
        m_searchProgress->setCancelButtonText(tr("Cancel"));
        m_searchProgress->setWindowModality(Qt::WindowModal);
        m_searchProgress->setAutoClose(false);
        m_searchProgress->setAutoReset(false);
        m_searchProgress->setMinimumDuration(ProgressDelayMs);
        // A new dialog shows itself after its delay unless it is reset.
        m_searchProgress->reset();
        connect(m_searchProgress, &QProgressDialog::canceled, m_searching, &Searching::cancel);
        connect(m_searching, &Searching::progressRangeChanged, m_searchProgress, &QProgressDialog::setRange);
        connect(m_searching, &Searching::progressValueChanged, m_searchProgress, &QProgressDialog::setValue);
    }
    m_searchProgress->setRange(0, 0);
    m_searchProgress->setValue(0);
}

void View::on_searching_ended()
{
    if (m_searchProgress) {
        m_searchProgress->reset();
        m_searchProgress->hide();
    }
}

void View::on_searching_finished()
{
    on_searching_ended();
    if (m_searching->total() > 0) {
        return;
    }
    const QString keyword = m_searching->keyword().isEmpty() ? m_searchLine->text() : m_searching->keyword();
    auto *box = new QMessageBox(QMessageBox::Information, tr("Can not find anythig"),
        tr("No results for \"") + keyword + QLatin1Char('"'), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("noResultsBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace Base
