#include "backgroundmode.h"

#include "boundedreader.h"

#include <QDataStream>

namespace Nod::Domain {

BackgroundMode::BackgroundMode(int mode, const QColor &color)
    : m_mode(mode)
    , m_color(color)
{ }

bool BackgroundMode::operator==(const BackgroundMode &other) const
{
    return m_mode == other.m_mode && m_color == other.m_color;
}

bool BackgroundMode::read(QDataStream &stream, BackgroundMode &mode)
{
    mode = BackgroundMode();
    qint32 value = 0;
    QColor color;
    if (!BoundedReader::readInt(stream, value) || !BoundedReader::readColor(stream, color)) {
        return false;
    }
    mode = BackgroundMode(value, color);
    return true;
}

QDataStream &operator<<(QDataStream &stream, const BackgroundMode &mode)
{
    return stream << qint32(mode.mode()) << mode.color();
}

QDataStream &operator>>(QDataStream &stream, BackgroundMode &mode)
{
    StreamStatusGuard guard(stream);
    guard.finish(BackgroundMode::read(stream, mode));
    return stream;
}

} // namespace Nod::Domain
