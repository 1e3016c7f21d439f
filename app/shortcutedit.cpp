#include "shortcutedit.h"

#include <QDebug>
#include <QKeyEvent>

namespace Nod::Presentation {

namespace {
constexpr Qt::KeyboardModifiers kModifiers
    = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// The modifier a modifier key stands for; 0 for any other key.
int modifierOf(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return Qt::SHIFT;
    case Qt::Key_Control:
        return Qt::CTRL;
    case Qt::Key_Meta:
        return Qt::META;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return Qt::ALT;
    default:
        return 0;
    }
}

bool isModifierKey(int key) { return modifierOf(key) != 0; }
} // namespace

ShortcutEdit::ShortcutEdit(QWidget *parent)
    : QLineEdit(parent)
{ }

QKeySequence ShortcutEdit::keySequence() const
{
    return QKeySequence::fromString(text(), QKeySequence::NativeText);
}

void ShortcutEdit::setKeySequence(const QKeySequence &sequence)
{
    setText(sequence.toString(QKeySequence::NativeText));
}

bool ShortcutEdit::isComplete() const
{
    if (text().isEmpty()) {
        return true;
    }
    const QKeySequence sequence = keySequence();
    if (sequence.count() != 1 || sequence.toString(QKeySequence::NativeText) != text()) {
        return false;
    }
    const int key = sequence[0] & ~int(Qt::KeyboardModifierMask);
    return key != 0 && key != Qt::Key_unknown && !isModifierKey(key);
}

void ShortcutEdit::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Backspace) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (key == Qt::Key_unknown || key == 0) {
        qWarning() << "Unknown key in shortcut edit, may be from a macro probably";
        return;
    }
    const int modifiers = int(event->modifiers() & kModifiers);
    if (isModifierKey(key)) {
        // Some window systems report a modifier's own press without it among the held ones.
        setText(QKeySequence(modifiers | modifierOf(key)).toString(QKeySequence::NativeText));
    } else {
        setText(QKeySequence(key | modifiers).toString(QKeySequence::NativeText));
    }
    event->accept();
}

} // namespace Nod::Presentation
