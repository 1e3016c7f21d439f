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
    ServiceFixture();
    virtual ~ServiceFixture();

    bool isValid() const { return m_ok; }
    // Makes the registry the program's own until the fixture goes, as widgets find their services
    // there; standard paths go into test mode, so that settings stay out of the test's home.
    void install();
    Nod::Application::ServiceRegistry *registry() const { return m_registry.get(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A file that exists, so that the document service accepts it.
    QString makeFile(const QString &name, const QByteArray &bytes = "%PDF-1.4\n");

    // A library document over `file`, titled with its file name unless told otherwise; its hash is
    // the same for every file, so a fixture holds one such document.
    int newDocument(const QString &file, const QString &title = QString());

    // A page annotation appended to `parentId`'s children; returns its id.
    int appendNode(int documentId, int parentId);

    // A 4x3 PNG of one colour in the note of `ownerId`.
    void addImage(int ownerId, QColor color);

    static Nod::Application::NewResource imageRequest(int ownerId, const QByteArray &bytes);
    static QByteArray pngBytes(QColor color);

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    bool m_installed = false;
    std::unique_ptr<Nod::Application::ServiceRegistry> m_registry;
};

// Makes the next UPDATE (or INSERT, DELETE) of `table` fail inside the database, as a full disk or a
// constraint would, so that a service's transaction has to roll back.
void failNext(const QString &operation, const QString &table);
void stopFailing(const QString &operation);

// Every row of a table, blobs included, in id order: what a failed operation must leave untouched.
QStringList rowsOf(const QString &table);

// Every column of each row the query gives, blobs in hex, columns joined by '|'. Over the open
// database, or over the database file at `databasePath` opened read-only beside a running program.
QStringList queryRows(const QString &sql);
QStringList queryRows(const QString &databasePath, const QString &sql);
