#include "searchline.h"

#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QToolButton>
#include <reading/lazyicon.h>

namespace Nod::Presentation {

namespace {

QToolButton *makeButton(QWidget *parent, const char *objectName, const QString &text, const QString &icon)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setText(text);
    button->setToolTip(text);
    button->setIcon(lazyIcon(icon));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

SearchLine::SearchLine(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_count(new QLabel(this))
    , m_previous(makeButton(this, "previous", tr("Previous"), QStringLiteral(":icons/chevron-up.svg")))
    , m_next(makeButton(this, "next", tr("Next"), QStringLiteral(":icons/chevron-down.svg")))
    , m_close(makeButton(this, "close", tr("Close"), QStringLiteral(":icons/close.png")))
{
    setObjectName(QStringLiteral("searchLine"));
    setAttribute(Qt::WA_StyledBackground);
    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(10);
    shadow->setOffset(0, 1);
    setGraphicsEffect(shadow);

    m_edit->setObjectName(QStringLiteral("searchEdit"));
    m_edit->setPlaceholderText(tr("Find"));
    m_count->setObjectName(QStringLiteral("searchCount"));
    m_count->setTextFormat(Qt::PlainText);
    setFocusProxy(m_edit);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_count);
    layout->addWidget(m_previous);
    layout->addWidget(m_next);
    layout->addWidget(m_close);

    // The find keys answer wherever the focus is inside the view that holds the bar.
    QWidget *keyScope = parent ? parent : this;
    m_nextShortcut
        = new QShortcut(QKeySequence::FindNext, keyScope, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    m_previousShortcut = new QShortcut(
        QKeySequence::FindPrevious, keyScope, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    m_next->setToolTip(QStringLiteral("%1 (%2)").arg(
        tr("Next"), QKeySequence(QKeySequence::FindNext).toString(QKeySequence::NativeText)));
    m_previous->setToolTip(QStringLiteral("%1 (%2)").arg(
        tr("Previous"), QKeySequence(QKeySequence::FindPrevious).toString(QKeySequence::NativeText)));
    // Only while the bar has the focus, so that Escape keeps its meaning in the view.
    auto *escape
        = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);

    connect(m_edit, &QLineEdit::returnPressed, this, &SearchLine::on_edit_returnPressed);
    connect(m_next, &QToolButton::clicked, this, &SearchLine::nextResult);
    connect(m_previous, &QToolButton::clicked, this, &SearchLine::previousResult);
    connect(m_nextShortcut, &QShortcut::activated, this, &SearchLine::nextResult);
    connect(m_previousShortcut, &QShortcut::activated, this, &SearchLine::previousResult);
    connect(m_close, &QToolButton::clicked, this, &SearchLine::close);
    connect(escape, &QShortcut::activated, this, &SearchLine::close);

    setTotal(0);
    hide();
}

QString SearchLine::text() const { return m_edit->text(); }

void SearchLine::showEvent(QShowEvent *event)
{
    // The style looks the clear button's icon up in the desktop's icon theme, which costs a tab
    // opening more than the rest of this line: it waits for the line's first showing.
    if (!m_edit->isClearButtonEnabled()) {
        m_edit->setClearButtonEnabled(true);
    }
    QWidget::showEvent(event);
}

void SearchLine::activate()
{
    show();
    raise();
    m_edit->selectAll();
    m_edit->setFocus(Qt::ShortcutFocusReason);
}

void SearchLine::close()
{
    const bool hadFocus = isAncestorOf(QApplication::focusWidget());
    hide();
    if (hadFocus && parentWidget()) {
        parentWidget()->setFocus(Qt::OtherFocusReason);
    }
    emit clearResults();
}

void SearchLine::setTotal(int total)
{
    m_total = qMax(0, total);
    if (m_total == 0) {
        m_current = -1;
    }
    const bool any = m_total > 0;
    m_next->setEnabled(any);
    m_previous->setEnabled(any);
    m_nextShortcut->setEnabled(any);
    m_previousShortcut->setEnabled(any);
    updateCount();
}

void SearchLine::setCurrent(int current)
{
    m_current = current;
    updateCount();
}

void SearchLine::updateCount()
{
    if (m_total == 0) {
        m_count->clear();
        return;
    }
    m_count->setText(QStringLiteral("%L1/%L2 ").arg(m_current + 1).arg(m_total));
}

void SearchLine::on_edit_returnPressed()
{
    const QString keyword = m_edit->text();
    // Blanks alone would match between every two words.
    if (keyword.trimmed().isEmpty()) {
        return;
    }
    emit search(keyword, {});
}

} // namespace Nod::Presentation
