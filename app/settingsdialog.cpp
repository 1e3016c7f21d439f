#include "settingsdialog.h"

#include "keyboardshortcuts.h"
#include "shortcutedit.h"

#include <app/storage/house.h>
#include <app/storage/settings.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace Nod::Presentation {

using Common::Infrastructure::House;
using Common::Infrastructure::Settings;

namespace {
using KeyboardShortcuts::Tool;

const char *const kFontSizes[] = { "8", "9", "10", "11", "12", "14", "16", "18", "24", "36", "48" };

Settings *settings() { return Settings::instance(); }

// "shortcut_textHighlight" names the shortcut "textHighlight".
QString shortcutName(const QObject *edit)
{
    const QStringList parts = edit->objectName().split(QLatin1Char('_'));
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(1).isEmpty()) {
        qWarning() << "error object name for:" << edit->objectName();
        return QString();
    }
    return parts.at(1);
}

QPixmap swatch(const QColor &color)
{
    QPixmap pixmap(22, 16);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0, 0, 0, 80));
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return pixmap;
}
} // namespace

SettingsDialog::SettingsDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(tr("Dialog"));
    buildForm();
    load();
}

void SettingsDialog::buildForm()
{
    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabWidget"));

    auto *general = new QWidget(tabs);
    general->setObjectName(QStringLiteral("general"));
    auto *generalLayout = new QVBoxLayout(general);
    auto *storeGroup = new QGroupBox(tr("Notes stores in"), general);
    auto *storeLayout = new QHBoxLayout(storeGroup);
    m_storageLocation = new QLineEdit(storeGroup);
    m_storageLocation->setObjectName(QStringLiteral("storageLocation"));
    // The folder changes only by moving the data there ("Change ..."); a typed path would name an
    // empty folder on the next start.
    m_storageLocation->setReadOnly(true);
    auto *change = new QPushButton(tr("Change ..."), storeGroup);
    change->setObjectName(QStringLiteral("changeStorageLocationButton"));
    auto *open = new QPushButton(tr("Open Folder"), storeGroup);
    open->setObjectName(QStringLiteral("openStorageLocationButton"));
    storeLayout->addWidget(m_storageLocation, 1);
    storeLayout->addWidget(change);
    storeLayout->addWidget(open);
    m_loadLastSession = new QCheckBox(tr("Load last session when start"), general);
    m_loadLastSession->setObjectName(QStringLiteral("loadLastSessionWhenStart"));
    generalLayout->addWidget(storeGroup);
    generalLayout->addWidget(m_loadLastSession);
    generalLayout->addStretch(1);
    tabs->addTab(general, tr("General"));

    auto *note = new QWidget(tabs);
    note->setObjectName(QStringLiteral("tab"));
    auto *noteLayout = new QVBoxLayout(note);
    auto *fontGroup = new QGroupBox(tr("Default font"), note);
    auto *fontLayout = new QHBoxLayout(fontGroup);
    m_fontFamily = new QFontComboBox(fontGroup);
    m_fontFamily->setObjectName(QStringLiteral("fontFamilyComboBox"));
    m_fontSize = new QComboBox(fontGroup);
    m_fontSize->setObjectName(QStringLiteral("fontSizecomboBox"));
    m_fontSize->setEditable(false);
    for (const char *size : kFontSizes) {
        m_fontSize->addItem(QString::fromLatin1(size));
    }
    fontLayout->addWidget(m_fontFamily, 1);
    fontLayout->addWidget(m_fontSize);
    noteLayout->addWidget(fontGroup);
    noteLayout->addStretch(1);
    tabs->addTab(note, tr("Note"));

    auto *shortcut = new QWidget(tabs);
    shortcut->setObjectName(QStringLiteral("shortcut"));
    auto *shortcutLayout = new QVBoxLayout(shortcut);
    m_toolsGroup = new QGroupBox(tr("Annotation tools"), shortcut);
    m_toolsGroup->setObjectName(QStringLiteral("annotationToolsGroup"));
    auto *toolsLayout = new QFormLayout(m_toolsGroup);
    for (const Tool &tool : KeyboardShortcuts::tools()) {
        auto *edit = new ShortcutEdit(m_toolsGroup);
        edit->setObjectName(QStringLiteral("shortcut_") + QLatin1String(tool.name));
        toolsLayout->addRow(tr(tool.label), edit);
    }
    m_colorsGroup = new QGroupBox(tr("AnnotAnnotation colors"), shortcut);
    m_colorsGroup->setObjectName(QStringLiteral("annotationColorsGroup"));
    auto *colorsLayout = new QFormLayout(m_colorsGroup);
    for (const char *color : KeyboardShortcuts::colors()) {
        auto *label = new QLabel(m_colorsGroup);
        label->setPixmap(swatch(QColor(QLatin1Char('#') + QLatin1String(color))));
        auto *edit = new ShortcutEdit(m_colorsGroup);
        edit->setObjectName(QStringLiteral("shortcut_") + QLatin1String(color));
        colorsLayout->addRow(label, edit);
    }
    auto *restore = new QPushButton(tr("Restore default"), shortcut);
    restore->setObjectName(QStringLiteral("restoreDefaultShortcut"));
    auto *groups = new QHBoxLayout;
    groups->addWidget(m_toolsGroup);
    groups->addWidget(m_colorsGroup);
    shortcutLayout->addLayout(groups);
    shortcutLayout->addWidget(restore, 0, Qt::AlignRight);
    tabs->addTab(shortcut, tr("Shortcut"));

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    connect(change, &QPushButton::clicked, this, &SettingsDialog::changeStorageLocation);
    connect(open, &QPushButton::clicked, this, &SettingsDialog::openStorageLocation);
    connect(restore, &QPushButton::clicked, this, &SettingsDialog::restoreShortcut);
}

