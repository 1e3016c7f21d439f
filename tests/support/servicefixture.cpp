#include "support/servicefixture.h"

#include <application/documentservice.h>

#include <QSqlDatabase>
#include <QStandardPaths>

namespace {
QStringList rowsFrom(QSqlQuery &query)
{
    QStringList rows;
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
} // namespace

ServiceFixture::ServiceFixture()
{
    Nod::Domain::registerMetaTypes();
    m_ok = m_dir.isValid() && TestSupport::openMigrated(m_dir.filePath(QStringLiteral("database")));
    if (m_ok) {
        m_registry = std::make_unique<Nod::Application::ServiceRegistry>();
    }
}

ServiceFixture::~ServiceFixture()
{
    if (m_installed) {
        Nod::Application::ServiceRegistry::setInstance(nullptr);
    }
    m_registry.reset();
    Nod::Infrastructure::Database::close();
}

void ServiceFixture::install()
{
    QStandardPaths::setTestModeEnabled(true);
    Nod::Application::ServiceRegistry::setInstance(m_registry.get());
    m_installed = true;
}

QString ServiceFixture::makeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(path(name));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
    return file.fileName();
}

int ServiceFixture::newDocument(const QString &file, const QString &title)
{
    return m_registry->documentService()->newDocument(QStringLiteral("0123456789abcdef0123456789abcdef"),
        file, title.isNull() ? QFileInfo(file).fileName() : title);
}

int ServiceFixture::appendNode(int documentId, int parentId)
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

void ServiceFixture::addImage(int ownerId, QColor color)
{
    m_registry->resourceService()->handle(imageRequest(ownerId, pngBytes(color)));
}

Nod::Application::NewResource ServiceFixture::imageRequest(int ownerId, const QByteArray &bytes)
{
    return { ownerId, QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(), QSize(4, 3), bytes };
}

QByteArray ServiceFixture::pngBytes(QColor color)
{
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void failNext(const QString &operation, const QString &table)
{
    TestSupport::exec(
        QStringLiteral("CREATE TRIGGER fail_%1 BEFORE %1 ON %2 BEGIN SELECT RAISE(ABORT, 'forced'); END")
            .arg(operation, table));
}

void stopFailing(const QString &operation)
{
    TestSupport::exec(QStringLiteral("DROP TRIGGER IF EXISTS fail_%1").arg(operation));
}

QStringList rowsOf(const QString &table)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table))) {
        qFatal("cannot read %s", qPrintable(table));
    }
    return rowsFrom(query);
}

QStringList queryRows(const QString &sql)
{
    QSqlQuery query;
    if (!query.exec(sql)) {
        qFatal("query failed: %s", qPrintable(sql));
    }
    return rowsFrom(query);
}

QStringList queryRows(const QString &databasePath, const QString &sql)
{
    const QString connection = QStringLiteral("beside the program");
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql)) {
                rows = rowsFrom(query);
            }
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}
