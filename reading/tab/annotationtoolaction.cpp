#include "annotationtoolaction.h"

#include <editor/colorpane.h>

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>

namespace Nod::Presentation {

AnnotationToolAction::AnnotationToolAction(
    const QIcon &icon, const QString &text, int toolType, QObject *parent)
    : QWidgetAction(parent)
    , m_baseIcon(icon)
    , m_menu(new QMenu)
{
    setText(text);
    setIcon(icon);
    setData(toolType);
    setCheckable(true);
    m_menu->setObjectName(QStringLiteral("colorMenu"));
    setMenu(m_menu);
    connect(this, &QObject::destroyed, m_menu, &QObject::deleteLater);
    // A tab makes one pane of swatch buttons per tool: only those opened are built.
    connect(m_menu, &QMenu::aboutToShow, this, &AnnotationToolAction::pane);
}

void AnnotationToolAction::setColor(const QColor &color)
{
    if (!color.isValid()) {
        return;
    }
    m_color = color;
    if (m_pane) {
        m_pane->setCurrentColor(color);
    }
    updateIcon();
    emit colorChanged(color);
}

void AnnotationToolAction::setColors(const QVector<QColor> &colors, int columns)
{
    m_colors = colors;
    m_columns = columns;
    if (m_pane) {
        m_menu->clear();
        delete m_pane.data();
        pane();
    }
}

ColorPane *AnnotationToolAction::pane()
{
    if (m_pane) {
        return m_pane;
    }
    auto *paneAction = new QWidgetAction(m_menu);
    m_pane = new ColorPane(m_colors, m_columns, m_menu);
    m_pane->setCurrentColor(m_color);
    paneAction->setDefaultWidget(m_pane);
    m_menu->addAction(paneAction);
    connect(m_pane, &ColorPane::clicked, this, [this](const QColor &color) {
        m_menu->close();
        if (!isChecked()) {
            trigger();
        }
        setColor(color);
    });
    return m_pane;
}

void AnnotationToolAction::updateIcon()
{
    // The tool's icon with a bar of the chosen colour under it.
    const int side = 32;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    m_baseIcon.paint(&painter, QRect(2, 0, side - 4, side - 8));
    painter.fillRect(QRect(2, side - 6, side - 4, 6), m_color);
    painter.end();
    setIcon(QIcon(pixmap));
}

QWidget *AnnotationToolAction::createWidget(QWidget *parent)
{
    if (auto *menu = qobject_cast<QMenu *>(parent)) {
        menu->installEventFilter(this);
        connect(menu, &QMenu::triggered, menu, &QMenu::close, Qt::UniqueConnection);
        return nullptr;
    }
    if (!qobject_cast<QToolBar *>(parent)) {
        return nullptr;
    }
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName());
    button->setDefaultAction(this);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

bool AnnotationToolAction::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (auto *menu = qobject_cast<QMenu *>(watched)) {
            if (QAction *action = menu->actionAt(static_cast<QMouseEvent *>(event)->pos())) {
                action->trigger();
                return true;
            }
        }
    }
    return QWidgetAction::eventFilter(watched, event);
}

} // namespace Nod::Presentation
