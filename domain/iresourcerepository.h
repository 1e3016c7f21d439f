#pragma once

#include "irepository.h"
#include "resource.h"

#include <QVector>

namespace Nod::Domain {

class IResourceRepository : public IRepository<Resource>
{
public:
    // Throws std::runtime_error("found too many results") when more than one row matches.
    virtual std::optional<Resource> findByOwnerAndHash(int ownerId, const QString &hash) = 0;
    virtual QVector<Resource> findByOwner(int ownerId) = 0;
};

} // namespace Nod::Domain
