#include "siderbarwidget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QTransform>
#include <QVBoxLayout>
#include <reading/lazyicon.h>

namespace Nod::Presentation {

SiderBarWidget::SiderBarWidget(QWidget *parent)
    : QWidget(parent)
    , m_titleLabel(new QLabel(this))
    , m_toggleButton(new QToolButton(this))
    , m_tabBar(new QTabBar(this))
    , m_pages(new QStackedWidget(this))
    , m_strip(new QWidget(this))
{
    setObjectName(QStringLiteral("siderBar"));
    setAttribute(Qt::WA_StyledBackground);
    m_titleLabel->setObjectName(QStringLiteral("siderBar-title"));
    m_toggleButton->setObjectName(QStringLiteral("siderBar-toggle"));
    m_toggleButton->setAutoRaise(true);
    m_toggleButton->setIcon(lazyIcon(QStringLiteral(":icons/chevron-left.svg")));
    m_tabBar->setObjectName(QStringLiteral("siderBar-tabs"));
    m_tabBar->setDocumentMode(true);
    m_tabBar->setIconSize(QSize(24, 24));
    m_tabBar->setUsesScrollButtons(true);
    m_tabBar->setDrawBase(false);
    m_tabBar->setExpanding(false);
    // The bar stands on the left of the tab, so the strip runs down its left edge.
    m_tabBar->setShape(QTabBar::RoundedWest);
    m_tabBar->installEventFilter(this);

    auto *stripLayout = new QVBoxLayout(m_strip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->setSpacing(0);
    stripLayout->addWidget(m_toggleButton, 0, Qt::AlignHCenter);
    stripLayout->addWidget(m_tabBar);
    stripLayout->addStretch(1);

    auto *pageColumn = new QVBoxLayout;
    pageColumn->setContentsMargins(0, 0, 0, 0);
    pageColumn->setSpacing(0);
    pageColumn->addWidget(m_titleLabel);
    pageColumn->addWidget(m_pages, 1);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_strip);
    layout->addLayout(pageColumn, 1);

    connect(m_toggleButton, &QToolButton::clicked, this, &SiderBarWidget::on_toggleButton_clicked);
    connect(m_tabBar, &QTabBar::currentChanged, this, &SiderBarWidget::on_tabBar_currentChanged);
}

int SiderBarWidget::addPage(QWidget *page, const QIcon &icon, const QString &text)
{
    m_pages->addWidget(page);
    // The strip draws its tabs turned a quarter to the left; the icon is turned back to stand up.
    const QSize size = m_tabBar->iconSize();
    const QPixmap upright = icon.pixmap(size).transformed(QTransform().rotate(90), Qt::SmoothTransformation);
    const int index = m_tabBar->addTab(QIcon(upright), QString());
    m_tabBar->setTabToolTip(index, text);
    on_tabBar_currentChanged(m_tabBar->currentIndex());
    return index;
}

int SiderBarWidget::count() const { return m_tabBar->count(); }

QWidget *SiderBarWidget::currentPage() const { return m_pages->currentWidget(); }

void SiderBarWidget::setExpandedWidth(int width)
{
    if (width > 0) {
        m_savedSize.setWidth(width);
    }
}

bool SiderBarWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tabBar && event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        const int index = m_tabBar->tabAt(press->pos());
        if (press->button() == Qt::LeftButton && index >= 0) {
            if (index == m_tabBar->currentIndex()) {
                on_toggleButton_clicked();
                return true;
            }
            if (m_shrunk) {
                QTimer::singleShot(0, this, &SiderBarWidget::delayedExpand);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SiderBarWidget::on_toggleButton_clicked()
{
    QTimer::singleShot(0, this, m_shrunk ? &SiderBarWidget::delayedExpand : &SiderBarWidget::delayedShrink);
}

void SiderBarWidget::on_tabBar_currentChanged(int index)
{
    if (index >= 0) {
        m_pages->setCurrentIndex(index);
        m_titleLabel->setText(m_tabBar->tabToolTip(index));
    }
}

void SiderBarWidget::delayedShrink() { shrink(); }

void SiderBarWidget::delayedExpand() { expand(); }

void SiderBarWidget::resizeInSplitter(int wanted)
{
    // A splitter keeps the old share until told otherwise, even for a widget that can no longer
    // use it; the pane beside the bar takes what the bar gives up.
    auto *splitter = qobject_cast<QSplitter *>(parentWidget());
    if (!splitter) {
        return;
    }
    const int index = splitter->indexOf(this);
    QList<int> sizes = splitter->sizes();
    if (index < 0 || sizes.size() < 2) {
        return;
    }
    int total = 0;
    for (int size : qAsConst(sizes)) {
        total += size;
    }
    if (total <= 0) {
        return;
    }
    wanted = qBound(minimumWidth(), wanted, qMax(minimumWidth(), total - 100));
    const int other = index == 0 ? 1 : 0;
    sizes[other] += sizes[index] - wanted;
    sizes[index] = wanted;
    splitter->setSizes(sizes);
}

void SiderBarWidget::shrink()
{
    if (m_shrunk) {
        return;
    }
    m_shrunk = true;
    if (width() > m_strip->sizeHint().width()) {
        m_savedSize = size();
    }
    m_savedMinimum = minimumSize();
    m_savedMaximum = maximumSize();
    m_pages->hide();
    m_titleLabel->hide();
    setFixedWidth(m_strip->minimumSizeHint().width());
    resizeInSplitter(width());
    m_toggleButton->setIcon(lazyIcon(QStringLiteral(":icons/chevron-right.svg")));
    emit shrinked();
}

void SiderBarWidget::expand()
{
    if (!m_shrunk) {
        return;
    }
    m_shrunk = false;
    m_pages->show();
    m_titleLabel->show();
    setMinimumSize(m_savedMinimum);
    setMaximumSize(m_savedMaximum);
    resizeInSplitter(m_savedSize.width());
    m_toggleButton->setIcon(lazyIcon(QStringLiteral(":icons/chevron-left.svg")));
    emit expanded();
}

} // namespace Nod::Presentation
