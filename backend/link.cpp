#include "link.h"

#include <backend/pdfaction.h>

namespace PdfAnnotation {

Link::Link() = default;

Link::~Link() = default;

void Link::setAction(PDFAction *action) { m_action.reset(action); }

} // namespace PdfAnnotation
