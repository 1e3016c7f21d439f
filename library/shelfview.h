#pragma once

#include <QTableView>

class QLabel;
class QPushButton;

namespace Nod::Presentation {

class FilteredShelfModel;
class TableViewDelegate;

// The shelf: the library's documents as a sortable table over the filtered shelf model, with a
// notice in place of the rows when the library is empty or nothing matches the filters.
class ShelfView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShelfView)

public:
    explicit ShelfView(QWidget *parent = nullptr);

    // Call once; the model is not owned.
    void setShelfModel(FilteredShelfModel *model);
    FilteredShelfModel *shelfModel() const { return m_shelf; }

    // The notice's visible texts, empty while the table shows rows.
    QString noticeTitle() const;
    QString noticeText() const;
    bool isNoticeShown() const;
    // Sorts the rows as the header's indicator says, after the header's state was restored.
    void applySortIndicator();

signals:
    void openFileRequested(QModelIndex index);
    void openFolderRequested(QModelIndex index);
    void relocateRequested(QModelIndex index);
    void exportNotesRequested(QModelIndex index);
    void currentIndexChanged(QModelIndex current);
    void addFilesRequested();

public slots:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    // Removes the documents of the given shelf rows, with everything they carry, without asking.
    void removeRows(const QModelIndexList &selectedRows);
    // Asks first, then removes the selected rows.
    void removeSelectedRows();
    void updateNotice();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void setHoveredRow(int row);

    FilteredShelfModel *m_shelf = nullptr; // not owned
    TableViewDelegate *m_delegate = nullptr; // owned through the parent tree
    QWidget *m_notice = nullptr;
    QLabel *m_noticeTitle = nullptr;
    QLabel *m_noticeText = nullptr;
    QPushButton *m_noticeAddFiles = nullptr;
    int m_hoveredRow = -1;
};

} // namespace Nod::Presentation
