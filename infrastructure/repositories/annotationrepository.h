#pragma once

#include "sqlrepository.h"

#include <domain/iannotationrepository.h>

namespace Nod::Infrastructure {

// Annotations and document notes, table `Annotation`.
class AnnotationRepository final : public SqlRepository<Domain::Annotation, Domain::IAnnotationRepository>
{
public:
    explicit AnnotationRepository(const QString &table = QStringLiteral("Annotation"));

    bool remove(int id) override;
    bool remove(const Domain::Annotation &annotation) override;

    QVector<Domain::Annotation> findByPage(int documentId, int pageIndex) override;
    QVector<Domain::Annotation> findByPageWithoutNotes(int documentId, int pageIndex) override;
    std::optional<Domain::TextBeginning> noteBeginning(int id, qint64 wholeUpTo, int beginningBytes) override;
    QVector<Domain::Annotation> findByDocument(int documentId) override;
    QVector<Domain::Annotation> findByDocumentWithoutNotes(int documentId) override;
    // The root row of a document; throws std::runtime_error when there is more than one.
    std::optional<Domain::Annotation> findDocumentNote(int documentId) override;
    int countByDocument(int documentId) override;
    QHash<int, int> countsByDocument() override;
    QSet<int> subtreeIds(int id) override;
};

} // namespace Nod::Infrastructure
