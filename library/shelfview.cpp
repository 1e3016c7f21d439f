#include "shelfview.h"

#include "documentmodel.h"
#include "filteredshelfmodel.h"
#include "tableviewdelegate.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Nod::Presentation {

ShelfView::ShelfView(QWidget *parent)
    : QTableView(parent)
    , m_delegate(new TableViewDelegate(this))
{
    setObjectName(QStringLiteral("shelf"));
    setItemDelegate(m_delegate);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setMouseTracking(true);
    setShowGrid(false);
    setWordWrap(false);
    setAlternatingRowColors(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsMovable(true);
    // Newest first until the user picks another column.
    horizontalHeader()->setSortIndicator(DocumentModel::AddedAtColumn, Qt::DescendingOrder);
    setSortingEnabled(true);

    m_notice = new QWidget(this);
    m_notice->setObjectName(QStringLiteral("shelfNotice"));
    m_notice->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(m_notice);
    m_noticeTitle = new QLabel(m_notice);
    m_noticeTitle->setObjectName(QStringLiteral("noticeTitle"));
    m_noticeText = new QLabel(m_notice);
    m_noticeText->setObjectName(QStringLiteral("noticeText"));
    m_noticeAddFiles = new QPushButton(tr("Add Files"), m_notice);
    m_noticeAddFiles->setObjectName(QStringLiteral("noticeAddFiles"));
    for (QLabel *label : { m_noticeTitle, m_noticeText }) {
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
    }
    QFont titleFont = m_noticeTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    m_noticeTitle->setFont(titleFont);
    layout->addStretch(1);
    layout->addWidget(m_noticeTitle);
    layout->addWidget(m_noticeText);
    layout->addWidget(m_noticeAddFiles, 0, Qt::AlignHCenter);
    layout->addStretch(2);
    m_notice->hide();
    connect(m_noticeAddFiles, &QPushButton::clicked, this, &ShelfView::addFilesRequested);

    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid()) {
            emit openFileRequested(index);
        }
    });
}

void ShelfView::setShelfModel(FilteredShelfModel *model)
{
    m_shelf = model;
    setModel(model);
    for (auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved }) {
        connect(model, signal, this, &ShelfView::updateNotice);
    }
    connect(model, &QAbstractItemModel::modelReset, this, &ShelfView::updateNotice);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ShelfView::updateNotice);
    connect(model, &FilteredShelfModel::searchWordChanged, this, &ShelfView::updateNotice);
    connect(model, &FilteredShelfModel::tagsChanged, this, &ShelfView::updateNotice);
    horizontalHeader()->resizeSection(DocumentModel::TitleColumn, 320);
    // Dates and headers shown whole; a restored layout overrides these first-start widths.
    const QString sampleDate
        = QLocale().toString(QDateTime(QDate(2026, 12, 28), QTime(23, 59)), QLocale::ShortFormat);
    const int dateWidth = fontMetrics().horizontalAdvance(sampleDate) + 24;
    for (int column : { int(DocumentModel::AddedAtColumn), int(DocumentModel::LastReadedAtColumn) }) {
        horizontalHeader()->resizeSection(column, dateWidth);
    }
    for (int column : { int(DocumentModel::AnnotationCountColumn), int(DocumentModel::CategoriesColumn) }) {
        const QString title = model->headerData(column, Qt::Horizontal).toString();
        horizontalHeader()->resizeSection(column, fontMetrics().horizontalAdvance(title) + 32);
    }
    applySortIndicator();
    updateNotice();
}

void ShelfView::applySortIndicator()
{
    sortByColumn(horizontalHeader()->sortIndicatorSection(), horizontalHeader()->sortIndicatorOrder());
}

QString ShelfView::noticeTitle() const
{
    return m_notice->isVisibleTo(this) ? m_noticeTitle->text() : QString();
}

QString ShelfView::noticeText() const
{
    return m_notice->isVisibleTo(this) ? m_noticeText->text() : QString();
}

bool ShelfView::isNoticeShown() const { return m_notice->isVisibleTo(this); }

