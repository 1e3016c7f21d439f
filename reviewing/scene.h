#pragma once

#include <reading/pagedscene.h>

#include <QList>
#include <QSharedPointer>

class AnnotationIndex;

namespace Backend {
class Document;
}

namespace Reviewing {

class Page;
class Summary;

// The summary of a document: one page item per document page, each as tall as the rows of its
// annotations, stacked without gaps and centred on the widest. Every page is filled with its
// annotations when the scene is built (a page of height 0 would never be painted, so filling on
// paint would leave the summary empty), and the note service's signals keep the rows in step. The
// marks, notes and undo commands are the reading view's; only where they are placed differs.
class Scene final : public PagedScene
{
    Q_OBJECT

public:
    // The resolution is the rendering resolution in dots per inch (the screen's logical dpi). The
    // rows are made for the note-area mode given here; changing it later makes them anew.
    Scene(const QSharedPointer<Backend::Document> &document, int documentId, QUndoStack *undoStack,
        double resolutionX, double resolutionY, int noteAreaMode = 0, QObject *parent = nullptr);
    ~Scene() override;

    QSharedPointer<Backend::Document> document() const { return m_document; }
    AnnotationIndex *annotations() const { return m_annotations; }
    Page *summaryPageAt(int index) const;
    // The annotations shown as rows; the document note is none of them.
    int annotationCount() const;
    // Every row, page after page, in row order.
    QList<Summary *> summaries() const;
    // The row of an annotation, or null.
    Summary *summaryOf(int annotationId) const;
    int noteAreaMode() const { return m_noteAreaMode; }

    bool print(QPrinter *printer, QWidget *parentWidget) override;
    bool isDocumentScene() const override { return false; }
    void setNoteAreaMode(int mode) override;

public slots:
    // Builds the pages anew from the document (after it was reloaded or unlocked) and fills them.
    void reinitializeScene() override;
    void on_page_heightChanged();

private:
    void buildPages();
    void populateAll();
    void placePages();
    void on_contentChanged();

    QSharedPointer<Backend::Document> m_document;
    AnnotationIndex *m_annotations = nullptr; // child
    int m_noteAreaMode = 0;
    int m_lastCount = 0;
    bool m_placementHeld = false;
};

} // namespace Reviewing
