#pragma once

#include "sqlrepository.h"

#include <domain/annotation.h>

namespace Nod::Infrastructure {

// Annotations and document notes, table `Annotation`.
class AnnotationRepository final : public SqlRepository<Domain::Annotation>
{
public:
    explicit AnnotationRepository(const QString &table = QStringLiteral("Annotation"));

    virtual bool remove(int id);
    bool remove(const Domain::Annotation &annotation) override;

    QVector<Domain::Annotation> findByPage(int documentId, int pageIndex);
    // The root row of a document; throws std::runtime_error when there is more than one.
    std::optional<Domain::Annotation> findDocumentNote(int documentId);
};

} // namespace Nod::Infrastructure
