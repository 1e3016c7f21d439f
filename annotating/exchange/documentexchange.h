#pragma once

#include "pdfannotations.h"

#include <QObject>
#include <QSharedPointer>

#include <functional>

class QMenu;
class QUndoStack;
class QWidget;
namespace Backend {
class Document;
}

namespace Nod::Exchange {

// Asks where to save a document's notes (Markdown or HTML, by the chosen suffix) and exports them with
// a progress dialog that can cancel. `opened` is the document's file as already open, if it is.
// Returns whether a file was written; failures have been shown to the user.
bool exportNotesInteractively(
    QWidget *parent, int documentId, const QSharedPointer<Backend::Document> &opened = {});

// The notes-in-and-out menu of one document tab: notes out as Markdown or HTML, marks in from the
// PDF's own annotations (one undo step on the tab's stack), and an annotated copy of the PDF.
class DocumentExchange final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentExchange)

public:
    // `stack` is the tab's undo stack and `parent` the tab; neither is owned.
    DocumentExchange(int documentId, QUndoStack *stack, QWidget *parent);
    ~DocumentExchange() override;

    QMenu *menu() const { return m_menu; }
    // How the tab hands over its opened file; called right before each action, so that the tab can
    // also store a note being edited first.
    void setDocumentProvider(std::function<QSharedPointer<Backend::Document>()> provider);

    // Called once the tab has opened the file: a PDF carrying annotations made elsewhere, opened for
    // the first time, gets the offer to bring them in. The file is read on a worker thread.
    void documentOpened();

public slots:
    void exportNotes();
    // Brings in the PDF's annotations that are not in the library yet, after a question.
    void importAnnotations();
    void exportAnnotatedPdf();

signals:
    // After marks were brought in, with their number.
    void annotationsImported(int count);

private:
    QSharedPointer<Backend::Document> openedDocument() const;
    // Asks, then imports; `offer` words the question for a first opening.
    void offerImport(const QVector<PdfAnnotationRecord> &records, bool firstOpening);

    int m_documentId;
    QUndoStack *m_stack; // not owned
    QWidget *m_parent; // not owned
    QMenu *m_menu;
    std::function<QSharedPointer<Backend::Document>()> m_provider;
};

} // namespace Nod::Exchange
