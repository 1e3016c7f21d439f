#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace Nod::Presentation {

// Edits the list of tag names of one note. Names are trimmed and kept once each; a name typed but not
// yet added when the dialog is accepted counts as added.
class TagsDialog final : public QDialog
{
    Q_OBJECT

public:
    // `known`: the names offered for completion.
    explicit TagsDialog(const QStringList &names, const QStringList &known, QWidget *parent = nullptr);

    QStringList names() const;

public slots:
    void addName(const QString &name);
    void removeSelected();
    void accept() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit; // child
    QListWidget *m_list; // child
    QPushButton *m_add; // child
    QPushButton *m_remove; // child
};

} // namespace Nod::Presentation
