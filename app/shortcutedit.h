#pragma once

#include <QKeySequence>
#include <QLineEdit>

namespace Nod::Presentation {

// A line edit that takes a key sequence by having it pressed: the key with the modifiers held
// replaces the text, in the platform's native form. Escape and Backspace work as in any line edit.
class ShortcutEdit final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShortcutEdit)

public:
    explicit ShortcutEdit(QWidget *parent = nullptr);

    QKeySequence keySequence() const;
    void setKeySequence(const QKeySequence &sequence);
    // Empty (no shortcut), or one key with its modifiers. Modifiers captured alone, or a text
    // partly erased, name no key: storing them would silently leave the tool without a shortcut.
    bool isComplete() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace Nod::Presentation
