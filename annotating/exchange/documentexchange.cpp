#include "documentexchange.h"

#include "notesexporter.h"

#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <backend/document.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QUndoStack>

namespace Nod::Exchange {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("Nod::Exchange::DocumentExchange", text); }

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

} // namespace Nod::Exchange
