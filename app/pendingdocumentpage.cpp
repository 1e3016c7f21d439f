#include "pendingdocumentpage.h"

namespace Nod::Presentation {

PendingDocumentPage::PendingDocumentPage(const Nod::Domain::Document &document, QWidget *parent)
    : QWidget(parent)
    , m_document(document)
{
    setObjectName(QStringLiteral("pendingDocumentPage"));
}

} // namespace Nod::Presentation
