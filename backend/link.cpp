#include "link.h"

#include <backend/pdfaction.h>

namespace PdfAnnotation {

Link::Link() = default;

Link::~Link() = default;

void Link::setAction(std::unique_ptr<PDFAction> action) { m_action = std::move(action); }

} // namespace PdfAnnotation
