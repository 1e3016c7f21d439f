#pragma once

#include <QMetaType>
#include <QVector>

class QDataStream;

namespace Nod::Domain {

// The side bar of a document tab: collapsed or not, and its splitter's pane sizes as fractions of the
// splitter's width less its handle.
class SiderBarState final
{
public:
    SiderBarState() = default;
    SiderBarState(bool shrunk, const QVector<double> &sizes);

    bool isShrunk() const { return m_shrunk; }
    void setShrunk(bool shrunk) { m_shrunk = shrunk; }
    QVector<double> sizes() const { return m_sizes; }
    void setSizes(const QVector<double> &sizes) { m_sizes = sizes; }

    bool operator==(const SiderBarState &other) const;
    bool operator!=(const SiderBarState &other) const { return !(*this == other); }

    // Reads the stored form; false, and the default value, on malformed input.
    static bool read(QDataStream &stream, SiderBarState &state);

private:
    bool m_shrunk = true;
    QVector<double> m_sizes;
};

QDataStream &operator<<(QDataStream &stream, const SiderBarState &state);
QDataStream &operator>>(QDataStream &stream, SiderBarState &state);

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::SiderBarState)
