#pragma once

#include "pdfannotations.h"

#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QWeakPointer>

#include <functional>

class QMenu;
class QUndoStack;
class QWidget;
namespace Backend {
class Document;
}

namespace Nod::Domain {
class Annotation;
}

namespace Nod::Exchange {

// Asks where to save a document's notes (Markdown or HTML, by the chosen suffix) and exports them with
// a progress dialog that can cancel. `opened` is the document's file as already open, if it is.
// Returns whether a file was written; failures have been shown to the user.
bool exportNotesInteractively(
    QWidget *parent, int documentId, const QSharedPointer<Backend::Document> &opened = {});

// The notes-in-and-out menu of one document tab: notes out as Markdown or HTML, marks in from the
// PDF's own annotations (one undo step on the tab's stack), and an annotated copy of the PDF. While
// marks stand for some of the file's annotations, the opened file's pages are drawn without those.
class DocumentExchange final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentExchange)

public:
    // `stack` is the tab's undo stack and `parent` the tab; neither is owned.
    DocumentExchange(QUndoStack *stack, QWidget *parent);
    ~DocumentExchange() override;

    QMenu *menu() const { return m_menu; }
    // Called right before each action, so that the tab can store a note being edited first.
    void setCommitNotes(std::function<void()> commit);

    // Called once the tab has opened the file, before its pages are first drawn; the menu works from
    // then on. A PDF carrying annotations made elsewhere, opened for the first time, gets the offer
    // to bring them in (the file is read on a worker thread).
    void documentOpened(int documentId, const QSharedPointer<Backend::Document> &document);

public slots:
    void exportNotes();
    // Brings in the PDF's annotations that are not in the library yet, after a question.
    void importAnnotations();
    void exportAnnotatedPdf();

signals:
    // After marks were brought in, with their number.
    void annotationsImported(int count);
    // The opened file's pages draw differently now (annotations left out or back in).
    void pagesChanged();

private:
    // Asks, then imports; `firstOpening` words the question for a first opening.
    void offerImport(const QVector<PdfAnnotationRecord> &records,
        const QVector<SkippedPdfAnnotation> &skipped, bool firstOpening);
    // Reads the file on a worker thread and offers what is not in the library yet.
    void readForOffer(const QString &path, const QString &hash);
    void commitNotes();
    void on_notes_changed(const Domain::Annotation &annotation);
    // Leaves the annotations that marks stand for out of the opened file's renders.
    void updateHiddenAnnotations();

    int m_documentId = 0;
    QUndoStack *m_stack; // not owned
    QWidget *m_parent; // not owned
    QMenu *m_menu;
    std::function<void()> m_commitNotes;
    QWeakPointer<Backend::Document> m_document;
    QSet<int> m_hidden;
    bool m_hiddenUpdatePending = false;
};

} // namespace Nod::Exchange
