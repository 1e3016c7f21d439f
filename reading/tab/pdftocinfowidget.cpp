#include "pdftocinfowidget.h"

#include "outlinemodel.h"

#include <backend/document.h>

#include <QEvent>
#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace Nod::Presentation {

PDFToCInfoWidget::PDFToCInfoWidget(QWidget *parent)
    : QWidget(parent)
    , m_tree(new QTreeView(this))
    , m_model(new OutlineModel(this))
    , m_watcher(new QFutureWatcher<QList<Backend::PDFToCItem>>(this))
{
    setObjectName(QStringLiteral("QtPDF.ToCInfoWidget"));
    setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tree->setModel(m_model);
    m_tree->setAlternatingRowColors(true);
    m_tree->setHeaderHidden(true);
    m_tree->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setUniformRowHeights(true);
    // Long entries scroll sideways instead of being cut.
    m_tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(false);
    layout->addWidget(m_tree);
    m_tree->viewport()->installEventFilter(this);
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &PDFToCInfoWidget::itemSelectionChanged);
    connect(m_watcher, &QFutureWatcherBase::finished, this, [this] {
        if (!m_watcher->isCanceled()) {
            setOutline(m_watcher->result());
        }
    });
    retranslateUi();
}

PDFToCInfoWidget::~PDFToCInfoWidget() = default;

void PDFToCInfoWidget::initFromDocument(const QSharedPointer<Backend::Document> &document)
{
    clear();
    if (!document) {
        return;
    }
    // The task keeps the document alive; a result nobody waits for any more is dropped.
    m_watcher->setFuture(QtConcurrent::run([document] { return document->toc(); }));
}

void PDFToCInfoWidget::setOutline(const QList<Backend::PDFToCItem> &items)
{
    clear();
    m_model->setOutline(items);
    expandOpenEntries(QModelIndex());
    emit outlineLoaded();
}

void PDFToCInfoWidget::expandOpenEntries(const QModelIndex &parent)
{
    const int rows = m_model->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = m_model->index(row, 0, parent);
        if (index.data(OutlineModel::OpenRole).toBool()) {
            m_tree->expand(index);
            expandOpenEntries(index);
        }
    }
}

void PDFToCInfoWidget::clear()
{
    // Emptying the model must not look like a choice of the user.
    const QSignalBlocker blocker(m_tree->selectionModel());
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_model->clear();
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
}

void PDFToCInfoWidget::itemSelectionChanged()
{
    const QModelIndexList selected = m_tree->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return;
    }
    if (const PDFAction *action = m_model->action(selected.first())) {
        emit actionTriggered(action);
    }
}

bool PDFToCInfoWidget::eventFilter(QObject *watched, QEvent *event)
{
    // Rows span the whole width (for the alternating colours) and grow past it for long labels,
    // which then scroll sideways.
    if (watched == m_tree->viewport() && event->type() == QEvent::Resize) {
        m_tree->header()->setMinimumSectionSize(m_tree->viewport()->width());
    }
    return QWidget::eventFilter(watched, event);
}

void PDFToCInfoWidget::retranslateUi() { setWindowTitle(tr("Table of Contents")); }

void PDFToCInfoWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi();
    }
    QWidget::changeEvent(event);
}

} // namespace Nod::Presentation
