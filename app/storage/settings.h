#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

#include <domain/backgroundmode.h>

class QSettings;

namespace Common::Infrastructure {

// User preferences and window state kept outside the database, in one ini file per user.
// Every getter reads its key afresh and falls back to the key's default; every setter writes at
// once. Keys are grouped by section ("general/...", "mainWindow/...") and reached through the
// section objects below.
class Settings final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Settings)

public:
    class Section
    {
    public:
        explicit Section(QSettings *settings)
            : m_settings(settings)
        { }

    protected:
        QSettings *m_settings; // not owned
    };

    class General final : public Section
    {
    public:
        using Section::Section;
        QString storageLocation() const;
        void setStorageLocation(const QString &path);
        bool loadLastSessionWhenStart() const;
        void setLoadLastSessionWhenStart(bool load);
    };

    class Shortcut final : public Section
    {
    public:
        using Section::Section;
        QKeySequence shortcut(const QString &name) const;
        // True when the user stored a shortcut of that name (defaults aside).
        bool isStored(const QString &name) const;
        void setShortcut(const QString &name, const QKeySequence &sequence);
        static QKeySequence defaultShortcut(const QString &name);
    };

    class Note final : public Section
    {
    public:
        using Section::Section;
        QFont font() const;
        void setFont(const QFont &font);
    };

    class ColorPane final : public Section
    {
    public:
        using Section::Section;
        QList<QColor> paneColors() const;
        // The ten colours used when none are stored.
        static QList<QColor> defaultColors();
        int rowCount() const;
        int columnCount() const;
    };

    class MainWindow final : public Section
    {
    public:
        using Section::Section;
        QList<int> lastSessionDocuments() const;
        void setLastSessionDocuments(const QList<int> &ids);
        QByteArray libraryWidgetState() const;
        void setLibraryWidgetState(const QByteArray &state);
        Nod::Domain::BackgroundMode backgroundMode() const;
        void setBackgroundMode(const Nod::Domain::BackgroundMode &mode);
        // Whether background modes leave pictures in their own colours; true when absent.
        bool keepPicturesInColour() const;
        void setKeepPicturesInColour(bool keep);
        QString recentOpenFolder() const;
        void setRecentOpenFolder(const QString &path);
        QByteArray geometry() const;
        void setGeometry(const QByteArray &geometry);
    };

    // Created on first use, with the application object as parent when there is one.
    static Settings *instance();
    ~Settings() override;

    // "<AppLocalDataLocation>/NoderaDesktop.ini"
    static QString filePath();
    void sync();

    General general;
    Shortcut shortcut;
    Note note;
    ColorPane colorPane;
    MainWindow mainWindow;

private:
    explicit Settings(QSettings *settings, QObject *parent);

    QSettings *m_settings; // owned through the parent tree
};

} // namespace Common::Infrastructure
