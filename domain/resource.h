#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

namespace Nod::Domain {

// One image embedded in a note, stored with its file's bytes. Table `Resource`.
class Resource final
{
    Q_GADGET
    Q_PROPERTY(int id READ id WRITE setId)
    Q_PROPERTY(int ownerId READ ownerId WRITE setOwnerId)
    Q_PROPERTY(QString hash READ hash WRITE setHash)
    Q_PROPERTY(int width READ width WRITE setWidth)
    Q_PROPERTY(int height READ height WRITE setHeight)
    Q_PROPERTY(QByteArray data READ data WRITE setData)

public:
    Resource() = default;

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    int ownerId() const { return m_ownerId; }
    void setOwnerId(int id) { m_ownerId = id; }
    // SHA-1 of the image bytes as 40 lowercase hex digits.
    QString hash() const { return m_hash; }
    void setHash(const QString &hash) { m_hash = hash; }
    int width() const { return m_width; }
    void setWidth(int width) { m_width = width; }
    int height() const { return m_height; }
    void setHeight(int height) { m_height = height; }
    QByteArray data() const { return m_data; }
    void setData(const QByteArray &data) { m_data = data; }

private:
    int m_id = 0;
    int m_ownerId = 0;
    QString m_hash;
    int m_width = 0;
    int m_height = 0;
    QByteArray m_data;
};

} // namespace Nod::Domain

Q_DECLARE_METATYPE(Nod::Domain::Resource)
