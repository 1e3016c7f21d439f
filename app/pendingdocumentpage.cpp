#include "pendingdocumentpage.h"

namespace Nod::Presentation {

PendingDocumentPage::PendingDocumentPage(const Nod::Domain::Document &document, QWidget *parent)
    : QWidget(parent)
    , m_document(document)
{
    setObjectName(QStringLiteral("pendingDocumentPage"));
}

void PendingDocumentPage::showSearchHit(int page, int annotationId, const QString &words)
{
    m_searchHit = SearchHit { page, annotationId, words };
}

} // namespace Nod::Presentation
