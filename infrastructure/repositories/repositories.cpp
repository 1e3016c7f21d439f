#include "annotationrepository.h"
#include "documentrepository.h"
#include "resourcerepository.h"
#include "tagrepository.h"

#include "tablecheck.h"

#include <infrastructure/database.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <stdexcept>

namespace Nod::Infrastructure {

DocumentRepository::DocumentRepository(const QString &table)
    : SqlRepository(table)
{ }

QVector<Domain::Document> DocumentRepository::findAll() { return query(); }

QVector<Domain::Document> DocumentRepository::findByLocalUrl(const QString &path)
{
    return query({ { QStringLiteral("localUrl"), path } });
}

bool isDocumentPathStored(const QString &localUrl)
{
    if (!QSqlDatabase::database().tables().contains(QStringLiteral("documents"))) {
        return false;
    }
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT 1 FROM documents WHERE localUrl = ? LIMIT 1"));
    query.addBindValue(localUrl);
    return query.exec() && query.next();
}

std::optional<Domain::LastRead> storedLastRead(const QString &localUrl)
{
    QSqlQuery query;
    // The column's name is the stored form's; a schema without it fails to prepare.
    if (!query.prepare(QStringLiteral("SELECT siderBarState FROM documents WHERE localUrl = ? LIMIT 1"))) {
        return std::nullopt;
    }
    query.addBindValue(localUrl);
    if (!query.exec() || !query.next()) {
        return std::nullopt;
    }
    return Domain::LastRead::decode(query.value(0).toByteArray());
}

QVector<Domain::Document> DocumentRepository::findByHash(const QString &hash)
{
    return query({ { QStringLiteral("hash"), hash } });
}

AnnotationRepository::AnnotationRepository(const QString &table)
    : SqlRepository(table)
{ }

bool AnnotationRepository::remove(int id)
{
    removeById(id);
    return true;
}

bool AnnotationRepository::remove(const Domain::Annotation &annotation) { return remove(annotation.id()); }

QVector<Domain::Annotation> AnnotationRepository::findByPage(int documentId, int pageIndex)
{
    return query(
        { { QStringLiteral("documentId"), documentId }, { QStringLiteral("pageIndex"), pageIndex } });
}

QVector<Domain::Annotation> AnnotationRepository::findByPageWithoutNotes(int documentId, int pageIndex)
{
    return query({ { QStringLiteral("documentId"), documentId }, { QStringLiteral("pageIndex"), pageIndex } },
        { QStringLiteral("noteText") });
}

std::optional<Domain::TextBeginning> AnnotationRepository::noteBeginning(
    int id, qint64 wholeUpTo, int beginningBytes)
{
    return readTextBeginning(tableName(), QStringLiteral("noteText"), id, wholeUpTo, beginningBytes);
}

QVector<Domain::Annotation> AnnotationRepository::findByDocument(int documentId)
{
    return query({ { QStringLiteral("documentId"), documentId } });
}

QVector<Domain::Annotation> AnnotationRepository::findByDocumentWithoutNotes(int documentId)
{
    return query({ { QStringLiteral("documentId"), documentId } }, { QStringLiteral("noteText") });
}

std::optional<Domain::Annotation> AnnotationRepository::findDocumentNote(int documentId)
{
    const QVector<Domain::Annotation> notes
        = query({ { QStringLiteral("documentId"), documentId }, { QStringLiteral("parentId"), 0 } });
    if (notes.size() > 1) {
        throw std::runtime_error((QString::number(notes.size())
            + QStringLiteral("document notes founded, documentId:") + QString::number(documentId))
                                     .toStdString());
    }
    if (notes.isEmpty()) {
        return std::nullopt;
    }
    return notes.first();
}

int AnnotationRepository::countByDocument(int documentId)
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral(" SELECT count(*) FROM ") + tableName() + QStringLiteral(" WHERE documentId = ?"));
    query.addBindValue(documentId);
    execQuery(query);
    return query.next() ? query.value(0).toInt() : 0;
}

QHash<int, int> AnnotationRepository::countsByDocument()
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT documentId, count(*) FROM ") + tableName()
        + QStringLiteral(" GROUP BY documentId"));
    execQuery(query);
    QHash<int, int> counts;
    while (query.next()) {
        counts.insert(query.value(0).toInt(), query.value(1).toInt());
    }
    return counts;
}

QSet<int> AnnotationRepository::subtreeIds(int id) { return descendants(tableName(), id); }

TagRepository::TagRepository(const QString &table)
    : SqlRepository(table)
{ }

QVector<Domain::Tag> TagRepository::findChildren(int parentId)
{
    return query({ { QStringLiteral("parentId"), parentId } });
}

QVector<Domain::Tag> TagRepository::findByName(const QString &name)
{
    return query({ { QStringLiteral("name"), name } });
}

QVector<Domain::Tag> TagRepository::findByParentAndName(int parentId, const QString &name)
{
    return query({ { QStringLiteral("parentId"), parentId }, { QStringLiteral("name"), name } });
}

QVector<Domain::Tag> TagRepository::findAll() { return query(); }

QSet<int> TagRepository::subtreeIds(int id) { return descendants(tableName(), id); }

ResourceRepository::ResourceRepository(const QString &table)
    : SqlRepository(table)
{ }

std::optional<Domain::Resource> ResourceRepository::findByOwnerAndHash(int ownerId, const QString &hash)
{
    const QVector<Domain::Resource> found
        = query({ { QStringLiteral("ownerId"), ownerId }, { QStringLiteral("hash"), hash } });
    if (found.size() > 1) {
        throw std::runtime_error("found too many results");
    }
    if (found.isEmpty()) {
        return std::nullopt;
    }
    return found.first();
}

QVector<Domain::Resource> ResourceRepository::findByOwner(int ownerId)
{
    return query({ { QStringLiteral("ownerId"), ownerId } });
}

} // namespace Nod::Infrastructure
