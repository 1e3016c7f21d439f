#include "abstractannotation.h"

#include <backend/page.h>

namespace PdfAnnotation {

AbstractAnnotation::~AbstractAnnotation() = default;

} // namespace PdfAnnotation
