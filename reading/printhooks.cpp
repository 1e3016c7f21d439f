// Printing of the reading scene and view. Kept apart from the scene and view code: the printing
// code owns this file.
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>

#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

bool PDFDocumentScene::print(QPrinter *printer, QWidget *parentWidget)
{
    Q_UNUSED(parentWidget);
    if (!printer || m_pages.isEmpty()) {
        return false;
    }
    setReloadSuspended(true);
    QPainter painter;
    if (!painter.begin(printer)) {
        setReloadSuspended(false);
        return false;
    }
    const int first = printer->fromPage() > 0 ? printer->fromPage() - 1 : 0;
    const int end
        = printer->toPage() > 0 && printer->toPage() < m_pages.size() ? printer->toPage() : m_pages.size();
    bool ok = true;
    const QRectF paper = printer->pageRect(QPrinter::DevicePixel);
    for (int i = first; i < end; ++i) {
        auto *page = static_cast<ReadingPageItem *>(m_pages.at(i));
        const QRectF bounds = page->boundingRect();
        const double scale = std::min(paper.width() / bounds.width(), paper.height() / bounds.height());
        painter.save();
        painter.scale(scale, scale);
        painter.translate(-bounds.topLeft());
        ok = page->paintForPrint(&painter) && ok;
        painter.restore();
        if (i + 1 < end) {
            printer->newPage();
        }
    }
    painter.end();
    setReloadSuspended(false);
    return ok;
}

bool PDFDocumentView::print()
{
    if (!m_pdfScene || m_lastPage <= 0) {
        return false;
    }
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, m_lastPage);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    printer.setResolution(300);
    return m_pdfScene->print(&printer, this);
}
