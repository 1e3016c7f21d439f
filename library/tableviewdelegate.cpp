#include "tableviewdelegate.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QPainter>

namespace Nod::Presentation {

TableViewDelegate::TableViewDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{ }

void TableViewDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    if (selected) {
        painter->fillRect(opt.rect, QColor(QStringLiteral("#bbdefb")));
    } else if (index.row() == m_hoveredRow) {
        painter->fillRect(opt.rect, QColor(QStringLiteral("#e3ecfc")));
    }
    // The colours above replace the style's own selection and hover look; the text stays readable.
    opt.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    opt.backgroundBrush = Qt::NoBrush;
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
}

QString TableViewDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    if (value.userType() == QMetaType::QDateTime) {
        const QDateTime at = value.toDateTime();
        return at.isValid() ? locale.toString(at, QLocale::ShortFormat) : QString();
    }
    return QStyledItemDelegate::displayText(value, locale);
}

} // namespace Nod::Presentation
