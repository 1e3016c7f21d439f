#include "maintabbar.h"

#include "tabbar.h"

#include <QActionGroup>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QWindow>
#include <reading/lazyicon.h>

namespace Nod::Presentation {

namespace {

struct ModeEntry
{
    const char *text;
    const char *objectName;
    int mode;
    QColor color;
};

} // namespace

MainTabBar::MainTabBar(QWidget *parent)
    : QWidget(parent)
    , m_tabBar(new TabBar(this))
    , m_dragArea(new QWidget(this))
{
    setObjectName(QStringLiteral("MainTabBar"));
    // Presses on it fall through to the strip, as do those on the stretch and on the tab bar
    // beside its tabs.
    m_dragArea->setObjectName(QStringLiteral("mainTabBar-space"));
    m_dragArea->setMinimumWidth(24);
    m_dragArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_tabBar);
    m_tabList = addButton("mainTabBar-moreTabs", tr("List of documents"));
    layout->addWidget(m_tabList);
    layout->addStretch(1000);
    layout->addWidget(m_dragArea);
    m_mainMenu = addButton("mainTabBar-mainMenu", tr("Main menu"));
    layout->addWidget(m_mainMenu);
    QToolButton *minimize = addButton("mainTabBar-min", tr("Minimize"));
    layout->addWidget(minimize);
    m_maximize = addButton("mainTabBar-max", tr("Maximize"));
    layout->addWidget(m_maximize);
    m_restore = addButton("mainTabBar-restore", tr("Restore"));
    m_restore->hide();
    layout->addWidget(m_restore);
    QToolButton *close = addButton("mainTabBar-closeWindow", tr("Close"));
    layout->addWidget(close);

    m_tabList->setText(QStringLiteral("\u25be"));
    m_mainMenu->setText(QStringLiteral("\u2630"));
    minimize->setText(QStringLiteral("\u2013"));
    m_maximize->setText(QStringLiteral("\u25a1"));
    m_restore->setText(QStringLiteral("\u2750"));
    close->setText(QStringLiteral("\u2715"));

    connect(m_tabList, &QToolButton::clicked, this, &MainTabBar::on_tabList_clicked);
    connect(m_mainMenu, &QToolButton::clicked, this, &MainTabBar::on_mainMenu_clicked);
    connect(minimize, &QToolButton::clicked, this, &MainTabBar::showMinimizedRequested);
    connect(m_maximize, &QToolButton::clicked, this, &MainTabBar::showMaximizedRequested);
    connect(m_restore, &QToolButton::clicked, this, &MainTabBar::showNormalRequested);
    connect(close, &QToolButton::clicked, this, &MainTabBar::closeRequested);
}

void MainTabBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressPosition = event->globalPos();
        m_moving = true;
    }
    event->accept();
}

void MainTabBar::mouseMoveEvent(QMouseEvent *event)
{
    // The move starts once the pointer has gone some way, so that the two presses of a double click
    // both reach the strip rather than the window manager.
    if (m_moving && (event->buttons() & Qt::LeftButton)
        && (event->globalPos() - m_pressPosition).manhattanLength() >= QApplication::startDragDistance()) {
        m_moving = false;
        if (QWindow *handle = window()->windowHandle()) {
            handle->startSystemMove();
        }
    }
    event->accept();
}

void MainTabBar::mouseReleaseEvent(QMouseEvent *event)
{
    m_moving = false;
    event->accept();
}

void MainTabBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_moving = false;
    if (event->button() == Qt::LeftButton) {
        if (window()->isMaximized()) {
            emit showNormalRequested();
        } else {
            emit showMaximizedRequested();
        }
    }
    event->accept();
}

QToolButton *MainTabBar::addButton(const char *objectName, const QString &toolTip)
{
    auto *button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setToolTip(toolTip);
    button->setAutoRaise(true);
    return button;
}

