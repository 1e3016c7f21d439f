#pragma once

#include <domain/backgroundmode.h>

#include <QObject>

// The reading background (colour treatment of rendered pages) for the whole process. The main
// window sets it from its menu and the settings; page items read it when they paint and repaint
// when it changes. Interface thread only.
class BackgroundModeHolder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackgroundModeHolder)

public:
    static BackgroundModeHolder *instance();

    Nod::Domain::BackgroundMode mode() const { return m_mode; }
    void setMode(const Nod::Domain::BackgroundMode &mode);

signals:
    void modeChanged(const Nod::Domain::BackgroundMode &mode);

private:
    BackgroundModeHolder() = default;

    Nod::Domain::BackgroundMode m_mode;
};
