#pragma once

#include <domain/backgroundmode.h>

#include <QObject>

class RenderParam;

// The reading background (colour treatment of rendered pages) for the whole process, and whether
// pictures keep their own colours under it. The main window sets both from its menu and the
// settings; page items, excerpts and marks read them when they paint, and every open view
// repaints when either changes. Interface thread only.
class BackgroundModeHolder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackgroundModeHolder)

public:
    static BackgroundModeHolder *instance();

    Nod::Domain::BackgroundMode mode() const { return m_mode; }
    void setMode(const Nod::Domain::BackgroundMode &mode);
    bool keepPictures() const { return m_keepPictures; }
    void setKeepPictures(bool keep);
    // Gives a parameter for an on-screen render the colour treatment in force.
    void applyTo(RenderParam &param) const;

signals:
    // Also announced, with the same mode, when pictures start or stop keeping their colours.
    void modeChanged(const Nod::Domain::BackgroundMode &mode);

private:
    BackgroundModeHolder() = default;

    Nod::Domain::BackgroundMode m_mode;
    bool m_keepPictures = true;
};
