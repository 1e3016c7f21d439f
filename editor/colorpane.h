#pragma once

#include <QColor>
#include <QVector>
#include <QWidget>

class QGridLayout;
class QToolButton;

namespace Nod::Presentation {

// A grid of colour swatches, shown in a pop-up menu. Its buttons never take the keyboard focus, so
// picking a colour leaves the text being edited, and its selection, where they were.
class ColorPane : public QWidget
{
    Q_OBJECT

public:
    // The 40 colours of the note editor, in their order.
    static QVector<QColor> standardColors();

    explicit ColorPane(const QVector<QColor> &colors, int columns = 8, QWidget *parent = nullptr);
    explicit ColorPane(QWidget *parent = nullptr);

    QVector<QColor> colors() const { return m_colors; }
    // Marks the swatch of that colour, if the pane has one.
    void setCurrentColor(const QColor &color);
    QColor currentColor() const { return m_current; }
    // The swatch of colour `index`, or null.
    QToolButton *button(int index) const;

signals:
    void clicked(QColor color);

private:
    QVector<QColor> m_colors;
    QVector<QToolButton *> m_buttons; // children
    QColor m_current;
};

} // namespace Nod::Presentation
