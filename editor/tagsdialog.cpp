#include "tagsdialog.h"

#include <QCompleter>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace Nod::Presentation {

TagsDialog::TagsDialog(const QStringList &names, const QStringList &known, QWidget *parent)
    : QDialog(parent)
    , m_edit(new QLineEdit(this))
    , m_list(new QListWidget(this))
    , m_add(new QPushButton(tr("Add"), this))
    , m_remove(new QPushButton(tr("Remove"), this))
{
    setObjectName(QStringLiteral("TagsDialog"));
    setWindowTitle(tr("Tags"));
    m_edit->setObjectName(QStringLiteral("TagsDialog-name"));
    m_edit->setPlaceholderText(tr("New tag"));
    m_edit->setClearButtonEnabled(true);
    auto *completer = new QCompleter(known, m_edit);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    m_edit->setCompleter(completer);
    m_edit->installEventFilter(this);
    m_list->setObjectName(QStringLiteral("TagsDialog-list"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->installEventFilter(this);
    m_add->setObjectName(QStringLiteral("TagsDialog-add"));
    m_add->setAutoDefault(false);
    m_add->setEnabled(false);
    m_remove->setObjectName(QStringLiteral("TagsDialog-remove"));
    m_remove->setAutoDefault(false);
    m_remove->setEnabled(false);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("TagsDialog-buttons"));

    auto *entry = new QHBoxLayout;
    entry->addWidget(m_edit, 1);
    entry->addWidget(m_add);
    auto *listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    auto *side = new QVBoxLayout;
    side->addWidget(m_remove);
    side->addStretch(1);
    listRow->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Tags of this note:"), this));
    layout->addLayout(listRow, 1);
    layout->addLayout(entry);
    layout->addWidget(buttons);

    for (const QString &name : names) {
        addName(name);
    }
    connect(m_edit, &QLineEdit::textChanged, this,
        [this](const QString &text) { m_add->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_add, &QPushButton::clicked, this, [this] {
        addName(m_edit->text());
        m_edit->clear();
        m_edit->setFocus();
    });
    connect(m_remove, &QPushButton::clicked, this, &TagsDialog::removeSelected);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
        [this] { m_remove->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &TagsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TagsDialog::reject);
    m_edit->setFocus();
}

QStringList TagsDialog::names() const
{
    QStringList result;
    for (int i = 0; i < m_list->count(); ++i) {
        result << m_list->item(i)->text();
    }
    return result;
}

void TagsDialog::addName(const QString &name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || names().contains(trimmed)) {
        return;
    }
    m_list->addItem(trimmed);
}

void TagsDialog::removeSelected() { qDeleteAll(m_list->selectedItems()); }

void TagsDialog::accept()
{
    addName(m_edit->text());
    m_edit->clear();
    QDialog::accept();
}

bool TagsDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Return in a filled entry adds the name; only Return in an empty one closes the dialog.
        if (watched == m_edit && (key == Qt::Key_Return || key == Qt::Key_Enter)
            && !m_edit->text().trimmed().isEmpty()) {
            m_add->click();
            return true;
        }
        if (watched == m_list && (key == Qt::Key_Delete || key == Qt::Key_Backspace)) {
            removeSelected();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace Nod::Presentation
