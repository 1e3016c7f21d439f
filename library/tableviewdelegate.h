#pragma once

#include <QStyledItemDelegate>

namespace Nod::Presentation {

// Paints the shelf's rows: the selected rows in "#bbdefb", the row under the pointer in "#e3ecfc",
// and dates in the user's short format.
class TableViewDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TableViewDelegate)

public:
    explicit TableViewDelegate(QObject *parent = nullptr);

    void paint(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QString displayText(const QVariant &value, const QLocale &locale) const override;

    // The row under the pointer; -1 for none.
    void setHoveredRow(int row) { m_hoveredRow = row; }

private:
    int m_hoveredRow = -1;
};

} // namespace Nod::Presentation