void ShelfView::updateNotice()
{
    if (!m_shelf || !m_shelf->sourceModel()) {
        return;
    }
    const QString word = m_shelf->searchWord();
    const bool byCategory = !m_shelf->filterTags().isEmpty();
    if (m_shelf->sourceModel()->rowCount() == 0) {
        m_noticeTitle->setText(tr("The library is empty."));
        m_noticeText->setText(tr("Open a document, then you can grasp the key point and take notes"));
        m_noticeText->show();
        m_noticeAddFiles->show();
    } else if (m_shelf->rowCount() == 0) {
        if (!word.isEmpty() && byCategory) {
            m_noticeTitle->setText(
                tr("Can't find document with title that contains '%1' in current categoreis").arg(word));
        } else if (byCategory) {
            m_noticeTitle->setText(tr("Can't find document in current categories"));
        } else {
            m_noticeTitle->setText(tr("Can't find document with title that contains '%1'").arg(word));
        }
        m_noticeText->clear();
        m_noticeText->hide();
        m_noticeAddFiles->hide();
    } else {
        m_notice->hide();
        return;
    }
    m_notice->setGeometry(viewport()->geometry());
    m_notice->show();
    m_notice->raise();
}

void ShelfView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    m_notice->setGeometry(viewport()->geometry());
}

void ShelfView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    // Moving along one row is no change of document.
    if (current.sibling(current.row(), 0) != previous.sibling(previous.row(), 0)) {
        emit currentIndexChanged(current);
    }
}

void ShelfView::removeRows(const QModelIndexList &selectedRows)
{
    if (!m_shelf) {
        return;
    }
    QVector<int> sourceRows;
    for (const QModelIndex &index : selectedRows) {
        const QModelIndex source = m_shelf->mapToSource(index);
        if (source.isValid() && !sourceRows.contains(source.row())) {
            sourceRows.append(source.row());
        }
    }
    // From the bottom up, so that the rows still to go keep their numbers.
    std::sort(sourceRows.begin(), sourceRows.end(), std::greater<int>());
    for (int row : qAsConst(sourceRows)) {
        m_shelf->sourceModel()->removeRows(row, 1);
    }
}

void ShelfView::removeSelectedRows()
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty()) {
        return;
    }
    // Removal takes every annotation of the documents with it; one key press must not do that unasked.
    const QMessageBox::StandardButton answer = QMessageBox::question(this, tr("Remove Files?"),
        tr("Remove %n document(s) and all their annotations from the library? The files stay on disk.",
            nullptr, rows.size()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        removeRows(rows);
    }
}

void ShelfView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Delete) || event->key() == Qt::Key_Delete) {
        removeSelectedRows();
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState
        && currentIndex().isValid()) {
        emit openFileRequested(currentIndex());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ShelfView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid()) {
        return;
    }
    if (!selectionModel()->isRowSelected(index.row(), QModelIndex())) {
        setCurrentIndex(index);
    }
    QMenu menu(this);
    connect(menu.addAction(tr("&Open File")), &QAction::triggered, this,
        [this, index] { emit openFileRequested(index); });
    connect(menu.addAction(tr("Open &Folder")), &QAction::triggered, this,
        [this, index] { emit openFolderRequested(index); });
    connect(menu.addAction(tr("Rename Title")), &QAction::triggered, this,
        [this, index] { edit(index.sibling(index.row(), DocumentModel::TitleColumn)); });
    connect(menu.addAction(tr("Relocate File...")), &QAction::triggered, this,
        [this, index] { emit relocateRequested(index); });
    connect(menu.addAction(tr("Export &Notes...")), &QAction::triggered, this,
        [this, index] { emit exportNotesRequested(index); });
    menu.addSeparator();
    connect(menu.addAction(tr("&Remove Files")), &QAction::triggered, this, &ShelfView::removeSelectedRows);
    menu.exec(event->globalPos());
}

void ShelfView::mouseMoveEvent(QMouseEvent *event)
{
    QTableView::mouseMoveEvent(event);
    setHoveredRow(indexAt(event->pos()).row());
}

void ShelfView::leaveEvent(QEvent *event)
{
    QTableView::leaveEvent(event);
    setHoveredRow(-1);
}

void ShelfView::setHoveredRow(int row)
{
    if (row == m_hoveredRow) {
        return;
    }
    m_hoveredRow = row;
    m_delegate->setHoveredRow(row);
    viewport()->update();
}

} // namespace Nod::Presentation
