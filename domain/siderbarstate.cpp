#include "siderbarstate.h"

#include "boundedreader.h"

#include <QDataStream>

#include <cmath>

namespace Nod::Domain {

namespace {

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1000000000000.0 <= std::min(std::abs(a), std::abs(b));
}

} // namespace

SiderBarState::SiderBarState(bool shrunk, const QVector<double> &sizes)
    : m_shrunk(shrunk)
    , m_sizes(sizes)
{ }

bool SiderBarState::operator==(const SiderBarState &other) const
{
    if (m_shrunk != other.m_shrunk || m_sizes.size() != other.m_sizes.size()) {
        return false;
    }
    for (int i = 0; i < m_sizes.size(); ++i) {
        if (!fuzzyEqual(m_sizes.at(i), other.m_sizes.at(i))) {
            return false;
        }
    }
    return true;
}

bool SiderBarState::read(QDataStream &stream, SiderBarState &state)
{
    state = SiderBarState();
    if (!BoundedReader::has(stream, 1)) {
        return false;
    }
    bool shrunk = true;
    stream >> shrunk;
    quint32 count = 0;
    if (!BoundedReader::readCount(stream, count, 8)) {
        return false;
    }
    QVector<double> sizes;
    sizes.reserve(int(count));
    for (quint32 i = 0; i < count; ++i) {
        double size = 0;
        if (!BoundedReader::readDouble(stream, size)) {
            return false;
        }
        sizes.append(size);
    }
    state = SiderBarState(shrunk, sizes);
    return true;
}

QDataStream &operator<<(QDataStream &stream, const SiderBarState &state)
{
    return stream << state.isShrunk() << state.sizes();
}

QDataStream &operator>>(QDataStream &stream, SiderBarState &state)
{
    StreamStatusGuard guard(stream);
    guard.finish(SiderBarState::read(stream, state));
    return stream;
}

} // namespace Nod::Domain