QList<ShortcutEdit *> SettingsDialog::shortcutEdits() const
{
    return m_toolsGroup->findChildren<ShortcutEdit *>(QString(), Qt::FindDirectChildrenOnly)
        + m_colorsGroup->findChildren<ShortcutEdit *>(QString(), Qt::FindDirectChildrenOnly);
}

void SettingsDialog::load()
{
    m_storageLocation->setText(settings()->general.storageLocation());
    m_loadLastSession->setChecked(settings()->general.loadLastSessionWhenStart());
    const QFont font = settings()->note.font();
    m_fontFamily->setCurrentFont(font);
    m_fontSize->setCurrentText(QString::number(font.pointSize()));
    const QList<ShortcutEdit *> edits = shortcutEdits();
    for (ShortcutEdit *edit : edits) {
        const QString name = shortcutName(edit);
        if (!name.isEmpty()) {
            edit->setKeySequence(settings()->shortcut.shortcut(name));
        }
    }
}

void SettingsDialog::restoreShortcut()
{
    const QList<ShortcutEdit *> edits = shortcutEdits();
    for (ShortcutEdit *edit : edits) {
        const QString name = shortcutName(edit);
        if (!name.isEmpty()) {
            edit->setKeySequence(Settings::Shortcut::defaultShortcut(name));
        }
    }
}

QString SettingsDialog::describe(const ShortcutEdit *edit) const
{
    const QString name = edit->objectName().section(QLatin1Char('_'), 1);
    for (const Tool &tool : KeyboardShortcuts::tools()) {
        if (name == QLatin1String(tool.name)) {
            return tr(tool.label);
        }
    }
    return tr("Colour #%1").arg(name);
}

QStringList SettingsDialog::shortcutProblems() const
{
    QStringList problems;
    QHash<QKeySequence, QStringList> users;
    QList<QKeySequence> order;
    const QList<ShortcutEdit *> edits = shortcutEdits();
    for (const ShortcutEdit *edit : edits) {
        if (!edit->isComplete()) {
            problems << tr("%1: \"%2\" is not a complete shortcut.").arg(describe(edit), edit->text());
            continue;
        }
        const QKeySequence sequence = edit->keySequence();
        if (sequence.isEmpty()) {
            continue;
        }
        if (!users.contains(sequence)) {
            order << sequence;
        }
        users[sequence] << describe(edit);
    }
    for (const QKeySequence &sequence : qAsConst(order)) {
        const QString text = sequence.toString(QKeySequence::NativeText);
        const QStringList &names = users[sequence];
        if (names.size() > 1) {
            problems << tr("%1 share %2.").arg(names.join(tr(" and ")), text);
        }
        for (const KeyboardShortcuts::Fixed &fixed : KeyboardShortcuts::fixed()) {
            if (fixed.keptByDocumentTab && fixed.key == sequence) {
                problems << tr("%1 uses %2, which is kept for %3.")
                                .arg(names.join(tr(" and ")), text, tr(fixed.label));
                break;
            }
        }
    }
    return problems;
}

void SettingsDialog::accept()
{
    const QStringList problems = shortcutProblems();
    if (!problems.isEmpty()) {
        QMessageBox::warning(this, tr("Settings"),
            tr("These shortcuts would not work:\n\n%1\n\nChange them, then press OK again.")
                .arg(problems.join(QLatin1Char('\n'))));
        return;
    }
    auto *store = settings();
    store->general.setStorageLocation(m_storageLocation->text());
    if (!m_loadLastSession->isChecked()) {
        store->mainWindow.setLastSessionDocuments({});
    }
    store->general.setLoadLastSessionWhenStart(m_loadLastSession->isChecked());
    QFont font = m_fontFamily->currentFont();
    font.setPointSize(m_fontSize->currentText().toInt());
    store->note.setFont(font);
    const QList<ShortcutEdit *> edits = shortcutEdits();
    for (const ShortcutEdit *edit : edits) {
        const QString name = shortcutName(edit);
        if (!name.isEmpty()) {
            store->shortcut.setShortcut(name, edit->keySequence());
        }
    }
    store->sync();
    QDialog::accept();
}

void SettingsDialog::changeStorageLocation()
{
    const QString current = m_storageLocation->text();
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Open Directory"), current, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty()) {
        return;
    }
    const QString target = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    const QString configured
        = QDir::cleanPath(QFileInfo(settings()->general.storageLocation()).absoluteFilePath());
    if (target == configured || target == QDir::cleanPath(House::instance()->location())) {
        return;
    }
    if (!House::isEmptyFolder(target)) {
        QMessageBox::information(this, tr("Nodera Reader"),
            tr("<p>The directory you selected contains files.</p><p>Choose a empty target to move.</p>"));
        return;
    }
    if (!House::instance()->moveTo(target)) {
        QMessageBox::warning(this, tr("Nodera Reader"),
            tr("The notes could not be moved to %1.\nThey stay in %2; the log there tells why.")
                .arg(target, current));
        return;
    }
    // From now on this session works in the new folder: the next start must open it too, whether
    // or not the dialog is accepted.
    m_storageLocation->setText(House::instance()->location());
    settings()->general.setStorageLocation(House::instance()->location());
    settings()->sync();
}

void SettingsDialog::openStorageLocation()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_storageLocation->text()));
}

} // namespace Nod::Presentation
