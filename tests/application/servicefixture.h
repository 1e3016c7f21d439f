#pragma once

#include "infrastructure/testsupport.h"

#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/serviceregistry.h>
#include <domain/metatypes.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// A fresh, migrated database and a service registry over it, for one test function.
class ServiceFixture
{
public:
    ServiceFixture()
    {
        Nod::Domain::registerMetaTypes();
        m_ok = m_dir.isValid() && TestSupport::openMigrated(m_dir.filePath(QStringLiteral("database")));
        if (m_ok) {
            m_registry = std::make_unique<Nod::Application::ServiceRegistry>();
        }
    }
    ~ServiceFixture()
    {
        m_registry.reset();
        Nod::Infrastructure::Database::close();
    }

    bool isValid() const { return m_ok; }
    Nod::Application::ServiceRegistry *registry() const { return m_registry.get(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A file that exists, so that the document service accepts it.
    QString makeFile(const QString &name, const QByteArray &bytes = "%PDF-1.4\n")
    {
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(bytes);
        }
        return file.fileName();
    }

    // A page annotation appended to `parentId`'s children; returns its id.
    int appendNode(int documentId, int parentId)
    {
        Nod::Application::NoteService *notes = m_registry->noteService();
        Nod::Application::NewAnnotation request;
        request.id = notes->nextId();
        request.documentId = documentId;
        request.canvas = Nod::Domain::Marker(QRectF(0, 0, 10, 10));
        request.parentId = parentId;
        request.index = notes->annotation(parentId).children().size();
        notes->newAnnotation(request);
        return request.id;
    }

    // A 4x3 PNG of one colour in the note of `ownerId`.
    void addImage(int ownerId, QColor color)
    {
        m_registry->resourceService()->handle(imageRequest(ownerId, pngBytes(color)));
    }

    static Nod::Application::NewResource imageRequest(int ownerId, const QByteArray &bytes)
    {
        return { ownerId, QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(), QSize(4, 3),
            bytes };
    }

    static QByteArray pngBytes(QColor color)
    {
        QImage image(4, 3, QImage::Format_ARGB32);
        image.fill(color);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    std::unique_ptr<Nod::Application::ServiceRegistry> m_registry;
};

// Makes the next UPDATE (or INSERT, DELETE) of `table` fail inside the database, as a full disk or a
// constraint would, so that a service's transaction has to roll back.
inline void failNext(const QString &operation, const QString &table)
{
    TestSupport::exec(
        QStringLiteral("CREATE TRIGGER fail_%1 BEFORE %1 ON %2 BEGIN SELECT RAISE(ABORT, 'forced'); END")
            .arg(operation, table));
}

inline void stopFailing(const QString &operation)
{
    TestSupport::exec(QStringLiteral("DROP TRIGGER IF EXISTS fail_%1").arg(operation));
}

// Every row of a table, blobs included, in id order: what a failed operation must leave untouched.
inline QStringList rowsOf(const QString &table)
{
    QStringList rows;
    QSqlQuery query;
    if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table))) {
        qFatal("cannot read %s", qPrintable(table));
    }
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i) {
            const QVariant value = query.value(i);
            fields << (value.type() == QVariant::ByteArray ? QString::fromLatin1(value.toByteArray().toHex())
                                                           : value.toString());
        }
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}
