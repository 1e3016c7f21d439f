#include "linedialog.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QToolButton>

namespace {

bool isFinishKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

} // namespace

LineDialog::LineDialog(QWidget *parent)
    : QWidget(parent)
    , m_finish(new QToolButton(this))
    , m_cancel(new QToolButton(this))
{
    setObjectName(QStringLiteral("LineDialog"));
    setAttribute(Qt::WA_StyledBackground);
    setFocusPolicy(Qt::StrongFocus);
    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(10);
    shadow->setOffset(1, 1);
    setGraphicsEffect(shadow);

    const auto setUp = [](QToolButton *button, const QString &name, const QString &text, const QString &icon,
                           const QString &tip, QKeySequence::StandardKey key) {
        button->setObjectName(name);
        button->setText(text);
        button->setIcon(QIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setToolTip(tip.arg(QKeySequence(key).toString(QKeySequence::NativeText)));
        // The dialog keeps the focus, so its keys keep working after a click.
        button->setFocusPolicy(Qt::NoFocus);
    };
    setUp(m_finish, QStringLiteral("finish"), tr("Finish"), QStringLiteral(":icons/check.svg"),
        tr("<p>Finish drawing (%1)</p>"), QKeySequence::InsertParagraphSeparator);
    setUp(m_cancel, QStringLiteral("cancel"), tr("Cancel"), QStringLiteral(":icons/x.svg"),
        tr("<p>Cancel drawing (%1)</p>"), QKeySequence::Cancel);
    connect(m_finish, &QToolButton::clicked, this, &LineDialog::accepted);
    connect(m_cancel, &QToolButton::clicked, this, &LineDialog::canceled);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(m_finish);
    layout->addWidget(m_cancel);
}

bool LineDialog::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if (isFinishKey(key->key()) || key->key() == Qt::Key_Escape) {
                event->accept();
                return true;
            }
        }
    }
    return QWidget::event(event);
}

void LineDialog::keyPressEvent(QKeyEvent *event)
{
    if (isFinishKey(event->key())) {
        emit accepted();
    } else if (event->key() == Qt::Key_Escape) {
        emit canceled();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}
