#pragma once

#include "annotation.h"
#include "irepository.h"

#include <QHash>
#include <QSet>
#include <QVector>

namespace Nod::Domain {

class IAnnotationRepository : public IRepository<Annotation>
{
public:
    using IRepository<Annotation>::remove;
    virtual bool remove(int id) = 0;
    virtual QVector<Annotation> findByPage(int documentId, int pageIndex) = 0;
    // Every row of one document, its document note included.
    virtual QVector<Annotation> findByDocument(int documentId) = 0;
    // The root of a document's tree; throws std::runtime_error when there is more than one.
    virtual std::optional<Annotation> findDocumentNote(int documentId) = 0;
    // Rows of one document, its document note included.
    virtual int countByDocument(int documentId) = 0;
    // The same for every document that has rows, in one pass.
    virtual QHash<int, int> countsByDocument() = 0;
    // The node and every node below it by parentId.
    virtual QSet<int> subtreeIds(int id) = 0;
};

} // namespace Nod::Domain
