#include "tabbar.h"

#include <reading/lazyicon.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>

namespace Nod::Presentation {

TabBar::TabBar(QWidget *parent)
    : QTabBar(parent)
    , m_currentCloseIcon(lazyIcon(QStringLiteral(":icons/tabBar-close-current.svg")))
    , m_closeIcon(lazyIcon(QStringLiteral(":icons/tabBar-close.svg")))
{
    setAttribute(Qt::WA_StyledBackground);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideRight);
    connect(this, &QTabBar::currentChanged, this, &TabBar::updateCloseButtons);
}

int TabBar::indexOfButton(const QWidget *button) const
{
    for (int i = 0; i < count(); ++i) {
        if (tabButton(i, QTabBar::RightSide) == button) {
            return i;
        }
    }
    return -1;
}

void TabBar::tabInserted(int index)
{
    QTabBar::tabInserted(index);
    if (index != 0) {
        auto *button = new QToolButton(this);
        button->setObjectName(QStringLiteral("closeButton"));
        button->setAutoRaise(true);
        button->setIcon(m_closeIcon);
        button->setToolTip(tr("Close Tab"));
        connect(button, &QToolButton::clicked, this, [this, button] {
            const int at = indexOfButton(button);
            if (at > 0) {
                emit tabCloseRequested(at);
            }
        });
        setTabButton(index, QTabBar::RightSide, button);
    }
    updateCloseButtons();
}

void TabBar::tabRemoved(int index)
{
    // QTabBar hides the removed tab's button and deletes it later.
    QTabBar::tabRemoved(index);
    updateCloseButtons();
}

void TabBar::updateCloseButtons()
{
    for (int i = 1; i < count(); ++i) {
        if (auto *button = qobject_cast<QToolButton *>(tabButton(i, QTabBar::RightSide))) {
            button->setIcon(i == currentIndex() ? m_currentCloseIcon : m_closeIcon);
        }
    }
}

QMenu *TabBar::createContextMenu(int index, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    QAction *closeTab
        = menu->addAction(tr("Close Tab"), this, [this, index] { emit tabCloseRequested(index); });
    closeTab->setObjectName(QStringLiteral("closeTab"));
    closeTab->setEnabled(index != 0);

    QAction *closeOthers = menu->addAction(tr("Close Other Tabs"), this, [this, index] {
        for (int i = count() - 1; i >= 1; --i) {
            if (i != index) {
                emit tabCloseRequested(i);
            }
        }
    });
    closeOthers->setObjectName(QStringLiteral("closeOtherTabs"));
    closeOthers->setEnabled(count() > 2);

    QAction *closeRight = menu->addAction(tr("Close Right Tabs"), this, [this, index] {
        for (int i = count() - 1; i > index; --i) {
            emit tabCloseRequested(i);
        }
    });
    closeRight->setObjectName(QStringLiteral("closeRightTabs"));
    closeRight->setEnabled(index < count() - 1);
    return menu;
}

void TabBar::contextMenuEvent(QContextMenuEvent *event)
{
    const int index = tabAt(event->pos());
    if (index < 0) {
        return;
    }
    QMenu *menu = createContextMenu(index, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

bool TabBar::passesOn(QMouseEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        m_passing = tabAt(event->pos()) < 0;
    }
    const bool passing = m_passing;
    if (event->type() == QEvent::MouseButtonRelease && event->buttons() == Qt::NoButton) {
        m_passing = false;
    }
    if (passing) {
        event->ignore();
    }
    return passing;
}

void TabBar::mousePressEvent(QMouseEvent *event)
{
    if (!passesOn(event)) {
        QTabBar::mousePressEvent(event);
    }
}

void TabBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!passesOn(event)) {
        QTabBar::mouseMoveEvent(event);
    }
}

void TabBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (!passesOn(event)) {
        QTabBar::mouseReleaseEvent(event);
    }
}

void TabBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!passesOn(event)) {
        QTabBar::mouseDoubleClickEvent(event);
    }
}

} // namespace Nod::Presentation
