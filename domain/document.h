#pragma once

#include "lastread.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>

namespace Nod::Domain {

// One document of the library. The properties are the columns of the table `documents`;
// `siderBarState` is the encoded reading state.
class Document final
{
    Q_GADGET
    Q_PROPERTY(int id READ id WRITE setId)
    Q_PROPERTY(QString hash READ hash WRITE setHash)
    Q_PROPERTY(QString localUrl READ localUrl WRITE setLocalUrl)
    Q_PROPERTY(QString title READ title WRITE setTitle)
    Q_PROPERTY(QString overview READ overview WRITE setOverview)
    Q_PROPERTY(QDateTime addedAt READ addedAt WRITE setAddedAt)
    Q_PROPERTY(QDateTime lastReadedAt READ lastReadedAt WRITE setLastReadedAt)
    Q_PROPERTY(bool hided READ hided WRITE setHided)
    Q_PROPERTY(QByteArray siderBarState READ siderBarStateData WRITE setSiderBarStateData)

public:
    Document() = default;
    Document(int id, const QString &title);

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    QString localUrl() const { return m_localUrl; }
    // A relative path is kept as it is, any other as its absolute file path.
    void setLocalUrl(const QString &path);
    QString hash() const { return m_hash; }
    void setHash(const QString &hash) { m_hash = hash; }
    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QString overview() const { return m_overview; }
    void setOverview(const QString &overview) { m_overview = overview; }
    QDateTime addedAt() const { return m_addedAt; }
    void setAddedAt(const QDateTime &at) { m_addedAt = at; }
    QDateTime lastReadedAt() const { return m_lastReadedAt; }
    void setLastReadedAt(const QDateTime &at) { m_lastReadedAt = at; }
    bool hided() const { return m_hided; }
    void setHided(bool hided) { m_hided = hided; }
    LastRead lastRead() const { return m_lastRead; }
    void setLastRead(const LastRead &lastRead) { m_lastRead = lastRead; }

    QByteArray siderBarStateData() const;
    // Untrusted bytes: an empty or undecodable value gives the default LastRead.
    void setSiderBarStateData(const QByteArray &bytes);

private:
    int m_id = 0;
    QString m_localUrl;
    QString m_hash;
    QString m_title;
    QString m_overview;
    QDateTime m_addedAt;
    QDateTime m_lastReadedAt;
    bool m_hided = false;
    LastRead m_lastRead;
};

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::Document)
