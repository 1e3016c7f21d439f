#pragma once

#include <QWidget>

class QToolButton;

// The small floating bar beside unsaved lines: Finish (Return) saves them, Cancel (Escape)
// discards them. While it has the focus its keys win over the window's shortcuts.
class LineDialog final : public QWidget
{
    Q_OBJECT

public:
    explicit LineDialog(QWidget *parent = nullptr);

    QToolButton *finishButton() const { return m_finish; }
    QToolButton *cancelButton() const { return m_cancel; }

signals:
    void accepted();
    void canceled();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QToolButton *m_finish;
    QToolButton *m_cancel;
};
