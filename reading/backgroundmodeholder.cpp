#include "backgroundmodeholder.h"

BackgroundModeHolder *BackgroundModeHolder::instance()
{
    static BackgroundModeHolder *holder = new BackgroundModeHolder;
    return holder;
}

void BackgroundModeHolder::setMode(const Nod::Domain::BackgroundMode &mode)
{
    if (mode == m_mode) {
        return;
    }
    m_mode = mode;
    emit modeChanged(mode);
}
