#include "documentexchange.h"

#include "markconversion.h"
#include "notesexporter.h"
#include "pdfmarkimport.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <application/startgate.h>
#include <backend/document.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTimer>
#include <QUndoStack>
#include <QtConcurrent>

#include <algorithm>

namespace Nod::Exchange {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("Nod::Exchange::DocumentExchange", text); }

struct ReadResult
{
    QVector<PdfAnnotationRecord> records;
    QVector<SkippedPdfAnnotation> skipped;
    QString error;
    bool ok = false;
};

ReadResult readRecords(const QString &path)
{
    ReadResult result;
    result.ok = readPdfAnnotations(path, result.records, &result.error, &result.skipped);
    return result;
}

// What was left out and why, one line per kind and reason: "Stamp (pages 1, 3): ...".
QString skippedText(const QVector<SkippedPdfAnnotation> &skipped)
{
    QMap<QPair<int, QString>, QSet<int>> pages; // (reason, kind) -> page numbers
    for (const SkippedPdfAnnotation &annotation : skipped) {
        pages[qMakePair(int(annotation.reason), annotation.subtype)].insert(annotation.page + 1);
    }
    QStringList lines;
    for (auto it = pages.constBegin(); it != pages.constEnd(); ++it) {
        QList<int> numbers = it.value().values();
        std::sort(numbers.begin(), numbers.end());
        QStringList shown;
        for (int i = 0; i < numbers.size() && i < 8; ++i) {
            shown.append(QString::number(numbers.at(i)));
        }
        if (numbers.size() > 8) {
            shown.append(QStringLiteral("..."));
        }
        const QString where = (numbers.size() == 1 ? tr("%1 (page %2)") : tr("%1 (pages %2)"))
                                  .arg(it.key().second, shown.join(QStringLiteral(", ")));
        switch (SkippedPdfAnnotation::Reason(it.key().first)) {
        case SkippedPdfAnnotation::OtherKind:
            lines.append(tr("%1: this program has no mark of that kind.").arg(where));
            break;
        case SkippedPdfAnnotation::NoShape:
            lines.append(tr("%1: it covers no area of the page.").arg(where));
            break;
        case SkippedPdfAnnotation::Damaged:
            lines.append(tr("%1: it is damaged and cannot be read.").arg(where));
            break;
        }
    }
    return tr("Not brought in:") + QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
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

DocumentExchange::DocumentExchange(QUndoStack *stack, QWidget *parent)
    : QObject(parent)
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
    // Nothing to take in or out before a document is open.
    m_menu->setEnabled(false);
}

DocumentExchange::~DocumentExchange() = default;

void DocumentExchange::setCommitNotes(std::function<void()> commit) { m_commitNotes = std::move(commit); }

void DocumentExchange::commitNotes()
{
    if (m_commitNotes) {
        m_commitNotes();
    }
}

void DocumentExchange::exportNotes()
{
    commitNotes();
    exportNotesInteractively(m_parent, m_documentId, m_document.toStrongRef());
}

void DocumentExchange::documentOpened(int documentId, const QSharedPointer<Backend::Document> &document)
{
    m_documentId = documentId;
    m_document = document;
    m_menu->setEnabled(true);
    auto *registry = Application::ServiceRegistry::instance();
    const auto entity = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!entity) {
        return;
    }
    Application::NoteService *notes = registry->noteService();
    // Undoing an import, or removing a mark that stands for one of the file's annotations, shows
    // that annotation again.
    connect(notes, &Application::NoteService::added, this, &DocumentExchange::on_notes_changed,
        Qt::UniqueConnection);
    connect(notes, &Application::NoteService::removed, this, &DocumentExchange::on_notes_changed,
        Qt::UniqueConnection);
    m_hidden.clear();
    updateHiddenAnnotations();

    const QString path = QFileInfo(entity->localUrl()).absoluteFilePath();
    if (PdfMarkImport(notes, m_documentId, entity->hash()).wasOffered() || !isPdf(path)) {
        return;
    }
    // Reading every page of a long file can wait for the first page of a start.
    Application::StartGate::whenOpen(this, [this, documentId, path, hash = entity->hash()] {
        if (documentId == m_documentId) {
            readForOffer(path, hash);
        }
    });
}

