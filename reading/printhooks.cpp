// The reading scene and view print through Reading::printScene.
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/printing.h>

#include <QDebug>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

bool PDFDocumentScene::print(QPrinter *printer, QWidget *parentWidget)
{
    const Reading::PrintReport report = Reading::printScene(this, printer, parentWidget);
    if (!report.failedPages.isEmpty()) {
        QStringList pages;
        for (int page : report.failedPages) {
            pages.append(QString::number(page));
        }
        qWarning() << "Printing: pages could not be rendered:" << pages.join(QLatin1Char(','));
        QMessageBox::warning(parentWidget, tr("Printing"),
            tr("These pages could not be rendered and were printed without their content: %1")
                .arg(pages.join(QStringLiteral(", "))));
    } else if (!report.started && !report.cancelled) {
        QMessageBox::warning(parentWidget, tr("Printing"), tr("The printer could not be started."));
    }
    return report.started && !report.cancelled && report.failedPages.isEmpty();
}

bool PDFDocumentView::print()
{
    if (!m_pdfScene || m_lastPage <= 0) {
        return false;
    }
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, m_lastPage);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    printer.setResolution(300);
    return m_pdfScene->print(&printer, this);
}
