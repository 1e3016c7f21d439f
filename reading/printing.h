#pragma once

#include <QList>

class PDFDocumentScene;
class QFont;
class QPainter;
class QPrinter;
class QProgressDialog;
class QString;
class QRectF;
class QWidget;

namespace Reading {

// What became of a print job of the reading scene.
struct PrintReport
{
    bool started = false; // the printer could be painted on
    bool cancelled = false;
    QList<int> printedPages; // page numbers from 1, in print order
    QList<int> failedPages; // printed without their image: the render failed
};

// Prints the pages of the printer's range (all pages without one), each page with its note area
// fitted into the printable width and height above a footer line, with progress and Cancel.
// The scene does not reload its file meanwhile. Failures are returned, not shown.
PrintReport printScene(PDFDocumentScene *scene, QPrinter *printer, QWidget *parentWidget);

// Begins painting on the printer in font, with smooth lines and images, and gives the printable
// area in device coordinates from (0, 0). Returns false when the printer cannot be painted on.
bool beginPrinting(QPainter *painter, QPrinter *printer, const QFont &font, QRectF *printable);

// After a printed sheet: shows done sheets and label, lets a Cancel pressed during the sheet
// arrive and starts the next sheet when more follow. Returns false, the job aborted, on Cancel.
bool finishSheet(QProgressDialog *progress, QPrinter *printer, int done, const QString &label, bool more);

// The footer of a printed page: the credit line centred and the page number at the right, within
// `printable` (device coordinates) two line heights above its bottom. Returns the height it takes.
double drawPageFooter(QPainter *painter, const QRectF &printable, int pageNumber);
double pageFooterHeight(QPainter *painter);

} // namespace Reading
