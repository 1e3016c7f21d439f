#include "pagelayout.h"

#include <reading/basepage.h>

#include <QVector>

#include <algorithm>

PageLayout::PageLayout(QObject *parent)
    : QObject(parent)
{ }

void PageLayout::setColumnCount(int columnCount, int firstColumn)
{
    if (columnCount <= 0) {
        return;
    }
    firstColumn = qBound(0, firstColumn, columnCount - 1);
    if (columnCount == m_numCols && firstColumn == m_firstCol) {
        return;
    }
    m_numCols = columnCount;
    m_firstCol = firstColumn;
    rearrange();
}

void PageLayout::setSpacing(double xSpacing, double ySpacing)
{
    m_xSpacing = xSpacing;
    m_ySpacing = ySpacing;
}

void PageLayout::setContinuous(bool continuous)
{
    if (continuous == m_continuous) {
        return;
    }
    m_continuous = continuous;
    if (!continuous) {
        m_numCols = 1;
        m_firstCol = 0;
        rearrange();
    } else {
        relayout();
    }
}

void PageLayout::addPage(Base::Page *page)
{
    LayoutItem item { page, 0, m_firstCol };
    if (!m_layoutItems.isEmpty()) {
        const LayoutItem &last = m_layoutItems.last();
        item.row = last.row;
        item.col = last.col + 1;
        if (item.col >= m_numCols) {
            item.col = 0;
            ++item.row;
        }
    }
    m_layoutItems.append(item);
}

void PageLayout::removePage(Base::Page *page)
{
    for (int i = 0; i < m_layoutItems.size(); ++i) {
        if (m_layoutItems[i].page == page) {
            m_layoutItems.removeAt(i);
            rearrange();
            return;
        }
    }
}

void PageLayout::clearPages() { m_layoutItems.clear(); }

int PageLayout::rowOf(const Base::Page *page) const
{
    for (const LayoutItem &item : m_layoutItems) {
        if (item.page == page) {
            return item.row;
        }
    }
    return -1;
}

int PageLayout::columnOf(const Base::Page *page) const
{
    for (const LayoutItem &item : m_layoutItems) {
        if (item.page == page) {
            return item.col;
        }
    }
    return -1;
}

void PageLayout::rearrange()
{
    int row = 0;
    int col = m_firstCol;
    for (LayoutItem &item : m_layoutItems) {
        item.row = row;
        item.col = col;
        if (++col >= m_numCols) {
            col = 0;
            ++row;
        }
    }
}

void PageLayout::relayout()
{
    if (m_continuous) {
        continuousLayout();
    } else {
        singlePageLayout();
    }
}

void PageLayout::singlePageLayout()
{
    qreal width = 0;
    qreal height = 0;
    for (const LayoutItem &item : qAsConst(m_layoutItems)) {
        const QRectF bounds = item.page->boundingRect();
        item.page->setPos(-bounds.left() - bounds.width() / 2, -bounds.top() - bounds.height() / 2);
        width = std::max(width, bounds.width());
        height = std::max(height, bounds.height());
    }
    emit layoutChanged(QRectF(-width / 2, -height / 2, width, height));
}

void PageLayout::continuousLayout()
{
    if (m_layoutItems.isEmpty()) {
        emit layoutChanged(QRectF());
        return;
    }
    const int rows = m_layoutItems.last().row + 1;
    QVector<qreal> colWidth(m_numCols, 0);
    QVector<qreal> rowHeight(rows, 0);
    for (const LayoutItem &item : qAsConst(m_layoutItems)) {
        const QRectF bounds = item.page->boundingRect();
        colWidth[item.col] = std::max(colWidth[item.col], bounds.width());
        rowHeight[item.row] = std::max(rowHeight[item.row], bounds.height());
    }
    // Left edges of the columns and top edges of the rows, each followed by the spacing.
    QVector<qreal> colLeft(m_numCols + 1, 0);
    for (int c = 0; c < m_numCols; ++c) {
        colLeft[c + 1] = colLeft[c] + colWidth[c] + m_xSpacing;
    }
    QVector<qreal> rowTop(rows + 1, 0);
    for (int r = 0; r < rows; ++r) {
        rowTop[r + 1] = rowTop[r] + rowHeight[r] + m_ySpacing;
    }

    for (const LayoutItem &item : qAsConst(m_layoutItems)) {
        const QRectF bounds = item.page->boundingRect();
        qreal x;
        if (m_numCols == 1) {
            x = colLeft[0] + (colWidth[0] - bounds.width()) / 2;
        } else if (item.col == 0) {
            x = colLeft[0] + colWidth[0] - bounds.width();
        } else if (item.col == m_numCols - 1) {
            x = colLeft[item.col];
        } else {
            x = colLeft[item.col] + (colWidth[item.col] - bounds.width()) / 2;
        }
        const qreal y = rowTop[item.row] + (rowHeight[item.row] - bounds.height()) / 2;
        // The item's origin is the page's top-left, not the note area's.
        item.page->setPos(x - bounds.left(), y - bounds.top());
    }
    emit layoutChanged(QRectF(-m_xSpacing / 2, -m_ySpacing / 2, colLeft[m_numCols], rowTop[rows]));
}
