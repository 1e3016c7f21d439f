#pragma once

#include <QColor>
#include <QLineF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QVector>

namespace Nod::Exchange {

// One standard annotation of a PDF page, as this program reads and writes them. Geometry is in page
// points with the origin at the top-left corner of the page, as everywhere else in the program.
struct PdfAnnotationRecord
{
    enum Kind { Highlight, Underline, Squiggly, StrikeOut, Square, Line, Ink, Text, Circle, FreeText };

    int objectNumber = 0; // the annotation's object in the file; 0 for one not read from a file
    int page = 0;
    Kind kind = Highlight;
    QString subtype; // as the file names the kind: "Highlight", "Circle", ...
    QRectF rect; // the annotation's box; a square's or circle's is the middle of its border
    QVector<QRectF> boxes; // the marked text of the text kinds
    QVector<QLineF> lines; // a line's one segment, an ink drawing's segments
    QColor color; // stroke, markup or free text colour; invalid: none
    QColor interior; // fill of a square or circle, background of free text; invalid: none
    double width = 1; // border or line width
    double opacity = 1;
    QString contents;
};

// An annotation of a PDF file that does not become a mark, and why.
struct SkippedPdfAnnotation
{
    enum Reason { OtherKind, NoShape, Damaged };

    int page = 0;
    QString subtype; // as the file names the kind: "Stamp", "Polygon", ...
    Reason reason = OtherKind;
};

// The annotations of the kinds above in a PDF file, page by page. Those of other kinds and damaged
// ones go to `skipped`; popups, links and form fields belong to other annotations or to the page
// and are not counted. Only pages that declare annotations are loaded. Runs on any thread (it uses a
// library context of its own). False, with a message, when the file cannot be read.
bool readPdfAnnotations(const QString &path, QVector<PdfAnnotationRecord> &records, QString *error = nullptr,
    QVector<SkippedPdfAnnotation> *skipped = nullptr);

// Writes a copy of `source` to `target` with the records added as standard annotations (with their
// appearance, so that any reader shows them). The source's own annotations named in `replaced`
// (object numbers) are left out of the copy: the records stand for them now. The copy is written
// beside the target and renamed over it; the source is never written, and a target naming the
// source is refused.
bool writeAnnotatedPdf(const QString &source, const QString &target,
    const QVector<PdfAnnotationRecord> &records, QString *error = nullptr, const QSet<int> &replaced = {});

} // namespace Nod::Exchange
