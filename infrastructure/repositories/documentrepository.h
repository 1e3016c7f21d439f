#pragma once

#include "sqlrepository.h"

#include <domain/document.h>

namespace Nod::Infrastructure {

// Documents of the library, table `documents`.
class DocumentRepository final : public SqlRepository<Domain::Document>
{
public:
    explicit DocumentRepository(const QString &table = QStringLiteral("documents"));

    QVector<Domain::Document> findAll();
    QVector<Domain::Document> findByLocalUrl(const QString &path);
    QVector<Domain::Document> findByHash(const QString &hash);
};

} // namespace Nod::Infrastructure
