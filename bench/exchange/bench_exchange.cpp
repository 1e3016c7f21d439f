// Times taking one document's notes out of the program: 2,000 annotations on a generated 200-page
// PDF (half text highlights, half area highlights, one in five nested under the one before, one in
// ten notes with an image) exported to Markdown, to HTML and as an annotated PDF copy. No arguments.
#include <annotating/exchange/markconversion.h>
#include <annotating/exchange/notesexporter.h>
#include <annotating/exchange/pdfannotations.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <backend/renderparam.h>
#include <domain/metatypes.h>
#include <infrastructure/transaction.h>

#include <bench/benchdocument.h>
#include <bench/benchsupport.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>

#include <cstdio>

using namespace Nod;
using Domain::Marker;

namespace {

constexpr int kPages = 200;
constexpr int kAnnotations = 2000;
constexpr int kImageEvery = 10;

bool writePdf(const QString &path)
{
    return Bench::writePdf(path, kPages, [](QPainter &painter, int page) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(12);
        painter.setFont(font);
        for (int line = 0; line < 40; ++line) {
            painter.drawText(QPointF(60, 60 + line * 18),
                QStringLiteral("Page %1 line %2 of sample text for the export").arg(page + 1).arg(line));
        }
    });
}

void fill(int documentId)
{
    auto *notes = Application::ServiceRegistry::instance()->noteService();
    const int root = notes->documentNote(documentId).id();
    Infrastructure::Transaction transaction;
    int previous = root;
    for (int i = 0; i < kAnnotations; ++i) {
        Application::NewAnnotation record;
        record.id = notes->nextId();
        record.documentId = documentId;
        record.pageIndex = (i * 7) % kPages;
        const int line = (i * 13) % 40;
        record.position = QPointF(60, 60 + line * 18 - 11);
        if (i % 2 == 0) {
            record.canvas = Marker(Domain::TextRects({ QRectF(0, 0, 180, 14) }), Marker::NoLine, Qt::NoPen,
                QColor(255, 220, 0, 128));
        } else {
            record.canvas
                = Marker(QPolygonF(QRectF(0, 0, 220, 40)), Marker::AllEdges, QPen(Qt::red, 2), Qt::NoBrush);
        }
        record.createdAt = QDateTime::currentDateTime();
        const bool nested = i % 5 == 4;
        record.parentId = nested ? previous : root;
        record.index = notes->annotation(record.parentId).children().size();
        QString html = QStringLiteral(
            "<p>Note %1: a <b>short</b> remark with a <a href=\"https://example.org/%1\">link</a>.</p>"
            "<ul><li>one point</li><li>another point</li></ul>")
                           .arg(i);
        const QSize imageSize(160, 120);
        Bench::storeAnnotation(
            record, html, i % kImageEvery == 0 ? Bench::pngBytes(i, imageSize) : QByteArray(), imageSize);
        if (!nested) {
            previous = record.id;
        }
    }
    transaction.commit();
}

double timeExport(int documentId, const QString &path, Exchange::NotesFormat format)
{
    Exchange::NotesExporter exporter;
    QElapsedTimer timer;
    timer.start();
    if (!exporter.exportNotes(documentId, path, format)) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(exporter.errorString()));
        return -1;
    }
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qRegisterMetaType<RenderParam>("RenderParam");
    Domain::registerMetaTypes();
    QApplication app(argc, argv);
    // The library's and the services' log lines would dwarf the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
        }
    });
    Bench::Workspace workspace;
    if (!workspace.open()) {
        return 1;
    }
    const QString pdf = workspace.filePath(QStringLiteral("sample.pdf"));
    if (!writePdf(pdf)) {
        std::fprintf(stderr, "cannot write the sample PDF\n");
        return 1;
    }
    int code = 0;
    {
        Application::ServiceRegistry &registry = *workspace.registry();
        const int documentId = workspace.addDocument(pdf, QStringLiteral("Sample"));
        fill(documentId);

        const double markdown = timeExport(
            documentId, workspace.filePath(QStringLiteral("notes.md")), Exchange::NotesFormat::Markdown);
        Bench::print("export_markdown_ms", markdown, "ms");
        const double html = timeExport(
            documentId, workspace.filePath(QStringLiteral("notes.html")), Exchange::NotesFormat::Html);
        Bench::print("export_html_ms", html, "ms");
        Bench::print("export_html_size_mb",
            QFileInfo(workspace.filePath(QStringLiteral("notes.html"))).size() / 1048576.0, "MiB");

        QElapsedTimer timer;
        timer.start();
        QString error;
        const bool written
            = Exchange::writeAnnotatedPdf(pdf, workspace.filePath(QStringLiteral("annotated.pdf")),
                Exchange::pdfRecordsOfDocument(registry.noteService(), documentId), &error);
        const double pdfMs = timer.nsecsElapsed() / 1e6;
        if (!written) {
            std::fprintf(stderr, "annotated copy failed: %s\n", qPrintable(error));
        }
        Bench::print("export_pdf_ms", written ? pdfMs : -1, "ms");
        code = markdown < 0 || html < 0 || !written ? 1 : 0;
    }
    return code;
}
