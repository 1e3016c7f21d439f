#pragma once

#include <editor/colorpane.h>

#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QVector>
#include <QWidgetAction>

class QMenu;

namespace Nod::Presentation {

// The tab's action for one marking tool: checkable, with the tool's type id as its data and a
// drop-down colour pane. In a tool bar it is a tool button showing the chosen colour under the
// tool's icon; in a menu it adds no widget, and a release over the menu triggers the entry under
// the pointer. Choosing a colour closes the drop-down, triggers the action (so the tool becomes
// the armed one) and announces the colour.
class AnnotationToolAction final : public QWidgetAction
{
    Q_OBJECT

public:
    AnnotationToolAction(const QIcon &icon, const QString &text, int toolType, QObject *parent);

    int toolType() const { return data().toInt(); }
    QColor color() const { return m_color; }
    // Shows the colour and announces it; the pane marks it when it holds it.
    void setColor(const QColor &color);
    // The colours of the pane; one already built is built again. The chosen colour stays.
    void setColors(const QVector<QColor> &colors, int columns);
    // Built when first asked for, at the latest when the drop-down first opens.
    ColorPane *pane();
    QMenu *colorMenu() const { return m_menu; }

signals:
    void colorChanged(const QColor &color);

protected:
    QWidget *createWidget(QWidget *parent) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateIcon();

    QIcon m_baseIcon;
    QColor m_color;
    QMenu *m_menu; // owned
    QPointer<ColorPane> m_pane; // in m_menu
    QVector<QColor> m_colors;
    int m_columns = 1;
};

} // namespace Nod::Presentation
