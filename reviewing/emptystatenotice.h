#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace Nod::Presentation {

// A notice laid over a view that has nothing to show: a title, a line of advice and a button that
// leads to where the content is made.
class EmptyStateNotice final : public QFrame
{
    Q_OBJECT

public:
    EmptyStateNotice(
        const QString &title, const QString &text, const QString &buttonText, QWidget *parent = nullptr);

    QString title() const;
    QString text() const;
    QPushButton *button() const { return m_button; }

signals:
    void buttonClicked();

private:
    QLabel *m_title;
    QLabel *m_text;
    QPushButton *m_button;
};

} // namespace Nod::Presentation
