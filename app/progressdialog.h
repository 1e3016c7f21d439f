#pragma once

#include <QProgressDialog>

namespace Nod::Presentation {

// A progress dialog whose only button ("Finished") stays disabled until the work is done; pressing it
// closes the dialog. It appears only when the work lasts longer than its minimum duration.
class ProgressDialog final : public QProgressDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressDialog)

public:
    ProgressDialog(
        const QString &label, const QString &buttonText, int minimum, int maximum, QWidget *parent = nullptr);

public slots:
    void setValue(int value);

private:
    QPushButton *m_button; // owned by the dialog
};

} // namespace Nod::Presentation
