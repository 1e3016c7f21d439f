#include "lastread.h"

#include "boundedreader.h"
#include "metatypes.h"

#include <QByteArray>
#include <QDataStream>
#include <QHash>
#include <QVariant>

namespace Nod::Domain {

namespace {

enum Key : qint32 { PageIndexKey = 0, PositionKey = 1, ViewSettingKey = 2, SiderBarStateKey = 3 };

} // namespace

LastRead::LastRead(int pageIndex, const QPointF &position, const ViewSetting &viewSetting,
    const SiderBarState &siderBarState)
    : m_pageIndex(pageIndex)
    , m_position(position)
    , m_viewSetting(viewSetting)
    , m_siderBarState(siderBarState)
{ }

bool LastRead::operator==(const LastRead &other) const
{
    return m_pageIndex == other.m_pageIndex && m_position == other.m_position
        && m_viewSetting == other.m_viewSetting && m_siderBarState == other.m_siderBarState;
}

bool LastRead::read(QDataStream &stream, LastRead &lastRead)
{
    lastRead = LastRead();
    QHash<qint32, QVariant> record;
    if (!BoundedReader::readRecord(stream, record, BoundedReader::Types::Values)) {
        return false;
    }
    LastRead result;
    int page = 0;
    if (BoundedReader::toInt(record.value(PageIndexKey), page)) {
        result.m_pageIndex = page;
    }
    const QVariant position = record.value(PositionKey);
    if (position.userType() == QMetaType::QPointF) {
        result.m_position = position.toPointF();
    }
    const QVariant setting = record.value(ViewSettingKey);
    if (setting.userType() == qMetaTypeId<ViewSetting>()) {
        result.m_viewSetting = setting.value<ViewSetting>();
    }
    const QVariant state = record.value(SiderBarStateKey);
    if (state.userType() == qMetaTypeId<SiderBarState>()) {
        result.m_siderBarState = state.value<SiderBarState>();
    }
    lastRead = result;
    return true;
}

QByteArray LastRead::encode() const
{
    QByteArray bytes;
    StoredWriter stream(&bytes);
    stream << *this;
    return bytes;
}

LastRead LastRead::decode(const QByteArray &bytes)
{
    LastRead lastRead;
    if (!bytes.isEmpty()) {
        StoredReader stream(bytes);
        read(stream, lastRead);
    }
    return lastRead;
}

QDataStream &operator<<(QDataStream &stream, const LastRead &lastRead)
{
    // The record holds the view setting and side-bar state as QVariants of their registered types.
    registerMetaTypes();
    QHash<qint32, QVariant> record;
    record.insert(PageIndexKey, lastRead.pageIndex());
    record.insert(PositionKey, lastRead.position());
    record.insert(ViewSettingKey, QVariant::fromValue(lastRead.viewSetting()));
    record.insert(SiderBarStateKey, QVariant::fromValue(lastRead.siderBarState()));
    return stream << record;
}

QDataStream &operator>>(QDataStream &stream, LastRead &lastRead)
{
    StreamStatusGuard guard(stream);
    guard.finish(LastRead::read(stream, lastRead));
    return stream;
}

} // namespace Nod::Domain
