#include "viewsetting.h"

#include "boundedreader.h"

#include <QDataStream>
#include <QHash>
#include <QVariant>

#include <cmath>

namespace Nod::Domain {

namespace {

enum Key : qint32 { ScaleModeKey = 0, ScaleFactorKey = 1, RotationKey = 2, MarginModeKey = 3 };

// A stored number outside the enumeration reads as its first value, like a missing one.
int enumValue(const QVariant &value, int last)
{
    int v = 0;
    return BoundedReader::toInt(value, v) && v >= 0 && v <= last ? v : 0;
}

} // namespace

ViewSetting::ViewSetting(ScaleMode scaleMode, double scaleFactor, Rotation rotation, MarginMode marginMode)
    : m_scaleMode(scaleMode)
    , m_scaleFactor(scaleFactor)
    , m_rotation(rotation)
    , m_marginMode(marginMode)
{ }

bool ViewSetting::operator==(const ViewSetting &other) const
{
    return m_scaleMode == other.m_scaleMode && m_scaleFactor == other.m_scaleFactor
        && m_rotation == other.m_rotation && m_marginMode == other.m_marginMode;
}

bool ViewSetting::read(QDataStream &stream, ViewSetting &setting)
{
    setting = ViewSetting();
    QHash<qint32, QVariant> record;
    if (!BoundedReader::readRecord(stream, record, BoundedReader::Types::Scalars)) {
        return false;
    }
    bool ok = false;
    double factor = record.value(ScaleFactorKey).toDouble(&ok);
    if (!ok || !std::isfinite(factor)) {
        factor = 0.0;
    }
    setting = ViewSetting(ScaleMode(enumValue(record.value(ScaleModeKey), FullScreen)), factor,
        Rotation(enumValue(record.value(RotationKey), Rotate270)),
        MarginMode(enumValue(record.value(MarginModeKey), BothSideMargin)));
    return true;
}

QDataStream &operator<<(QDataStream &stream, const ViewSetting &setting)
{
    QHash<qint32, QVariant> record;
    record.insert(ScaleModeKey, int(setting.scaleMode()));
    record.insert(ScaleFactorKey, setting.scaleFactor());
    record.insert(RotationKey, int(setting.rotation()));
    record.insert(MarginModeKey, int(setting.marginMode()));
    return stream << record;
}

QDataStream &operator>>(QDataStream &stream, ViewSetting &setting)
{
    StreamStatusGuard guard(stream);
    guard.finish(ViewSetting::read(stream, setting));
    return stream;
}

} // namespace Nod::Domain
