#pragma once

#include <QList>
#include <QObject>
#include <QRectF>

namespace Base {
class Page;
}

// Places the page items of a paged scene: in a grid of columns (continuous), or all on one centre
// (non-continuous, one page shown at a time). Positions are applied by relayout(), which reports the
// new scene rectangle through layoutChanged(). The layout does not own the pages.
class PageLayout final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageLayout)

public:
    explicit PageLayout(QObject *parent = nullptr);

    int columnCount() const { return m_numCols; }
    int firstColumn() const { return m_firstCol; }
    // Ignored for count <= 0 or when nothing changes; the first column is clamped into range.
    void setColumnCount(int columnCount, int firstColumn = 0);
    double xSpacing() const { return m_xSpacing; }
    double ySpacing() const { return m_ySpacing; }
    void setSpacing(double xSpacing, double ySpacing);
    bool isContinuous() const { return m_continuous; }
    // Non-continuous also resets to one column with first column 0; continuous relayouts.
    void setContinuous(bool continuous);

    void addPage(Base::Page *page);
    void removePage(Base::Page *page);
    void clearPages();
    int rowOf(const Base::Page *page) const;
    int columnOf(const Base::Page *page) const;

public slots:
    void relayout();

signals:
    void layoutChanged(const QRectF &sceneRect);

private:
    struct LayoutItem
    {
        Base::Page *page; // not owned
        int row;
        int col;
    };

    void rearrange();
    void continuousLayout();
    void singlePageLayout();

    QList<LayoutItem> m_layoutItems;
    int m_numCols = 1;
    int m_firstCol = 0;
    double m_xSpacing = 10.0;
    double m_ySpacing = 6.0;
    bool m_continuous = true;
};
