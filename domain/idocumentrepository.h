#pragma once

#include "document.h"
#include "irepository.h"

#include <QVector>

namespace Nod::Domain {

class IDocumentRepository : public IRepository<Document>
{
public:
    virtual QVector<Document> findAll() = 0;
    virtual QVector<Document> findByLocalUrl(const QString &path) = 0;
    virtual QVector<Document> findByHash(const QString &hash) = 0;
};

} // namespace Nod::Domain
