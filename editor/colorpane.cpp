#include "colorpane.h"

#include <QGridLayout>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

namespace Nod::Presentation {

namespace {

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0, 0, 0, 60));
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

} // namespace

QVector<QColor> ColorPane::standardColors()
{
    static const char *const names[] = { "#000000", "#993300", "#333300", "#003300", "#003366", "#000080",
        "#333399", "#333333", "#800000", "#ff6600", "#808000", "#008000", "#008080", "#0000ff", "#666699",
        "#808080", "#ff0000", "#ff9900", "#99cc00", "#339966", "#33cccc", "#3366ff", "#800080", "#999999",
        "#ff00ff", "#ffcc00", "#ffff00", "#00ff00", "#00ffff", "#00ccff", "#993366", "#c0c0c0", "#ff99cc",
        "#ffcc99", "#ffff99", "#ccffcc", "#ccffff", "#99ccff", "#cc99ff", "#ffffff" };
    QVector<QColor> colors;
    for (const char *name : names) {
        colors << QColor(QLatin1String(name));
    }
    return colors;
}

ColorPane::ColorPane(QWidget *parent)
    : ColorPane(standardColors(), 8, parent)
{ }

ColorPane::ColorPane(const QVector<QColor> &colors, int columns, QWidget *parent)
    : QWidget(parent)
    , m_colors(colors)
{
    setFocusPolicy(Qt::NoFocus);
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(2);
    columns = qMax(1, columns);
    for (int i = 0; i < m_colors.size(); ++i) {
        const QColor color = m_colors.at(i);
        auto *button = new QToolButton(this);
        button->setObjectName(QStringLiteral("ColorPane-color"));
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRaise(true);
        button->setCheckable(true);
        button->setIcon(swatch(color));
        button->setIconSize(QSize(16, 16));
        button->setToolTip(color.name());
        connect(button, &QToolButton::clicked, this, [this, color] {
            setCurrentColor(color);
            emit clicked(color);
        });
        grid->addWidget(button, i / columns, i % columns);
        m_buttons << button;
    }
}

void ColorPane::setCurrentColor(const QColor &color)
{
    m_current = color;
    for (int i = 0; i < m_buttons.size(); ++i) {
        m_buttons.at(i)->setChecked(color.isValid() && m_colors.at(i).rgba() == color.rgba());
    }
}

QToolButton *ColorPane::button(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons.at(index) : nullptr;
}

} // namespace Nod::Presentation
