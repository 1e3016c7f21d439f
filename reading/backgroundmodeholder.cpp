#include "backgroundmodeholder.h"

#include <annotating/markeritem.h>
#include <backend/renderparam.h>

BackgroundModeHolder *BackgroundModeHolder::instance()
{
    static BackgroundModeHolder *holder = new BackgroundModeHolder;
    return holder;
}

void BackgroundModeHolder::setMode(const Nod::Domain::BackgroundMode &mode)
{
    // Marks choose darken or lighten by the mode; they read it on every paint.
    Nod::Presentation::MarkerItem::setBackgroundMode(mode);
    if (mode == m_mode) {
        return;
    }
    m_mode = mode;
    emit modeChanged(mode);
}

void BackgroundModeHolder::setKeepPictures(bool keep)
{
    if (keep == m_keepPictures) {
        return;
    }
    m_keepPictures = keep;
    emit modeChanged(m_mode);
}

void BackgroundModeHolder::applyTo(RenderParam &param) const
{
    param.setFlags(m_mode.mode());
    param.setColor(m_mode.color());
    param.setKeepPictures(m_keepPictures);
}
