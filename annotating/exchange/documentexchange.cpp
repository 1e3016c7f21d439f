#include "documentexchange.h"

#include "markconversion.h"
#include "notesexporter.h"
#include "pdfmarkimport.h"

#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <backend/document.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QUndoStack>
#include <QtConcurrent>

namespace Nod::Exchange {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("Nod::Exchange::DocumentExchange", text); }

struct ReadResult
{
    QVector<PdfAnnotationRecord> records;
    QString error;
};

ReadResult readRecords(const QString &path)
{
    ReadResult result;
    readPdfAnnotations(path, result.records, &result.error);
    return result;
}

bool isPdf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(1024).contains("%PDF-");
}

} // namespace

bool exportNotesInteractively(
    QWidget *parent, int documentId, const QSharedPointer<Backend::Document> &opened)
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(documentId) : std::nullopt;
    if (!document) {
        QMessageBox::warning(parent, tr("Export notes"), tr("The document is not in the library."));
        return false;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString selectedFilter;
    const QString markdownFilter = tr("Markdown (*.md)");
    const QString htmlFilter = tr("Web page, one file (*.html)");
    QString path = QFileDialog::getSaveFileName(parent, tr("Export notes"),
        QDir(folder).filePath(safeFileName(document->title()) + QStringLiteral(".md")),
        markdownFilter + QStringLiteral(";;") + htmlFilter, &selectedFilter);
    if (path.isEmpty()) {
        return false;
    }
    std::optional<NotesFormat> format = notesFormatOf(path);
    if (!format) {
        format = selectedFilter == htmlFilter ? NotesFormat::Html : NotesFormat::Markdown;
        path += *format == NotesFormat::Html ? QStringLiteral(".html") : QStringLiteral(".md");
    }

    NotesExporter exporter;
    if (opened) {
        exporter.setBackendDocument(opened);
    }
    QProgressDialog progress(
        tr("Exporting the notes of \"%1\"...").arg(document->title()), tr("Cancel"), 0, 0, parent);
    progress.setWindowTitle(tr("Export notes"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    QObject::connect(&progress, &QProgressDialog::canceled, &exporter, &NotesExporter::cancel);
    QObject::connect(&exporter, &NotesExporter::progressChanged, &progress, [&progress](int done, int total) {
        progress.setMaximum(total);
        progress.setValue(done);
    });
    const bool written = exporter.exportNotes(documentId, path, *format);
    progress.reset();
    if (!written && !exporter.wasCanceled()) {
        QMessageBox::warning(parent, tr("Export notes"),
            tr("The notes could not be exported.\n%1").arg(exporter.errorString()));
    }
    return written;
}

DocumentExchange::DocumentExchange(int documentId, QUndoStack *stack, QWidget *parent)
    : QObject(parent)
    , m_documentId(documentId)
    , m_stack(stack)
    , m_parent(parent)
    , m_menu(new QMenu(parent))
{
    m_menu->setObjectName(QStringLiteral("exchangeMenu"));
    QAction *exportNotes = m_menu->addAction(tr("Export notes..."));
    exportNotes->setObjectName(QStringLiteral("exportNotes"));
    connect(exportNotes, &QAction::triggered, this, &DocumentExchange::exportNotes);
    QAction *exportPdf = m_menu->addAction(tr("Export annotated PDF..."));
    exportPdf->setObjectName(QStringLiteral("exportAnnotatedPdf"));
    connect(exportPdf, &QAction::triggered, this, &DocumentExchange::exportAnnotatedPdf);
    m_menu->addSeparator();
    QAction *import = m_menu->addAction(tr("Import annotations from the PDF..."));
    import->setObjectName(QStringLiteral("importAnnotations"));
    connect(import, &QAction::triggered, this, &DocumentExchange::importAnnotations);
}

DocumentExchange::~DocumentExchange() = default;

void DocumentExchange::setDocumentProvider(std::function<QSharedPointer<Backend::Document>()> provider)
{
    m_provider = std::move(provider);
}

QSharedPointer<Backend::Document> DocumentExchange::openedDocument() const
{
    return m_provider ? m_provider() : QSharedPointer<Backend::Document>();
}

void DocumentExchange::exportNotes() { exportNotesInteractively(m_parent, m_documentId, openedDocument()); }

void DocumentExchange::documentOpened()
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document) {
        return;
    }
    const QString path = QFileInfo(document->localUrl()).absoluteFilePath();
    if (PdfMarkImport(registry->noteService(), m_documentId, document->hash()).wasOffered() || !isPdf(path)) {
        return;
    }
    auto *watcher = new QFutureWatcher<ReadResult>(this);
    connect(watcher, &QFutureWatcher<ReadResult>::finished, this, [this, watcher, hash = document->hash()] {
        watcher->deleteLater();
        auto *registry = Application::ServiceRegistry::instance();
        if (!registry) {
            return;
        }
        PdfMarkImport import(registry->noteService(), m_documentId, hash);
        const QVector<PdfAnnotationRecord> pending = import.pending(watcher->result().records);
        import.setOffered();
        if (!pending.isEmpty()) {
            offerImport(pending, true);
        }
    });
    watcher->setFuture(QtConcurrent::run(readRecords, path));
}

