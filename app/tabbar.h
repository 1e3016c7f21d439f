#pragma once

#include <QIcon>
#include <QTabBar>

class QMenu;

namespace Nod::Presentation {

// The tab strip: tab 0 is the library and has no close button; every other tab carries one, drawn
// with a stronger icon on the current tab.
class TabBar final : public QTabBar
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TabBar)

public:
    explicit TabBar(QWidget *parent = nullptr);

    // The context menu for the tab at `index`: "Close Tab", "Close Other Tabs", "Close Right Tabs",
    // enabled as they make sense there. The caller owns the menu.
    QMenu *createContextMenu(int index, QWidget *parent);

public slots:
    void updateCloseButtons();

protected:
    void tabInserted(int index) override;
    void tabRemoved(int index) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Beside the tabs the strip is title bar: those events go on to the parent.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int indexOfButton(const QWidget *button) const;
    bool passesOn(QMouseEvent *event);

    bool m_passing = false; // a press beside the tabs: its move and release go on too

    QIcon m_currentCloseIcon;
    QIcon m_closeIcon;
};

} // namespace Nod::Presentation