void MainTabBar::setMaximized(bool maximized)
{
    m_maximize->setVisible(!maximized);
    m_restore->setVisible(maximized);
}

QMenu *MainTabBar::createTabListMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    for (int i = 0; i < m_tabBar->count(); ++i) {
        QAction *action
            = menu->addAction(m_tabBar->tabText(i), this, [this, i] { m_tabBar->setCurrentIndex(i); });
        action->setCheckable(true);
        action->setChecked(i == m_tabBar->currentIndex());
    }
    return menu;
}

void MainTabBar::on_tabList_clicked()
{
    QMenu *menu = createTabListMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_tabList->mapToGlobal(QPoint(0, m_tabList->height())));
}

QMenu *MainTabBar::createMainMenu(QWidget *parent, const Nod::Domain::BackgroundMode &current)
{
    auto *menu = new QMenu(parent);
    QMenu *modes = menu->addMenu(lazyIcon(QStringLiteral(":icons/eye.svg")), tr("Background Mode"));
    auto *group = new QActionGroup(modes);
    group->setExclusive(true);
    const ModeEntry entries[] = {
        { QT_TR_NOOP("Default Mode"), "defaultMode", 0, QColor(Qt::white) },
        { QT_TR_NOOP("Eye Mode"), "eyeMode", 8, QColor(210, 227, 199) },
        { QT_TR_NOOP("Gentle Mode"), "gentleMode", 8, QColor(206, 206, 206) },
        { QT_TR_NOOP("Parchment Mode"), "parchmentMode", 8, QColor(228, 221, 195) },
        { QT_TR_NOOP("Night Mode"), "nightMode", 1, QColor(53, 62, 66) },
    };
    for (const ModeEntry &entry : entries) {
        const Nod::Domain::BackgroundMode value(entry.mode, entry.color);
        QAction *action = modes->addAction(tr(entry.text));
        action->setObjectName(QString::fromLatin1(entry.objectName));
        action->setCheckable(true);
        action->setData(QVariant::fromValue(value));
        action->setChecked(value == current);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, value] { emit backgroundModeChanged(value); });
    }
    modes->addSeparator();
    QAction *keepPictures = modes->addAction(tr("Keep Pictures in Colour"));
    keepPictures->setObjectName(QStringLiteral("keepPicturesInColour"));
    keepPictures->setCheckable(true);
    keepPictures->setChecked(m_keepPictures);
    connect(keepPictures, &QAction::toggled, this, &MainTabBar::keepPicturesInColourChanged);

    QAction *print = menu->addAction(lazyIcon(QStringLiteral(":icons/printer.svg")), tr("Print ..."), this,
        &MainTabBar::printRequested, QKeySequence::Print);
    print->setObjectName(QStringLiteral("print"));
    print->setEnabled(m_printEnabled);
    QAction *settings = menu->addAction(lazyIcon(QStringLiteral(":icons/settings.svg")), tr("Settings..."),
        this, &MainTabBar::settingRequested);
    settings->setObjectName(QStringLiteral("settings"));
    settings->setEnabled(m_settingsEnabled);
    menu->addAction(lazyIcon(QStringLiteral(":icons/help-circle.svg")), tr("Help..."), this,
            &MainTabBar::helpRequested)
        ->setObjectName(QStringLiteral("help"));
    menu->addAction(tr("Keyboard Shortcuts"), this, &MainTabBar::shortcutsRequested)
        ->setObjectName(QStringLiteral("keyboardShortcuts"));
    menu->addAction(
            lazyIcon(QStringLiteral(":icons/heart.svg")), tr("Donate"), this, &MainTabBar::donateRequested)
        ->setObjectName(QStringLiteral("donate"));
    return menu;
}

void MainTabBar::on_mainMenu_clicked()
{
    QMenu *menu = createMainMenu(this, m_backgroundMode);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_mainMenu->mapToGlobal(QPoint(0, m_mainMenu->height())));
}

} // namespace Nod::Presentation
