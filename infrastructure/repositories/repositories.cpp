#include "annotationrepository.h"
#include "documentrepository.h"
#include "resourcerepository.h"
#include "tagrepository.h"

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
