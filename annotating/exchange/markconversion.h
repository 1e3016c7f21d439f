#pragma once

#include "pdfannotations.h"

#include <application/noteservice.h>
#include <domain/annotation.h>

#include <optional>

namespace Nod::Exchange {

// The mark and note a PDF annotation becomes, as the program's own tools would have made it: text
// kinds as highlight or underline boxes, squares as rectangles or area highlights, lines and ink as
// line marks, sticky notes as a small area. Page, position, canvas, markers and note are set; ids,
// parent, index and time are the caller's. None for an annotation without a usable shape.
std::optional<Application::NewAnnotation> annotationFromPdf(const PdfAnnotationRecord &record);

// The standard PDF annotations that show an annotation's marks; the first one carries the note's
// plain text as its contents.
QVector<PdfAnnotationRecord> pdfFromAnnotation(const Domain::Annotation &annotation);

// The standard PDF annotations of every annotation of a document, the document note's children first.
QVector<PdfAnnotationRecord> pdfRecordsOfDocument(Application::NoteService *notes, int documentId);

} // namespace Nod::Exchange
