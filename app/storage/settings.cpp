#include "settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>

namespace Common::Infrastructure {

namespace {
Settings *g_instance = nullptr;

// The ini format keeps a group named "general" as "[%General]" and reads it back as "General": keys
// spelt "general/..." would be lost on the next start. "General/..." is the same line in the file.
const QString kStorageLocation = QStringLiteral("General/storageLocation");
const QString kAppDataPath = QStringLiteral("mainWindow/appDataPath");
const QString kLoadLastSession = QStringLiteral("General/loadLastSessionWhenStart");
const QString kShortcutPrefix = QStringLiteral("shortcut/");
const QString kNoteFont = QStringLiteral("note/font");
const QString kPaneColors = QStringLiteral("colorPane/paneColors");
const QString kRowCount = QStringLiteral("colorPane/rowCount");
const QString kColumnCount = QStringLiteral("colorPane/columnCount");
const QString kLastSession = QStringLiteral("mainWindow/lastSessionDocuments");
const QString kLibraryState = QStringLiteral("mainWindow/libraryWidgetState");
const QString kBackgroundMode = QStringLiteral("mainWindow/backgroundMode");
const QString kRecentFolder = QStringLiteral("mainWindow/recentOpenFolder");
const QString kGeometry = QStringLiteral("mainWindow/geometry");
const QString kKeepPictures = QStringLiteral("mainWindow/keepPicturesInColour");

// Absent: the default. Stored with the wanted type: as stored. Otherwise converted, or an empty
// value of the type when it does not convert.
template <typename T> T typedValue(const QSettings *settings, const QString &key, const T &fallback)
{
    if (!settings->contains(key)) {
        return fallback;
    }
    QVariant value = settings->value(key);
    if (value.userType() == qMetaTypeId<T>()) {
        return value.value<T>();
    }
    if (value.convert(qMetaTypeId<T>())) {
        return value.value<T>();
    }
    return T();
}

QFont defaultNoteFont()
{
    QFont font = QGuiApplication::font();
    font.setPointSize(12);
    return font;
}

const QStringList &defaultPaneColors()
{
    static const QStringList colors = {
        QStringLiteral("#ffff00"),
        QStringLiteral("#00ff00"),
        QStringLiteral("#00ffff"),
        QStringLiteral("#ff00ff"),
        QStringLiteral("#0000ff"),
        QStringLiteral("#ff0000"),
        QStringLiteral("#000080"),
        QStringLiteral("#008000"),
        QStringLiteral("#808000"),
        QStringLiteral("#c0c0c0"),
    };
    return colors;
}

QHash<QString, QKeySequence> defaultShortcuts()
{
    return {
        { QStringLiteral("selectText"), QKeySequence(Qt::ALT + Qt::Key_2) },
        { QStringLiteral("textHighlight"), QKeySequence(Qt::CTRL + Qt::Key_T) },
        { QStringLiteral("textUnderline"), QKeySequence(Qt::CTRL + Qt::Key_U) },
        { QStringLiteral("areaHighlight"), QKeySequence(Qt::CTRL + Qt::Key_R) },
        { QStringLiteral("rectangle"), QKeySequence(Qt::CTRL + Qt::Key_E) },
        { QStringLiteral("linePen"), QKeySequence(Qt::CTRL + Qt::Key_L) },
        { QStringLiteral("lineBrush"), QKeySequence(Qt::CTRL + Qt::Key_H) },
    };
}
} // namespace

QString Settings::General::storageLocation() const
{
    QString location = m_settings->value(kStorageLocation).toString();
    if (location.isEmpty()) {
        location = m_settings->value(kAppDataPath).toString();
    }
    if (location.isEmpty()) {
        location = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
            + QStringLiteral("/Nodera Reader");
    }
    return location;
}

void Settings::General::setStorageLocation(const QString &path)
{
    m_settings->setValue(kStorageLocation, path);
}

bool Settings::General::loadLastSessionWhenStart() const
{
    return m_settings->value(kLoadLastSession, false).toBool();
}

void Settings::General::setLoadLastSessionWhenStart(bool load)
{
    m_settings->setValue(kLoadLastSession, load);
}

QKeySequence Settings::Shortcut::shortcut(const QString &name) const
{
    const QString key = kShortcutPrefix + name;
    if (!m_settings->contains(key)) {
        return defaultShortcut(name);
    }
    return typedValue<QKeySequence>(m_settings, key, QKeySequence());
}

bool Settings::Shortcut::isStored(const QString &name) const
{
    return m_settings->contains(kShortcutPrefix + name);
}

void Settings::Shortcut::setShortcut(const QString &name, const QKeySequence &sequence)
{
    m_settings->setValue(kShortcutPrefix + name, QVariant::fromValue(sequence));
}

QKeySequence Settings::Shortcut::defaultShortcut(const QString &name)
{
    const QHash<QString, QKeySequence> defaults = defaultShortcuts();
    const auto it = defaults.constFind(name);
    if (it == defaults.constEnd()) {
        qWarning() << "unsupported shortcut name:" << name;
        return QKeySequence();
    }
    return it.value();
}

QFont Settings::Note::font() const { return typedValue<QFont>(m_settings, kNoteFont, defaultNoteFont()); }

void Settings::Note::setFont(const QFont &font) { m_settings->setValue(kNoteFont, font); }

QList<QColor> Settings::ColorPane::defaultColors()
{
    QList<QColor> colors;
    for (const QString &name : defaultPaneColors()) {
        colors.append(QColor(name));
    }
    return colors;
}

QList<QColor> Settings::ColorPane::paneColors() const
{
    QStringList names = m_settings->value(kPaneColors).toStringList();
    if (names.isEmpty()) {
        names = defaultPaneColors();
    }
    QList<QColor> colors;
    colors.reserve(names.size());
    for (const QString &name : qAsConst(names)) {
        colors.append(QColor(name));
    }
    return colors;
}

int Settings::ColorPane::rowCount() const { return m_settings->value(kRowCount, 2).toInt(); }

int Settings::ColorPane::columnCount() const { return m_settings->value(kColumnCount, 5).toInt(); }

QList<int> Settings::MainWindow::lastSessionDocuments() const
{
    const QVariantList stored = m_settings->value(kLastSession).toList();
    QList<int> ids;
    ids.reserve(stored.size());
    for (const QVariant &id : stored) {
        ids.append(id.toInt());
    }
    return ids;
}

void Settings::MainWindow::setLastSessionDocuments(const QList<int> &ids)
{
    QVariantList stored;
    stored.reserve(ids.size());
    for (int id : ids) {
        stored.append(id);
    }
    m_settings->setValue(kLastSession, stored);
}

QByteArray Settings::MainWindow::libraryWidgetState() const
{
    return m_settings->value(kLibraryState).toByteArray();
}

void Settings::MainWindow::setLibraryWidgetState(const QByteArray &state)
{
    m_settings->setValue(kLibraryState, state);
}

Nod::Domain::BackgroundMode Settings::MainWindow::backgroundMode() const
{
    return typedValue<Nod::Domain::BackgroundMode>(
        m_settings, kBackgroundMode, Nod::Domain::BackgroundMode());
}

void Settings::MainWindow::setBackgroundMode(const Nod::Domain::BackgroundMode &mode)
{
    m_settings->setValue(kBackgroundMode, QVariant::fromValue(mode));
}

bool Settings::MainWindow::keepPicturesInColour() const
{
    return m_settings->value(kKeepPictures, true).toBool();
}

void Settings::MainWindow::setKeepPicturesInColour(bool keep) { m_settings->setValue(kKeepPictures, keep); }

QString Settings::MainWindow::recentOpenFolder() const
{
    const QString folder = m_settings->value(kRecentFolder).toString();
    if (folder.isEmpty()) {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    }
    return folder;
}

void Settings::MainWindow::setRecentOpenFolder(const QString &path)
{
    m_settings->setValue(kRecentFolder, path);
}

QByteArray Settings::MainWindow::geometry() const { return m_settings->value(kGeometry).toByteArray(); }

void Settings::MainWindow::setGeometry(const QByteArray &geometry)
{
    m_settings->setValue(kGeometry, geometry);
}

Settings::Settings(QSettings *settings, QObject *parent)
    : QObject(parent)
    , general(settings)
    , shortcut(settings)
    , note(settings)
    , colorPane(settings)
    , mainWindow(settings)
    , m_settings(settings)
{
    m_settings->setParent(this);
}

Settings::~Settings()
{
    m_settings->sync();
    if (g_instance == this) {
        g_instance = nullptr;
    }
}

QString Settings::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QDir::separator()
        + QStringLiteral("NoderaDesktop.ini");
}

Settings *Settings::instance()
{
    if (!g_instance) {
        g_instance
            = new Settings(new QSettings(filePath(), QSettings::IniFormat), QCoreApplication::instance());
    }
    return g_instance;
}

void Settings::sync() { m_settings->sync(); }

} // namespace Common::Infrastructure
