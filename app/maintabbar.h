#pragma once

#include <domain/backgroundmode.h>

#include <QPoint>
#include <QWidget>

class QMenu;
class QToolButton;

namespace Nod::Presentation {

class TabBar;

// The window's top row: the tab strip, the tab list, a drag area, the main menu and the window
// buttons. The window has no frame, so the row is its title bar: every part of it that is not a
// tab or a button moves the window when dragged and toggles maximised on a double click.
class MainTabBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainTabBar)

public:
    explicit MainTabBar(QWidget *parent = nullptr);

    TabBar *tabBar() const { return m_tabBar; }
    QWidget *dragArea() const { return m_dragArea; }
    // Shows the restore button instead of the maximise button while the window is maximised.
    void setMaximized(bool maximized);

    // The menus the buttons show; the caller owns them. Exposed so that they can be checked without
    // popping them up.
    QMenu *createTabListMenu(QWidget *parent);
    QMenu *createMainMenu(QWidget *parent, const Nod::Domain::BackgroundMode &current);

    // Whether the "Print ..." and "Settings..." entries can do something. Both stay off until the
    // window has document pages that print and a settings dialog to show.
    void setPrintEnabled(bool enabled) { m_printEnabled = enabled; }
    void setSettingsEnabled(bool enabled) { m_settingsEnabled = enabled; }
    // The mode the main menu shows checked.
    void setBackgroundMode(const Nod::Domain::BackgroundMode &mode) { m_backgroundMode = mode; }
    // Whether the menu shows "Keep Pictures in Colour" checked.
    void setKeepPicturesInColour(bool keep) { m_keepPictures = keep; }

signals:
    void showMinimizedRequested();
    void showMaximizedRequested();
    void showNormalRequested();
    void closeRequested();
    void loginRequested();
    void settingRequested();
    void backgroundModeChanged(BackgroundMode mode);
    void keepPicturesInColourChanged(bool keep);
    void printRequested();
    void helpRequested();
    void shortcutsRequested();
    void donateRequested();

public slots:
    void on_tabList_clicked();
    void on_mainMenu_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QToolButton *addButton(const char *objectName, const QString &toolTip);

    TabBar *m_tabBar;
    QWidget *m_dragArea;
    QToolButton *m_tabList = nullptr;
    QToolButton *m_mainMenu = nullptr;
    QToolButton *m_maximize = nullptr;
    QToolButton *m_restore = nullptr;
    Nod::Domain::BackgroundMode m_backgroundMode;
    bool m_keepPictures = true;
    bool m_printEnabled = false;
    bool m_settingsEnabled = false;
    QPoint m_pressPosition;
    bool m_moving = false;
};

} // namespace Nod::Presentation
