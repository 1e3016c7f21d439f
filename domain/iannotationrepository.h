#pragma once

#include "annotation.h"
#include "irepository.h"
#include "textbeginning.h"

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
    // The same rows with their note texts left empty: a note can be too long to read whole where
    // only its beginning is shown, which noteBeginning reads.
    virtual QVector<Annotation> findByPageWithoutNotes(int documentId, int pageIndex) = 0;
    // The note text of one row, whole when it is stored in at most wholeUpTo bytes, else about its
    // first beginningBytes; nullopt when there is no such row.
    virtual std::optional<TextBeginning> noteBeginning(int id, qint64 wholeUpTo, int beginningBytes) = 0;
    // Every row of one document, its document note included.
    virtual QVector<Annotation> findByDocument(int documentId) = 0;
    // The same rows with their note texts left empty, as findByPageWithoutNotes.
    virtual QVector<Annotation> findByDocumentWithoutNotes(int documentId) = 0;
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
