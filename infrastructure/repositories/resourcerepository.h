#pragma once

#include "sqlrepository.h"

#include <domain/iresourcerepository.h>

namespace Nod::Infrastructure {

// Images embedded in notes, table `Resource`.
class ResourceRepository final : public SqlRepository<Domain::Resource, Domain::IResourceRepository>
{
public:
    explicit ResourceRepository(const QString &table = QStringLiteral("Resource"));

    // Throws std::runtime_error("found too many results") when more than one row matches.
    std::optional<Domain::Resource> findByOwnerAndHash(int ownerId, const QString &hash) override;
    QVector<Domain::Resource> findByOwner(int ownerId) override;
};

} // namespace Nod::Infrastructure
