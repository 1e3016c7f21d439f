#include <app/databasestartup.h>
#include <app/settingsdialog.h>
#include <app/shortcutedit.h>
#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <domain/metatypes.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using Common::Infrastructure::House;
using Common::Infrastructure::Settings;
using Nod::Presentation::SettingsDialog;
using Nod::Presentation::ShortcutEdit;

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVariant storedValue(const QString &key)
{
    Settings::instance()->sync();
    return QSettings(Settings::filePath(), QSettings::IniFormat).value(key);
}

QStringList column(const QString &sql)
{
    QStringList values;
    QSqlQuery query;
    if (query.exec(sql)) {
        while (query.next()) {
            values << query.value(0).toString();
        }
    }
    return values;
}
} // namespace

// The settings dialog driven as a user drives it, over the real ini file and a real storage folder.
class SettingsDialogTest : public QObject
{
    Q_OBJECT

private:
    // Answers the modal boxes and folder choosers the dialog raises.
    QTimer m_poll;
    QStringList m_boxes;
    std::function<void(QFileDialog *)> m_chooseFolder;
    QString m_chooserStart;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QList<QUrl> m_opened;

    static ShortcutEdit *edit(SettingsDialog &dialog, const char *name)
    {
        return dialog.findChild<ShortcutEdit *>(QLatin1String(name));
    }
    static QPushButton *button(SettingsDialog &dialog, QDialogButtonBox::StandardButton which)
    {
        return dialog.findChild<QDialogButtonBox *>()->button(which);
    }
    static QKeySequence storedShortcut(const QString &name)
    {
        return storedValue(QStringLiteral("shortcut/") + name).value<QKeySequence>();
    }

public slots:
    void openedUrl(const QUrl &url) { m_opened << url; }

private slots:
    void initTestCase()
    {
        Nod::Domain::registerMetaTypes();
        QStandardPaths::setTestModeEnabled(true);
        QObject::connect(House::instance(), &House::locationChanged, &Nod::App::openDatabase);
        Nod::App::installDatabaseCopier();
        connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                m_boxes << box->windowTitle() + QLatin1Char('|') + box->text();
                box->accept();
            } else if (auto *chooser = qobject_cast<QFileDialog *>(modal)) {
                m_chooserStart = chooser->directory().absolutePath();
                if (m_chooseFolder) {
                    m_chooseFolder(chooser);
                } else {
                    chooser->reject();
                }
            }
        });
        m_poll.start(20);
    }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QSettings(Settings::filePath(), QSettings::IniFormat).clear();
        const QString storage = m_tmp->filePath(QStringLiteral("store"));
        QVERIFY(House::instance()->setLocation(storage));
        Settings::instance()->general.setStorageLocation(storage);
        m_boxes.clear();
        m_chooseFolder = nullptr;
    }

    void shortcutCapture_isStoredOnlyWhenComplete_data()
    {
        QTest::addColumn<QString>("unusable");
        QTest::addColumn<int>("otherKey");
        QTest::addColumn<int>("otherModifiers");
        QTest::addColumn<QString>("complaint");
        QTest::newRow("modifier alone")
            << QStringLiteral("shortcut_textUnderline") << int(Qt::Key_Control) << int(Qt::ControlModifier)
            << QStringLiteral("not a complete shortcut");
        QTest::newRow("half erased") << QStringLiteral("shortcut_selectText") << int(Qt::Key_Backspace) << 0
                                     << QStringLiteral("Select text: \"Alt+\" is not a complete shortcut");
        QTest::newRow("same as another tool") << QStringLiteral("shortcut_rectangle") << int(Qt::Key_K)
                                              << int(Qt::ControlModifier | Qt::ShiftModifier)
                                              << QStringLiteral("Text Highlight and Rectangle share");
        QTest::newRow("same as a colour")
            << QStringLiteral("shortcut_ff00ff") << int(Qt::Key_K)
            << int(Qt::ControlModifier | Qt::ShiftModifier) << QStringLiteral("Colour #ff00ff share");
        QTest::newRow("kept for undo") << QStringLiteral("shortcut_linePen") << int(Qt::Key_Z)
                                       << int(Qt::ControlModifier) << QStringLiteral("kept for Undo");
        // The tab's own keys for zoom, the reading view and the find bar.
        QTest::newRow("kept for zooming in")
            << QStringLiteral("shortcut_linePen") << int(Qt::Key_Equal) << int(Qt::ControlModifier)
            << QStringLiteral("kept for Zoom In");
        QTest::newRow("kept for zooming out")
            << QStringLiteral("shortcut_rectangle") << int(Qt::Key_Minus) << int(Qt::ControlModifier)
            << QStringLiteral("kept for Zoom Out");
        QTest::newRow("kept for the reading view")
            << QStringLiteral("shortcut_selectText") << int(Qt::Key_Slash) << int(Qt::ControlModifier)
            << QStringLiteral("kept for Reading View");
        for (const auto &[standard, name] : { std::pair { QKeySequence::FindNext, "Find Next" },
                 std::pair { QKeySequence::FindPrevious, "Find Previous" } }) {
            const QKeySequence key(standard);
            QVERIFY(!key.isEmpty());
            QTest::newRow(name) << QStringLiteral("shortcut_textUnderline")
                                << int(key[0] & ~Qt::KeyboardModifierMask)
                                << int(key[0] & Qt::KeyboardModifierMask)
                                << QStringLiteral("kept for %1").arg(QLatin1String(name));
        }
    }

    void shortcutCapture_isStoredOnlyWhenComplete()
    {
        QFETCH(QString, unusable);
        QFETCH(int, otherKey);
        QFETCH(int, otherModifiers);
        QFETCH(QString, complaint);

        SettingsDialog dialog;
        dialog.show();
        ShortcutEdit *highlight = edit(dialog, "shortcut_textHighlight");
        QCOMPARE(highlight->text(), QKeySequence(Qt::CTRL | Qt::Key_T).toString(QKeySequence::NativeText));
        QTest::keyClick(highlight, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(highlight->text(), QStringLiteral("Ctrl+Shift+K"));

        // A second edit gets something that must not be stored: the dialog says so and stays open.
        ShortcutEdit *other = dialog.findChild<ShortcutEdit *>(unusable);
        QTest::keyClick(other, Qt::Key(otherKey), Qt::KeyboardModifiers(otherModifiers));
        QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes.first().contains(complaint), qPrintable(m_boxes.first()));
        QVERIFY(dialog.isVisible());
        QVERIFY(!storedValue(QStringLiteral("shortcut/textHighlight")).isValid());

        // Fixed by the user: everything is stored.
        QTest::keyClick(other, Qt::Key_F5, Qt::AltModifier);
        ShortcutEdit *brush = edit(dialog, "shortcut_lineBrush");
        while (!brush->text().isEmpty()) {
            QTest::keyClick(brush, Qt::Key_Backspace);
        }
        QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(
            storedShortcut(QStringLiteral("textHighlight")), QKeySequence(QStringLiteral("Ctrl+Shift+K")));
        QCOMPARE(Settings::instance()->shortcut.shortcut(QStringLiteral("textHighlight")),
            QKeySequence(QStringLiteral("Ctrl+Shift+K")));
        QCOMPARE(
            storedShortcut(unusable.section(QLatin1Char('_'), 1)), QKeySequence(QStringLiteral("Alt+F5")));
        // Untouched edits store what they showed; an emptied one disables its shortcut.
        QCOMPARE(storedShortcut(QStringLiteral("areaHighlight")), QKeySequence(QStringLiteral("Ctrl+R")));
        QVERIFY(storedValue(QStringLiteral("shortcut/lineBrush")).isValid());
        QVERIFY(Settings::instance()->shortcut.shortcut(QStringLiteral("lineBrush")).isEmpty());
    }

    void restoreDefaultThenCancel_leavesTheIniUnchanged()
    {
        Settings::instance()->shortcut.setShortcut(
            QStringLiteral("textHighlight"), QKeySequence(QStringLiteral("Ctrl+Shift+K")));
        Settings::instance()->shortcut.setShortcut(
            QStringLiteral("ffff00"), QKeySequence(QStringLiteral("Ctrl+1")));
        Settings::instance()->sync();
        const QByteArray ini = fileBytes(Settings::filePath());

        SettingsDialog dialog;
        dialog.show();
        QCOMPARE(edit(dialog, "shortcut_textHighlight")->text(), QStringLiteral("Ctrl+Shift+K"));
        QTest::mouseClick(
            dialog.findChild<QPushButton *>(QStringLiteral("restoreDefaultShortcut")), Qt::LeftButton);
        QCOMPARE(edit(dialog, "shortcut_textHighlight")->text(), QStringLiteral("Ctrl+T"));
        QCOMPARE(edit(dialog, "shortcut_ffff00")->text(), QString());
        QTest::mouseClick(button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        Settings::instance()->sync();
        QCOMPARE(fileBytes(Settings::filePath()), ini);
        QCOMPARE(Settings::instance()->shortcut.shortcut(QStringLiteral("textHighlight")),
            QKeySequence(QStringLiteral("Ctrl+Shift+K")));
    }

    void sessionAndFont_areStoredOnOk()
    {
        Settings::instance()->general.setLoadLastSessionWhenStart(true);
        Settings::instance()->mainWindow.setLastSessionDocuments({ 7, 3 });

        SettingsDialog dialog;
        dialog.show();
        auto *session = dialog.findChild<QCheckBox *>(QStringLiteral("loadLastSessionWhenStart"));
        QVERIFY(session->isChecked());
        QTest::mouseClick(session, Qt::LeftButton, {}, QPoint(8, session->height() / 2));
        QVERIFY(!session->isChecked());
        auto *size = dialog.findChild<QComboBox *>(QStringLiteral("fontSizecomboBox"));
        QCOMPARE(size->currentText(), QStringLiteral("12"));
        size->setFocus();
        QTest::keyClick(size, Qt::Key_Down);
        QCOMPARE(size->currentText(), QStringLiteral("14"));
        // Nothing is stored before OK.
        QCOMPARE(Settings::instance()->mainWindow.lastSessionDocuments(), (QList<int> { 7, 3 }));

        QTest::mouseClick(button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!Settings::instance()->general.loadLastSessionWhenStart());
        QVERIFY(Settings::instance()->mainWindow.lastSessionDocuments().isEmpty());
        QCOMPARE(Settings::instance()->note.font().pointSize(), 14);
    }

    void storageMove_takesTheDataToAnEmptyFolderAtOnce()
    {
        const QString old = House::instance()->location();
        {
            QSqlQuery query;
            QVERIFY(query.exec(QStringLiteral("CREATE TABLE notes (text TEXT)")));
            QVERIFY(query.exec(QStringLiteral("INSERT INTO notes VALUES ('kept'), ('also kept')")));
        }

        const QString crowded = m_tmp->filePath(QStringLiteral("crowded"));
        const QString empty = m_tmp->filePath(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(crowded) && QDir().mkpath(empty));
        QFile file(crowded + QStringLiteral("/someone's file.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QFile hidden(empty + QStringLiteral("/.hidden"));
        QVERIFY(hidden.open(QIODevice::WriteOnly));
        hidden.close();

        SettingsDialog dialog;
        dialog.show();
        auto *location = dialog.findChild<QLineEdit *>(QStringLiteral("storageLocation"));
        QVERIFY(location->isReadOnly());
        QCOMPARE(location->text(), old);
        auto *change = dialog.findChild<QPushButton *>(QStringLiteral("changeStorageLocationButton"));

        // A folder with files is refused, and nothing moves.
        m_chooseFolder = [crowded](QFileDialog *chooser) {
            auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QTest::keyClicks(name, crowded);
            QTest::keyClick(name, Qt::Key_Return);
        };
        QTest::mouseClick(change, Qt::LeftButton);
        QCOMPARE(m_chooserStart, old);
        QCOMPARE(m_boxes,
            QStringList { QStringLiteral("Nodera Reader|<p>The directory you selected contains files.</p>"
                                         "<p>Choose a empty target to move.</p>") });
        QCOMPARE(location->text(), old);
        QCOMPARE(House::instance()->location(), old);
        QVERIFY(!QFile::exists(crowded + QStringLiteral("/database")));

        // An empty one (hidden entries do not count) takes the database, and the choice is stored
        // at once: Cancel does not send the next start back to the old folder.
        m_chooseFolder = [empty](QFileDialog *chooser) {
            auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QTest::keyClicks(name, empty);
            QTest::keyClick(name, Qt::Key_Return);
        };
        QTest::mouseClick(change, Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(location->text(), empty);
        QCOMPARE(House::instance()->location(), empty);
        QCOMPARE(storedValue(QStringLiteral("General/storageLocation")).toString(), empty);
        QTest::mouseClick(button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(storedValue(QStringLiteral("General/storageLocation")).toString(), empty);

        for (const char *room : { "Documents", "Logs", "Crashes", "Backups", "Resources" }) {
            QVERIFY2(QFileInfo(empty + QLatin1Char('/') + QLatin1String(room)).isDir(), room);
        }
        // The session goes on in the new folder, with its data.
        QCOMPARE(column(QStringLiteral("SELECT text FROM notes ORDER BY text")),
            (QStringList { QStringLiteral("also kept"), QStringLiteral("kept") }));
        QSqlQuery insert;
        QVERIFY(insert.exec(QStringLiteral("INSERT INTO notes VALUES ('new')")));
        QCOMPARE(column(QStringLiteral("SELECT count(*) FROM notes")), QStringList { QStringLiteral("3") });
        QVERIFY(QFile::exists(old + QStringLiteral("/database"))); // the old folder is left as it was

        // "Open Folder" shows the new folder in the file browser.
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openedUrl");
        QTest::mouseClick(
            dialog.findChild<QPushButton *>(QStringLiteral("openStorageLocationButton")), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_opened, QList<QUrl> { QUrl::fromLocalFile(empty) });
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "tst_settingsdialog.moc"