void DocumentExchange::readForOffer(const QString &path, const QString &hash)
{
    const int documentId = m_documentId;
    auto *watcher = new QFutureWatcher<ReadResult>(this);
    connect(watcher, &QFutureWatcher<ReadResult>::finished, this, [this, watcher, documentId, hash] {
        watcher->deleteLater();
        auto *registry = Application::ServiceRegistry::instance();
        if (!registry || documentId != m_documentId) {
            return;
        }
        const ReadResult read = watcher->result();
        PdfMarkImport import(registry->noteService(), m_documentId, hash);
        if (import.wasOffered()) {
            return; // by a read that began earlier, when the file was opened twice in a row
        }
        QVector<SkippedPdfAnnotation> skipped = read.skipped;
        const QVector<PdfAnnotationRecord> pending = import.pending(read.records, &skipped);
        import.setOffered();
        if (!pending.isEmpty()) {
            offerImport(pending, skipped, true);
        }
    });
    watcher->setFuture(QtConcurrent::run(readRecords, path));
}

void DocumentExchange::on_notes_changed(const Domain::Annotation &annotation)
{
    if (annotation.documentId() != m_documentId || m_hiddenUpdatePending) {
        return;
    }
    // An import or its undo changes many annotations in a row; the pages are looked at once after.
    m_hiddenUpdatePending = true;
    QTimer::singleShot(0, this, [this] {
        m_hiddenUpdatePending = false;
        updateHiddenAnnotations();
    });
}

void DocumentExchange::updateHiddenAnnotations()
{
    auto *registry = Application::ServiceRegistry::instance();
    const QSharedPointer<Backend::Document> document = m_document.toStrongRef();
    const auto entity = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document || !entity) {
        return;
    }
    const QSet<int> hidden
        = PdfMarkImport(registry->noteService(), m_documentId, entity->hash()).replacedAnnotations();
    if (hidden != m_hidden) {
        m_hidden = hidden;
        document->setHiddenAnnotations(hidden);
        emit pagesChanged();
    }
}

void DocumentExchange::offerImport(const QVector<PdfAnnotationRecord> &records,
    const QVector<SkippedPdfAnnotation> &skipped, bool firstOpening)
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document) {
        return;
    }
    QString question = firstOpening
        ? tr("This PDF carries %n annotation(s) made in another program. Bring them in as marks with notes?",
            nullptr, records.size())
        : tr("Bring %n annotation(s) of this PDF in as marks with notes?", nullptr, records.size());
    if (!skipped.isEmpty()) {
        question += QStringLiteral("\n\n") + skippedText(skipped);
    }
    if (QMessageBox::question(m_parent, tr("Import annotations"), question,
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        != QMessageBox::Yes) {
        return;
    }
    commitNotes();
    const int count
        = PdfMarkImport(registry->noteService(), m_documentId, document->hash()).import(records, m_stack);
    if (count == 0) {
        QMessageBox::warning(
            m_parent, tr("Import annotations"), tr("The annotations could not be brought in."));
        return;
    }
    updateHiddenAnnotations();
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
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ReadResult read = readRecords(path);
    QApplication::restoreOverrideCursor();
    if (!read.ok) {
        QMessageBox::warning(m_parent, tr("Import annotations"), read.error);
        return;
    }
    QVector<SkippedPdfAnnotation> skipped = read.skipped;
    const QVector<PdfAnnotationRecord> pending
        = PdfMarkImport(registry->noteService(), m_documentId, document->hash())
              .pending(read.records, &skipped);
    if (pending.isEmpty()) {
        // What `pending` added to the skipped are the records without a shape.
        const bool noneUsable = read.records.size() == skipped.size() - read.skipped.size();
        QString text = noneUsable ? tr("This PDF carries no annotations that can be brought in.")
                                  : tr("Every annotation of this PDF is among the marks already.");
        if (!skipped.isEmpty()) {
            text += QStringLiteral("\n\n") + skippedText(skipped);
        }
        QMessageBox::information(m_parent, tr("Import annotations"), text);
        return;
    }
    offerImport(pending, skipped, false);
}

void DocumentExchange::exportAnnotatedPdf()
{
    auto *registry = Application::ServiceRegistry::instance();
    const auto document = registry ? registry->documentService()->find(m_documentId) : std::nullopt;
    if (!document) {
        return;
    }
    commitNotes();
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
    Application::NoteService *notes = registry->noteService();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The file's annotations that marks stand for are written once, as the marks are now.
    const bool written = writeAnnotatedPdf(source, target, pdfRecordsOfDocument(notes, m_documentId), &error,
        PdfMarkImport(notes, m_documentId, document->hash()).replacedAnnotations());
    QApplication::restoreOverrideCursor();
    if (!written) {
        QMessageBox::warning(m_parent, tr("Export annotated PDF"), error);
    }
}

} // namespace Nod::Exchange
