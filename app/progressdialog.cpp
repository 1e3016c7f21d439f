#include "progressdialog.h"

#include <QPushButton>

namespace Nod::Presentation {

ProgressDialog::ProgressDialog(
    const QString &label, const QString &buttonText, int minimum, int maximum, QWidget *parent)
    : QProgressDialog(label, QString(), minimum, maximum, parent)
    , m_button(new QPushButton(buttonText, this))
{
    setCancelButton(m_button);
    m_button->setEnabled(false);
    // The button means "done", not "stop": it only closes the dialog.
    disconnect(m_button, &QPushButton::clicked, this, &QProgressDialog::cancel);
    connect(m_button, &QPushButton::clicked, this, &QProgressDialog::close);
}

void ProgressDialog::setValue(int value)
{
    m_button->setEnabled(value >= maximum());
    QProgressDialog::setValue(value);
}

} // namespace Nod::Presentation
