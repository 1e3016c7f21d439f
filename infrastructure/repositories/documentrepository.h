#pragma once

#include "sqlrepository.h"

#include <domain/idocumentrepository.h>
#include <domain/lastread.h>

#include <optional>

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

// Whether the documents table of the default connection names this file (as localUrl); false also
// while there is no such table (a new database). Reads only that column, which every schema has, so
// it may run before an upgrade.
bool isDocumentPathStored(const QString &localUrl);
// Where the library's document with this file was last read; nullopt when there is none, or when
// the table cannot say (a new database, or one still to be upgraded).
std::optional<Domain::LastRead> storedLastRead(const QString &localUrl);

} // namespace Nod::Infrastructure
