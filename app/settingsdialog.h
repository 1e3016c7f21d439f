#pragma once

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QGroupBox;
class QLineEdit;

namespace Nod::Presentation {

class ShortcutEdit;

// Where the notes are kept, whether the last session reopens, the note font and the shortcuts of the
// annotation tools and colours. The settings are stored when the user presses OK; a move of the
// storage folder happens, and is stored, as soon as the user picks the new folder.
class SettingsDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsDialog)

public:
    explicit SettingsDialog(QWidget *parent = nullptr);

    // The shortcut edits of both groups, in form order.
    QList<ShortcutEdit *> shortcutEdits() const;

public slots:
    void accept() override;
    void restoreShortcut();

private:
    void buildForm();
    void load();
    void changeStorageLocation();
    void openStorageLocation();
    // What keeps the edited shortcuts from working, one line each; empty when they are all usable.
    QStringList shortcutProblems() const;
    QString describe(const ShortcutEdit *edit) const;

    QLineEdit *m_storageLocation = nullptr;
    QCheckBox *m_loadLastSession = nullptr;
    QFontComboBox *m_fontFamily = nullptr;
    QComboBox *m_fontSize = nullptr;
    QGroupBox *m_toolsGroup = nullptr;
    QGroupBox *m_colorsGroup = nullptr;
};

} // namespace Nod::Presentation
