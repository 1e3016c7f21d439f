#pragma once

#include <QPlainTextEdit>

namespace Nod::Presentation {

// The plain-text overview of the current document; editing ends when the editor loses focus.
class OverviewEdit final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewEdit)

public:
    explicit OverviewEdit(QWidget *parent = nullptr);

signals:
    void editingFinished(QString text);

protected:
    void focusOutEvent(QFocusEvent *event) override;
};

} // namespace Nod::Presentation
