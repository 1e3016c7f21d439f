#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/page.h>
#include <reading/pdfdocumentscene.h>
#include <reading/printing.h>
#include <reading/readingpageitem.h>

#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>

#include <memory>

namespace {
// Page i (from 1) carries a reference bar 40 points wide and below it a bar 40 × i points wide, so
// a printed page tells which page it came from whatever the scale it was printed at.
bool writeBarPdf(const QString &path, int pages, const QSizeF &size)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(size, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int i = 1; i <= pages; ++i) {
        if (i > 1) {
            writer.newPage();
        }
        painter.fillRect(QRectF(20, size.height() - 120, 40, 20), Qt::black);
        painter.fillRect(QRectF(20, size.height() - 60, 40 * i, 20), Qt::black);
    }
    return painter.end();
}

// The widths of the black bars on a printed page, top to bottom. A bar is a band of rows, each
// holding a dark run of at least 12 pixels; thin bands are the footer's link underline.
QList<int> barWidths(const QImage &image)
{
    QList<int> widths;
    QList<int> band;
    auto endBand = [&] {
        if (band.size() >= 6) {
            widths.append(band.at(band.size() / 2));
        }
        band.clear();
    };
    for (int y = 0; y < image.height(); ++y) {
        int longest = 0;
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            run = qGray(image.pixel(x, y)) < 80 ? run + 1 : 0;
            longest = qMax(longest, run);
        }
        if (longest >= 12) {
            band.append(longest);
        } else {
            endBand();
        }
    }
    endBand();
    return widths;
}

} // namespace

// Printing the reading scene into a PDF file and reading the file back through the back-end.
class PrintingTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QSharedPointer<Backend::Document> open(const QString &path)
    {
        return BackendManager::instance()->openDocument(path);
    }

    std::unique_ptr<QPrinter> pdfPrinter(const QString &output)
    {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(output);
        printer->setPageSize(QPageSize(QPageSize::Letter));
        printer->setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
        printer->setResolution(150);
        return printer;
    }

private slots:
    void pageRange_printsThosePagesWithTheirNumbers()
    {
        const QString source = m_dir.filePath(QStringLiteral("ten.pdf"));
        QVERIFY(writeBarPdf(source, 10, QSizeF(612, 792)));
        QSharedPointer<Backend::Document> document = open(source);
        QVERIFY(document);
        QUndoStack undo;
        PDFDocumentScene scene(document, 1, &undo, 96, 96);
        QCOMPARE(scene.pageCount(), 10);

        const QString output = m_dir.filePath(QStringLiteral("printed.pdf"));
        std::unique_ptr<QPrinter> printer = pdfPrinter(output);
        printer->setPrintRange(QPrinter::PageRange);
        printer->setFromTo(3, 5);
        const Reading::PrintReport report = Reading::printScene(&scene, printer.get(), nullptr);
        QVERIFY(report.started);
        QVERIFY(!report.cancelled);
        QCOMPARE(report.printedPages, (QList<int> { 3, 4, 5 }));
        QVERIFY(report.failedPages.isEmpty());
        QVERIFY(!scene.isReloadSuspended());

        QSharedPointer<Backend::Document> printed = open(output);
        QVERIFY(printed);
        QCOMPARE(printed->pageCount(), 3);
        for (int i = 0; i < 3; ++i) {
            const QSharedPointer<Backend::Page> page = printed->pageAt(i).toStrongRef();
            QVERIFY(page);
            QVector<QRectF> boxes;
            const QString text = page->text(boxes);
            QVERIFY2(text.contains(QStringLiteral("Nodera Reader")), qPrintable(text));
            // The footer's number is the page's number in the document, not in the print job.
            const QStringList numbers
                = text.split(QRegularExpression(QStringLiteral("\\D+")), Qt::SkipEmptyParts);
            QCOMPARE(numbers, QStringList { QString::number(i + 3) });

            const QList<int> widths = barWidths(page->renderImage(144, 144));
            QCOMPARE(widths.size(), 2);
            QVERIFY2(std::abs(double(widths.at(1)) / widths.at(0) - (i + 3)) < 0.15,
                qPrintable(QStringLiteral("%1 / %2").arg(widths.at(1)).arg(widths.at(0))));
        }
    }

    void cancel_stopsTheJobAfterThePageInHand()
    {
        const QString source = m_dir.filePath(QStringLiteral("five.pdf"));
        QVERIFY(writeBarPdf(source, 5, QSizeF(612, 792)));
        QSharedPointer<Backend::Document> document = open(source);
        QVERIFY(document);
        QUndoStack undo;
        PDFDocumentScene scene(document, 1, &undo, 96, 96);
        QWidget parent;
        // The first time the loop lets events through, the user presses Cancel.
        QTimer::singleShot(0, &parent, [&parent] {
            if (auto *progress = parent.findChild<QProgressDialog *>()) {
                progress->cancel();
            }
        });
        std::unique_ptr<QPrinter> printer = pdfPrinter(m_dir.filePath(QStringLiteral("cancelled.pdf")));
        const Reading::PrintReport report = Reading::printScene(&scene, printer.get(), &parent);
        QVERIFY(report.cancelled);
        QCOMPARE(report.printedPages, QList<int> { 1 });
        QVERIFY(!scene.isReloadSuspended());
    }

    void tallPage_fitsThePaperWhole()
    {
        // Scaled by the width alone, a tall strip would lose its bottom, where the bars are.
        {
            const QSizeF size(200, 1400);
            const QString source = m_dir.filePath(QStringLiteral("odd.pdf"));
            QVERIFY(writeBarPdf(source, 1, size));
            QSharedPointer<Backend::Document> document = open(source);
            QVERIFY(document);
            QUndoStack undo;
            PDFDocumentScene scene(document, 1, &undo, 96, 96);
            // The note areas print too, and still fit.
            scene.setNoteAreaMode(3);

            const QString output = m_dir.filePath(QStringLiteral("odd-printed.pdf"));
            std::unique_ptr<QPrinter> printer = pdfPrinter(output);
            const Reading::PrintReport report = Reading::printScene(&scene, printer.get(), nullptr);
            QCOMPARE(report.printedPages, QList<int> { 1 });

            QSharedPointer<Backend::Document> printed = open(output);
            QVERIFY(printed);
            QCOMPARE(printed->pageCount(), 1);
            const QList<int> widths = barWidths(printed->pageAt(0).toStrongRef()->renderImage(144, 144));
            QCOMPARE(widths.size(), 2);
            QVERIFY(std::abs(double(widths.at(1)) / widths.at(0) - 1) < 0.15);
        }
    }
};

QTEST_MAIN(PrintingTest)
#include "tst_printing.moc"
