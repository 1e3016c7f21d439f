#pragma once

#include <reading/pagedscene.h>

#include <backend/documentloader.h>

#include <QPointer>
#include <QSharedPointer>
#include <QTimer>
#include <QVector>

class AnnotationIndex;
class PDFAction;
class QFileSystemWatcher;
class QGraphicsProxyWidget;
class QLabel;
class QPushButton;
class ReadingPageItem;

namespace Backend {
class Document;
}

// The reading scene: one ReadingPageItem per page of a back-end document. It watches the file and
// reloads it 500 ms after the last change (the path is re-added after every notification, since a
// save by rename drops it from the watcher); a reload that fails keeps the pages shown. A locked
// document shows only the unlock panel, whose button asks for the password (doUnlockDialog).
// Every rebuild emits aboutToBeRebuilt() before deleting items. A reload reads the file on a worker
// while the old pages stay in use, and swaps it in once it has been read whole.
class PDFDocumentScene : public PagedScene
{
    Q_OBJECT

public:
    // The resolution is the rendering resolution in dots per inch (the screen's logical dpi).
    PDFDocumentScene(const QSharedPointer<Backend::Document> &document, int documentId, QUndoStack *undoStack,
        double resolutionX, double resolutionY, QObject *parent = nullptr);
    ~PDFDocumentScene() override;

    QSharedPointer<Backend::Document> document() const { return m_document; }
    // The marks and notes shown on the pages.
    AnnotationIndex *annotations() const { return m_annotations; }
    ReadingPageItem *readingPageAt(int index) const;
    // The only page shown (single page and presentation modes), or -2 when all pages are shown.
    int visiblePage() const { return m_visiblePage; }
    void showOnePage(int index);
    void showAllPages();
    bool isLocked() const;

    // While suspended, file changes are remembered and reloaded when the suspension ends (printing).
    void setReloadSuspended(bool suspended);
    bool isReloadSuspended() const { return m_reloadSuspended; }

    bool print(QPrinter *printer, QWidget *parentWidget) override;
    bool isDocumentScene() const override { return true; }
    void setNoteAreaMode(int mode) override;

    bool event(QEvent *event) override;

public slots:
    void doUnlockDialog();
    void retranslateUi();
    // Starts reading the file again if it still exists (false, and reloadFailed(), when it does
    // not); the pages are rebuilt and documentChanged() emitted once it has been read, or
    // reloadFailed() emitted and the old pages kept. A request while a reload runs is joined to it: the file
    // is read once more after the running read, which may have seen it half-written, and only that read is
    // shown.
    bool reloadDocument();
    bool isReloading() const { return m_reloading; }
    void reinitializeScene() override;
    void finishUnlock();

signals:
    void pageChangeRequested(int pageNum);
    void pageLayoutChanged();
    void pdfActionTriggered(const PDFAction *action);
    void documentChanged(Backend::Document *doc);
    // A change of the file on disk could not be loaded, or the file is gone; the pages shown are
    // the old ones.
    void reloadFailed(const QString &fileName);
    // True when a reload starts reading the file, false once it is over (before the pages are
    // rebuilt or reloadFailed() is emitted); a request joined to a running reload emits nothing.
    void reloadingChanged(bool reloading);

protected slots:
    void pageLayoutChanged(const QRectF &sceneRect);

private:
    void on_watcher_fileChanged(const QString &path);
    void on_reloader_finished(const Backend::DocumentLoader::Result &result);
    void watchFile();
    void clearItems();
    void buildPages();
    void createUnlockPanel();

    QSharedPointer<Backend::Document> m_document;
    QFileSystemWatcher *m_watcher = nullptr; // child
    QTimer m_reloadTimer;
    bool m_reloadSuspended = false;
    bool m_reloadPending = false;
    Backend::DocumentLoader *m_reloader = nullptr; // child, made by the first reload
    bool m_reloading = false;
    bool m_reloadAgain = false;
    QPointer<QWidget> m_unlockWidget; // owned by its proxy item while in the scene
    QLabel *m_unlockLabel = nullptr;
    QPushButton *m_unlockButton = nullptr;
    int m_visiblePage = -2;
    AnnotationIndex *m_annotations = nullptr; // child
    int m_noteAreaMode = 0;
};

namespace Reading {

// The size of each of the document's pages, read from the page tree in one pass without loading a
// page. A page whose size cannot be read keeps its place with its predecessor's size (Letter for
// the first), so a damaged page tree still gives every page a place.
QVector<QSizeF> pagePlaceholderSizes(Backend::Document &document);

} // namespace Reading
