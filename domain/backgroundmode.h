#pragma once

#include <QColor>
#include <QMetaType>

class QDataStream;

namespace Nod::Domain {

// The reading background chosen in the main menu; kept in the settings store.
class BackgroundMode final
{
public:
    BackgroundMode() = default;
    BackgroundMode(int mode, const QColor &color);

    int mode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    bool operator==(const BackgroundMode &other) const;
    bool operator!=(const BackgroundMode &other) const { return !(*this == other); }

    // Reads the stored form; false, and the default value, on malformed input.
    static bool read(QDataStream &stream, BackgroundMode &mode);

private:
    int m_mode = 0;
    QColor m_color = QColor(Qt::white);
};

QDataStream &operator<<(QDataStream &stream, const BackgroundMode &mode);
QDataStream &operator>>(QDataStream &stream, BackgroundMode &mode);

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::BackgroundMode)

// The settings store keeps the value under this registered name.
typedef Nod::Domain::BackgroundMode BackgroundMode;
