#pragma once

#include "pdfannotations.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

class QUndoStack;
namespace Nod::Application {
class NoteService;
}

namespace Nod::Exchange {

// Brings a PDF's own annotations into one document as this program's marks, with their contents as
// notes under the document note. Which source annotation became which mark is remembered per document
// and file content (keyed by the annotation's object number), so that a source annotation is never
// brought in twice: it is offered again only when the mark made from it no longer exists (the import
// was undone, or the user removed the mark). The record lives in the settings store rather than in
// the database: it is a convenience about foreign files, not library data, and keeping it there
// leaves the schema and its migration catalogue as they are.
class PdfMarkImport final
{
public:
    // `notes` is not owned. `fileHash` is the document's content fingerprint.
    PdfMarkImport(Application::NoteService *notes, int documentId, const QString &fileHash);

    // The records that can be brought in: of a usable shape and not in the library already. Those
    // without a usable shape are added to `skipped`.
    QVector<PdfAnnotationRecord> pending(
        const QVector<PdfAnnotationRecord> &records, QVector<SkippedPdfAnnotation> *skipped = nullptr) const;

    // The file's annotations (object numbers) that marks stand for now: brought in, and their marks
    // not removed since. The page render and the annotated copy leave them out.
    QSet<int> replacedAnnotations() const;

    // Creates one annotation per record, in reading order, as one undo step on the stack, and
    // remembers them. Returns how many were made (0 when the step could not be made; nothing is left).
    int import(const QVector<PdfAnnotationRecord> &records, QUndoStack *stack);

    // Whether bringing the file's annotations in was offered already, as it is on first opening.
    bool wasOffered() const;
    void setOffered();

private:
    QString key(const QString &name) const;
    QHash<int, int> imported() const; // object number -> annotation id

    Application::NoteService *m_notes; // not owned
    int m_documentId;
    QString m_fileHash;
};

} // namespace Nod::Exchange
