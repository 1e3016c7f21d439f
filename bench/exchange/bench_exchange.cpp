// Times taking one document's notes out of the program: 2,000 annotations on a generated 200-page
// PDF (half text highlights, half area highlights, one in five nested under the one before, one in
// ten notes with an image) exported to Markdown, to HTML and as an annotated PDF copy. No arguments.
#include <annotating/exchange/markconversion.h>
#include <annotating/exchange/notesexporter.h>
#include <annotating/exchange/pdfannotations.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/serviceregistry.h>
#include <backend/renderparam.h>
#include <domain/metatypes.h>
#include <infrastructure/database.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/transaction.h>

#include <bench/benchsupport.h>

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>

using namespace Nod;
using Domain::Marker;

namespace {

constexpr int kPages = 200;
constexpr int kAnnotations = 2000;
constexpr int kImageEvery = 10;

bool writePdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    painter.setFont(font);
    for (int i = 0; i < kPages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        for (int line = 0; line < 40; ++line) {
            painter.drawText(QPointF(60, 60 + line * 18),
                QStringLiteral("Page %1 line %2 of sample text for the export").arg(i + 1).arg(line));
        }
    }
    return painter.end();
}

QByteArray pngBytes(int seed)
{
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void fill(int documentId)
{
    auto *notes = Application::ServiceRegistry::instance()->noteService();
    auto *resources = Application::ServiceRegistry::instance()->resourceService();
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
        if (i % kImageEvery == 0) {
            const QByteArray png = pngBytes(i);
            const QByteArray hash = QCryptographicHash::hash(png, QCryptographicHash::Sha1).toHex();
            html += QStringLiteral("<p><img src=\"database:%1\"/></p>").arg(QString::fromLatin1(hash));
            notes->newAnnotation(record);
            resources->handle({ record.id, hash, QSize(160, 120), png });
            notes->changeNote(record.id, html);
        } else {
            record.noteText = html;
            notes->newAnnotation(record);
        }
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
    QTemporaryDir dir;
    Infrastructure::Database database;
    if (!dir.isValid() || !database.open(dir.filePath(QStringLiteral("database")))
        || !Infrastructure::Migrator().migrate()) {
        std::fprintf(stderr, "cannot prepare the database\n");
        return 1;
    }
    const QString pdf = dir.filePath(QStringLiteral("sample.pdf"));
    if (!writePdf(pdf)) {
        std::fprintf(stderr, "cannot write the sample PDF\n");
        return 1;
    }
    int code = 0;
    {
        Application::ServiceRegistry registry;
        Application::ServiceRegistry::setInstance(&registry);
        const int documentId = registry.documentService()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), pdf, QStringLiteral("Sample"));
        fill(documentId);

        const double markdown = timeExport(
            documentId, dir.filePath(QStringLiteral("notes.md")), Exchange::NotesFormat::Markdown);
        Bench::print("export_markdown_ms", markdown, "ms");
        const double html
            = timeExport(documentId, dir.filePath(QStringLiteral("notes.html")), Exchange::NotesFormat::Html);
        Bench::print("export_html_ms", html, "ms");
        Bench::print("export_html_size_mb",
            QFileInfo(dir.filePath(QStringLiteral("notes.html"))).size() / 1048576.0, "MiB");

        QElapsedTimer timer;
        timer.start();
        QString error;
        const bool written = Exchange::writeAnnotatedPdf(pdf, dir.filePath(QStringLiteral("annotated.pdf")),
            Exchange::pdfRecordsOfDocument(registry.noteService(), documentId), &error);
        const double pdfMs = timer.nsecsElapsed() / 1e6;
        if (!written) {
            std::fprintf(stderr, "annotated copy failed: %s\n", qPrintable(error));
        }
        Bench::print("export_pdf_ms", written ? pdfMs : -1, "ms");
        code = markdown < 0 || html < 0 || !written ? 1 : 0;
        Application::ServiceRegistry::setInstance(nullptr);
    }
    Infrastructure::Database::close();
    return code;
}
