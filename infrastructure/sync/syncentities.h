#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

// Entities of a synchronisation feature that the program does not ship; they exist so that the
// start-up table check can report their tables.
namespace Sync::Domain {

namespace SyncType {
Q_NAMESPACE
enum Type { NoType = 0, Category = 1, Document = 2, Tag = 3, Annotation = 4 };
Q_ENUM_NS(Type)
} // namespace SyncType

class SyncState final
{
    Q_GADGET
    Q_PROPERTY(int id MEMBER m_id)
    Q_PROPERTY(int updateCount MEMBER m_updateCount)
    Q_PROPERTY(QDateTime syncTime MEMBER m_syncTime)

public:
    int m_id = 0;
    int m_updateCount = 0;
    QDateTime m_syncTime;
};

class Item final
{
    Q_GADGET
    Q_PROPERTY(int id MEMBER m_id)
    Q_PROPERTY(int type MEMBER m_type)
    Q_PROPERTY(int usn MEMBER m_usn)
    Q_PROPERTY(QString guid MEMBER m_guid)

public:
    int m_id = 0;
    int m_type = SyncType::NoType;
    int m_usn = 0;
    QString m_guid;
};

class ExpungedItem final
{
    Q_GADGET
    Q_PROPERTY(int type MEMBER m_type)
    Q_PROPERTY(QString guid MEMBER m_guid)
    Q_PROPERTY(int usn MEMBER m_usn)

public:
    int m_type = SyncType::NoType;
    QString m_guid;
    int m_usn = 0;
};

} // namespace Sync::Domain