void DocumentExchange::offerImport(const QVector<PdfAnnotationRecord> &records, bool firstOpening)
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document) {
        return;
    }
    const QString question = firstOpening
        ? tr("This PDF carries %n annotation(s) made in another program. Bring them in as marks with notes?",
            nullptr, records.size())
        : tr("Bring %n annotation(s) of this PDF in as marks with notes?", nullptr, records.size());
    if (QMessageBox::question(m_parent, tr("Import annotations"), question,
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        != QMessageBox::Yes) {
        return;
    }
    openedDocument(); // the tab stores the note being edited first
    const int count
        = PdfMarkImport(registry->noteService(), m_documentId, document->hash()).import(records, m_stack);
    if (count == 0) {
        QMessageBox::warning(
            m_parent, tr("Import annotations"), tr("The annotations could not be brought in."));
        return;
    }
    emit annotationsImported(count);
}

void DocumentExchange::importAnnotations()
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document) {
        return;
    }
    const QString path = QFileInfo(document->localUrl()).absoluteFilePath();
    if (!isPdf(path)) {
        QMessageBox::information(
            m_parent, tr("Import annotations"), tr("Only PDF files carry annotations to bring in."));
        return;
    }
    QVector<PdfAnnotationRecord> records;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = readPdfAnnotations(path, records, &error);
    QApplication::restoreOverrideCursor();
    if (!read) {
        QMessageBox::warning(m_parent, tr("Import annotations"), error);
        return;
    }
    const QVector<PdfAnnotationRecord> pending
        = PdfMarkImport(registry->noteService(), m_documentId, document->hash()).pending(records);
    if (pending.isEmpty()) {
        QMessageBox::information(m_parent, tr("Import annotations"),
            records.isEmpty() ? tr("This PDF carries no annotations that can be brought in.")
                              : tr("Every annotation of this PDF is among the marks already."));
        return;
    }
    offerImport(pending, false);
}

void DocumentExchange::exportAnnotatedPdf()
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document) {
        return;
    }
    openedDocument(); // the tab stores the note being edited first
    const QString source = QFileInfo(document->localUrl()).absoluteFilePath();
    if (!isPdf(source)) {
        QMessageBox::information(
            m_parent, tr("Export annotated PDF"), tr("Only a PDF document can be copied with its marks."));
        return;
    }
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString target = QFileDialog::getSaveFileName(m_parent, tr("Export annotated PDF"),
        QDir(folder).filePath(safeFileName(document->title()) + tr(" (annotated)") + QStringLiteral(".pdf")),
        tr("PDF (*.pdf)"));
    if (target.isEmpty()) {
        return;
    }
    if (QFileInfo(target).suffix().isEmpty()) {
        target += QStringLiteral(".pdf");
    }
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = writeAnnotatedPdf(
        source, target, pdfRecordsOfDocument(registry->noteService(), m_documentId), &error);
    QApplication::restoreOverrideCursor();
    if (!written) {
        QMessageBox::warning(m_parent, tr("Export annotated PDF"), error);
    }
}

} // namespace Nod::Exchange
