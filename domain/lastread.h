#pragma once

#include "siderbarstate.h"
#include "viewsetting.h"

#include <QMetaType>
#include <QPointF>

class QByteArray;
class QDataStream;

namespace Nod::Domain {

// Where and how a document was last read.
class LastRead final
{
public:
    LastRead() = default;
    LastRead(int pageIndex, const QPointF &position, const ViewSetting &viewSetting,
        const SiderBarState &siderBarState);

    int pageIndex() const { return m_pageIndex; }
    void setPageIndex(int pageIndex) { m_pageIndex = pageIndex; }
    QPointF position() const { return m_position; }
    void setPosition(const QPointF &position) { m_position = position; }
    ViewSetting viewSetting() const { return m_viewSetting; }
    void setViewSetting(const ViewSetting &setting) { m_viewSetting = setting; }
    SiderBarState siderBarState() const { return m_siderBarState; }
    void setSiderBarState(const SiderBarState &state) { m_siderBarState = state; }

    bool operator==(const LastRead &other) const;
    bool operator!=(const LastRead &other) const { return !(*this == other); }

    // Reads the stored form; false, and the default value, on malformed input.
    static bool read(QDataStream &stream, LastRead &lastRead);
    QByteArray encode() const;
    // Untrusted bytes; an empty or malformed value gives the default.
    static LastRead decode(const QByteArray &bytes);

private:
    int m_pageIndex = 0;
    QPointF m_position;
    ViewSetting m_viewSetting;
    SiderBarState m_siderBarState;
};

QDataStream &operator<<(QDataStream &stream, const LastRead &lastRead);
QDataStream &operator>>(QDataStream &stream, LastRead &lastRead);

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::LastRead)
