#include <app/maintabbar.h>
#include <app/tabbar.h>
#include <domain/metatypes.h>

#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace Nod::Presentation;

namespace {
QAction *action(QMenu *menu, const char *name)
{
    return menu->findChild<QAction *>(QString::fromLatin1(name));
}

QList<int> closeRequests(const QSignalSpy &spy)
{
    QList<int> indexes;
    for (const QList<QVariant> &call : spy) {
        indexes.append(call.first().toInt());
    }
    return indexes;
}
} // namespace

class TabBarTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Nod::Domain::registerMetaTypes(); }

    void closeButtons_onDocumentTabsOnly()
    {
        TabBar bar;
        bar.addTab(QStringLiteral("My Library"));
        bar.addTab(QStringLiteral("a.pdf"));
        bar.addTab(QStringLiteral("b.pdf"));
        QVERIFY(!bar.tabButton(0, QTabBar::RightSide));
        auto *first = qobject_cast<QToolButton *>(bar.tabButton(1, QTabBar::RightSide));
        auto *second = qobject_cast<QToolButton *>(bar.tabButton(2, QTabBar::RightSide));
        QVERIFY(first && second);
        QCOMPARE(first->objectName(), QStringLiteral("closeButton"));

        // A button closes the tab it stands on now, not the one it was made for.
        QSignalSpy spy(&bar, &QTabBar::tabCloseRequested);
        bar.removeTab(1);
        second->click();
        QCOMPARE(closeRequests(spy), QList<int> { 1 });
    }

    void contextMenu_rules_data()
    {
        QTest::addColumn<int>("tabs");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QList<int>>("closed");
        QTest::newRow("close tab") << 3 << 1 << "closeTab" << true << QList<int> { 1 };
        QTest::newRow("library tab never closes") << 3 << 0 << "closeTab" << false << QList<int>();
        QTest::newRow("others from the library")
            << 4 << 0 << "closeOtherTabs" << true << QList<int> { 3, 2, 1 };
        QTest::newRow("others from the middle") << 4 << 2 << "closeOtherTabs" << true << QList<int> { 3, 1 };
        QTest::newRow("others with two tabs") << 2 << 1 << "closeOtherTabs" << false << QList<int>();
        QTest::newRow("right of the middle") << 3 << 1 << "closeRightTabs" << true << QList<int> { 2 };
        QTest::newRow("right of the last") << 3 << 2 << "closeRightTabs" << false << QList<int>();
        QTest::newRow("right of the library") << 3 << 0 << "closeRightTabs" << true << QList<int> { 2, 1 };
    }

    void contextMenu_rules()
    {
        QFETCH(int, tabs);
        QFETCH(int, index);
        QFETCH(QString, choice);
        QFETCH(bool, enabled);
        QFETCH(QList<int>, closed);
        TabBar bar;
        for (int i = 0; i < tabs; ++i) {
            bar.addTab(QStringLiteral("tab %1").arg(i));
        }
        QScopedPointer<QMenu> menu(bar.createContextMenu(index, nullptr));
        QAction *chosen = action(menu.data(), qPrintable(choice));
        QVERIFY(chosen);
        QCOMPARE(chosen->isEnabled(), enabled);
        QSignalSpy spy(&bar, &QTabBar::tabCloseRequested);
        if (enabled) {
            chosen->trigger();
        }
        QCOMPARE(closeRequests(spy), closed);
    }

    void mainMenu_offersFiveExclusiveModes()
    {
        MainTabBar bar;
        const Nod::Domain::BackgroundMode night(1, QColor(53, 62, 66));
        QScopedPointer<QMenu> menu(bar.createMainMenu(nullptr, night));
        const QStringList names { QStringLiteral("defaultMode"), QStringLiteral("eyeMode"),
            QStringLiteral("gentleMode"), QStringLiteral("parchmentMode"), QStringLiteral("nightMode") };
        for (const QString &name : names) {
            QAction *mode = action(menu.data(), qPrintable(name));
            QVERIFY2(mode, qPrintable(name));
            QCOMPARE(mode->isChecked(), name == QStringLiteral("nightMode"));
        }
        QCOMPARE(action(menu.data(), "eyeMode")->data().value<Nod::Domain::BackgroundMode>(),
            Nod::Domain::BackgroundMode(8, QColor(210, 227, 199)));

        QSignalSpy changed(&bar, &MainTabBar::backgroundModeChanged);
        action(menu.data(), "parchmentMode")->trigger();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().value<Nod::Domain::BackgroundMode>(),
            Nod::Domain::BackgroundMode(8, QColor(228, 221, 195)));
        QVERIFY(action(menu.data(), "parchmentMode")->isChecked());
        QVERIFY(!action(menu.data(), "nightMode")->isChecked());
        // Nothing to print without a document tab.
        QVERIFY(!action(menu.data(), "print")->isEnabled());
    }

    void tabList_checksTheCurrentTabAndSwitches()
    {
        MainTabBar bar;
        bar.tabBar()->addTab(QStringLiteral("My Library"));
        bar.tabBar()->addTab(QStringLiteral("a.pdf"));
        bar.tabBar()->addTab(QStringLiteral("b.pdf"));
        bar.tabBar()->setCurrentIndex(1);
        QScopedPointer<QMenu> menu(bar.createTabListMenu(nullptr));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions.at(2)->text(), QStringLiteral("b.pdf"));
        QVERIFY(actions.at(1)->isChecked());
        QVERIFY(!actions.at(0)->isChecked());
        actions.at(2)->trigger();
        QCOMPARE(bar.tabBar()->currentIndex(), 2);
    }

    void maximised_swapsTheButtons()
    {
        MainTabBar bar;
        bar.show();
        auto *maximize = bar.findChild<QToolButton *>(QStringLiteral("mainTabBar-max"));
        auto *restore = bar.findChild<QToolButton *>(QStringLiteral("mainTabBar-restore"));
        QVERIFY(maximize->isVisible() && !restore->isVisible());
        bar.setMaximized(true);
        QVERIFY(!maximize->isVisible() && restore->isVisible());
    }

    // The window has no frame: every part of the strip that is neither a tab nor a button is its
    // title bar, and a double click there toggles maximised. A double click on a tab does not.
    void emptyPartsOfTheStrip_toggleMaximisedOnDoubleClick()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *strip = new MainTabBar(&window);
        layout->addWidget(strip);
        layout->addStretch();
        connect(strip, &MainTabBar::showMaximizedRequested, &window, &QWidget::showMaximized);
        connect(strip, &MainTabBar::showNormalRequested, &window, &QWidget::showNormal);
        TabBar *tabs = strip->tabBar();
        tabs->addTab(QStringLiteral("My Library"));
        tabs->addTab(QStringLiteral("a.pdf"));
        // Wider than its tabs, as when titles are elided: the rest of the tab bar is empty.
        tabs->setMinimumWidth(tabs->sizeHint().width() + 120);
        window.resize(1000, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        const QRect tabList
            = strip->findChild<QToolButton *>(QStringLiteral("mainTabBar-moreTabs"))->geometry();
        const QRect dragArea = strip->dragArea()->geometry();
        QVERIFY(dragArea.left() - tabList.right() > 10); // the stretch between them
        const QPoint besideTabs(tabs->width() - 20, tabs->height() / 2);
        QVERIFY(tabs->tabAt(besideTabs) < 0);
        const QList<QPair<QWidget *, QPoint>> emptyParts {
            { tabs, besideTabs },
            { strip, QPoint((tabList.right() + dragArea.left()) / 2, strip->height() / 2) },
            { strip->dragArea(), strip->dragArea()->rect().center() },
        };
        for (const auto &[widget, point] : emptyParts) {
            const bool wasMaximized = window.isMaximized();
            QTest::mouseDClick(widget, Qt::LeftButton, {}, point);
            QVERIFY2(window.isMaximized() != wasMaximized, qPrintable(widget->objectName()));
            QTest::mouseDClick(widget, Qt::LeftButton, {}, point);
            QCOMPARE(window.isMaximized(), wasMaximized);
        }

        QSignalSpy maximize(strip, &MainTabBar::showMaximizedRequested);
        QSignalSpy restore(strip, &MainTabBar::showNormalRequested);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(tabs->currentIndex(), 1);
        QTest::mouseDClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(maximize.count() + restore.count(), 0);
    }
};

QTEST_MAIN(TabBarTest)
#include "tst_tabbar.moc"
