#pragma once

#include <QMetaType>
#include <QObject>

class QDataStream;

namespace Nod::Domain {

// How a document is shown: zoom, rotation and the note margin.
class ViewSetting final
{
    Q_GADGET

public:
    enum ScaleMode { NoScale = 0, FitToPageWidth = 1, FitToPageSize = 2, ScaleFactor = 3, FullScreen = 4 };
    Q_ENUM(ScaleMode)
    enum Rotation { NoRotation = 0, Rotate90 = 1, Rotate180 = 2, Rotate270 = 3 };
    Q_ENUM(Rotation)
    enum MarginMode { NoMargin = 0, RightMargin = 1, LeftMargin = 2, BothSideMargin = 3 };
    Q_ENUM(MarginMode)
    // Not stored in a ViewSetting.
    enum LayoutMode { SinglePage = 0, SingleContinus = 1 };
    Q_ENUM(LayoutMode)

    ViewSetting() = default;
    ViewSetting(ScaleMode scaleMode, double scaleFactor, Rotation rotation, MarginMode marginMode);

    ScaleMode scaleMode() const { return m_scaleMode; }
    void setScaleMode(ScaleMode mode) { m_scaleMode = mode; }
    double scaleFactor() const { return m_scaleFactor; }
    void setScaleFactor(double factor) { m_scaleFactor = factor; }
    Rotation rotation() const { return m_rotation; }
    void setRotation(Rotation rotation) { m_rotation = rotation; }
    MarginMode marginMode() const { return m_marginMode; }
    void setMarginMode(MarginMode mode) { m_marginMode = mode; }

    bool operator==(const ViewSetting &other) const;
    bool operator!=(const ViewSetting &other) const { return !(*this == other); }

    // Reads the stored form; false, and the default value, on malformed input.
    static bool read(QDataStream &stream, ViewSetting &setting);

private:
    ScaleMode m_scaleMode = ScaleFactor;
    double m_scaleFactor = 1.0;
    Rotation m_rotation = NoRotation;
    MarginMode m_marginMode = RightMargin;
};

QDataStream &operator<<(QDataStream &stream, const ViewSetting &setting);
QDataStream &operator>>(QDataStream &stream, ViewSetting &setting);

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::ViewSetting)
