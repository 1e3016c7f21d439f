#pragma once

#include "annotation.h"
#include "irepository.h"

#include <QVector>

namespace Nod::Domain {

class IAnnotationRepository : public IRepository<Annotation>
{
public:
    using IRepository<Annotation>::remove;
    virtual bool remove(int id) = 0;
    virtual QVector<Annotation> findByPage(int documentId, int pageIndex) = 0;
    // The root of a document's tree; throws std::runtime_error when there is more than one.
    virtual std::optional<Annotation> findDocumentNote(int documentId) = 0;
};

} // namespace Nod::Domain
