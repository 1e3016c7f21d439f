#pragma once

#include <QSize>
#include <QWidget>

class QLabel;
class QStackedWidget;
class QTabBar;
class QToolButton;

namespace Nod::Presentation {

// The collapsible side bar of a document tab: a strip of tabs, one page per tab (the outline
// first). Collapsed, only the strip stays, so the page beside it gets the room.
class SiderBarWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SiderBarWidget)

public:
    explicit SiderBarWidget(QWidget *parent = nullptr);

    int addPage(QWidget *page, const QIcon &icon, const QString &text);
    int count() const;
    QWidget *currentPage() const;
    bool isShrunk() const { return m_shrunk; }
    QTabBar *tabBar() const { return m_tabBar; }
    QToolButton *toggleButton() const { return m_toggleButton; }
    // The width the side bar takes back when it expands.
    int expandedWidth() const { return m_savedSize.width(); }
    void setExpandedWidth(int width);

signals:
    void shrinked();
    void expanded();

public slots:
    void shrink();
    void expand();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void on_toggleButton_clicked();
    void on_tabBar_currentChanged(int index);
    void delayedShrink();
    void delayedExpand();
    void resizeInSplitter(int wanted);

    QLabel *m_titleLabel;
    QToolButton *m_toggleButton;
    QTabBar *m_tabBar;
    QStackedWidget *m_pages;
    QWidget *m_strip;
    bool m_shrunk = false;
    QSize m_savedSize { 240, 0 };
    QSize m_savedMinimum;
    QSize m_savedMaximum;
};

} // namespace Nod::Presentation
