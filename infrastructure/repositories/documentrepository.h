#pragma once

#include "sqlrepository.h"

#include <domain/idocumentrepository.h>

namespace Nod::Infrastructure {

// Documents of the library, table `documents`.
class DocumentRepository final : public SqlRepository<Domain::Document, Domain::IDocumentRepository>
{
public:
    explicit DocumentRepository(const QString &table = QStringLiteral("documents"));

    QVector<Domain::Document> findAll() override;
    QVector<Domain::Document> findByLocalUrl(const QString &path) override;
    QVector<Domain::Document> findByHash(const QString &hash) override;
};

} // namespace Nod::Infrastructure
