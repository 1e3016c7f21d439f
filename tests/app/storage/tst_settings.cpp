#include <app/storage/settings.h>
#include <domain/metatypes.h>

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

using Common::Infrastructure::Settings;

namespace {
QStringList g_messages;

void captureMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages.append(message);
}
} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private:
    // Writes raw keys behind the store's back, as an older version or a hand edit would.
    void writeRaw(const QString &key, const QVariant &value)
    {
        QSettings raw(Settings::filePath(), QSettings::IniFormat);
        raw.setValue(key, value);
    }

private slots:
    void initTestCase()
    {
        Nod::Domain::registerMetaTypes();
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Nodera"));
        QCoreApplication::setApplicationName(QStringLiteral("Nodera Desktop"));
    }

    void init()
    {
        delete Settings::instance();
        QFile::remove(Settings::filePath());
    }

    void filePath_isIniInAppLocalData()
    {
        QVERIFY(Settings::filePath().endsWith(QStringLiteral("/NoderaDesktop.ini")));
        QVERIFY(Settings::filePath().startsWith(
            QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)));
    }

    void storageLocation_fallsBack()
    {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(
            Settings::instance()->general.storageLocation(), documents + QStringLiteral("/Nodera Reader"));

        writeRaw(QStringLiteral("mainWindow/appDataPath"), QStringLiteral("/data/old place"));
        QCOMPARE(Settings::instance()->general.storageLocation(), QStringLiteral("/data/old place"));

        Settings::instance()->general.setStorageLocation(QStringLiteral("/data/new place"));
        QCOMPARE(Settings::instance()->general.storageLocation(), QStringLiteral("/data/new place"));
    }

    void shortcuts_defaultsAndStoredValues()
    {
        auto &shortcut = Settings::instance()->shortcut;
        QCOMPARE(shortcut.shortcut(QStringLiteral("textHighlight")), QKeySequence(QStringLiteral("Ctrl+T")));
        QCOMPARE(shortcut.shortcut(QStringLiteral("selectText")), QKeySequence(QStringLiteral("Alt+2")));
        QCOMPARE(shortcut.shortcut(QStringLiteral("lineBrush")), QKeySequence(QStringLiteral("Ctrl+H")));

        shortcut.setShortcut(QStringLiteral("rectangle"), QKeySequence(QStringLiteral("Ctrl+Shift+R")));
        shortcut.setShortcut(QStringLiteral("linePen"), QKeySequence());
        delete Settings::instance(); // from disk again
        QCOMPARE(Settings::instance()->shortcut.shortcut(QStringLiteral("rectangle")),
            QKeySequence(QStringLiteral("Ctrl+Shift+R")));
        // A stored empty sequence means "no shortcut", not "use the default".
        QCOMPARE(Settings::instance()->shortcut.shortcut(QStringLiteral("linePen")), QKeySequence());
    }

    void shortcuts_unknownNameIsEmptyAndLogged()
    {
        g_messages.clear();
        const auto previous = qInstallMessageHandler(captureMessages);
        const QKeySequence sequence = Settings::instance()->shortcut.shortcut(QStringLiteral("eraser"));
        qInstallMessageHandler(previous);
        QVERIFY(sequence.isEmpty());
        QCOMPARE(g_messages, QStringList { QStringLiteral("unsupported shortcut name: \"eraser\"") });
    }

    void shortcuts_textValueConverts()
    {
        writeRaw(QStringLiteral("shortcut/textUnderline"), QStringLiteral("Ctrl+Alt+U"));
        QCOMPARE(Settings::instance()->shortcut.shortcut(QStringLiteral("textUnderline")),
            QKeySequence(QStringLiteral("Ctrl+Alt+U")));
    }

    void noteFont_defaultsToTwelvePoints()
    {
        QCOMPARE(Settings::instance()->note.font().pointSize(), 12);
        QFont font(QStringLiteral("DejaVu Serif"), 17);
        Settings::instance()->note.setFont(font);
        delete Settings::instance();
        QCOMPARE(Settings::instance()->note.font().pointSize(), 17);
        QCOMPARE(Settings::instance()->note.font().family(), QStringLiteral("DejaVu Serif"));
    }

    void colorPane_emptyListGivesDefaults()
    {
        writeRaw(QStringLiteral("colorPane/paneColors"), QStringList());
        const QList<QColor> colors = Settings::instance()->colorPane.paneColors();
        QCOMPARE(colors.size(), 10);
        QCOMPARE(colors.first(), QColor(Qt::yellow));
        QCOMPARE(colors.last(), QColor(QStringLiteral("#c0c0c0")));
        QCOMPARE(Settings::instance()->colorPane.rowCount(), 2);
        QCOMPARE(Settings::instance()->colorPane.columnCount(), 5);

        writeRaw(QStringLiteral("colorPane/paneColors"),
            QStringList { QStringLiteral("red"), QStringLiteral("#123456") });
        QCOMPARE(Settings::instance()->colorPane.paneColors(),
            (QList<QColor> { QColor(Qt::red), QColor(QStringLiteral("#123456")) }));
    }

    void mainWindow_valuesSurviveRestart()
    {
        auto *settings = Settings::instance();
        QCOMPARE(settings->mainWindow.lastSessionDocuments(), QList<int>());
        QCOMPARE(settings->mainWindow.backgroundMode(), Nod::Domain::BackgroundMode());
        QCOMPARE(settings->mainWindow.recentOpenFolder(),
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QVERIFY(!settings->general.loadLastSessionWhenStart());

        const Nod::Domain::BackgroundMode night(1, QColor(53, 62, 66));
        settings->mainWindow.setLastSessionDocuments({ 7, 3 });
        settings->mainWindow.setBackgroundMode(night);
        settings->mainWindow.setGeometry(QByteArray("\x01\x02\x00\x03", 4));
        settings->mainWindow.setLibraryWidgetState(QByteArray("state"));
        settings->mainWindow.setRecentOpenFolder(QStringLiteral("/home/reader/papers"));
        settings->general.setLoadLastSessionWhenStart(true);
        delete Settings::instance();

        settings = Settings::instance();
        QCOMPARE(settings->mainWindow.lastSessionDocuments(), (QList<int> { 7, 3 }));
        QCOMPARE(settings->mainWindow.backgroundMode(), night);
        QCOMPARE(settings->mainWindow.geometry(), QByteArray("\x01\x02\x00\x03", 4));
        QCOMPARE(settings->mainWindow.libraryWidgetState(), QByteArray("state"));
        QCOMPARE(settings->mainWindow.recentOpenFolder(), QStringLiteral("/home/reader/papers"));
        QVERIFY(settings->general.loadLastSessionWhenStart());
    }

    void backgroundMode_unconvertibleValueGivesDefault()
    {
        writeRaw(QStringLiteral("mainWindow/backgroundMode"), QStringLiteral("not a mode"));
        QCOMPARE(Settings::instance()->mainWindow.backgroundMode(), Nod::Domain::BackgroundMode());
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
