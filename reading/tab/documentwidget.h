#pragma once

#include "documenttab.h"

#include <backend/documentloader.h>
#include <domain/document.h>
#include <domain/lastread.h>

#include <QHash>
#include <QSharedPointer>
#include <QWidget>

#include <functional>

class PDFDocumentScene;
class PDFDocumentView;

namespace Reviewing {
class Scene;
class View;
} // namespace Reviewing
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QProgressBar;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QToolBar;
class QToolButton;
class QShortcut;
class QUndoStack;

namespace Backend {
class Document;
}

namespace Nod::Exchange {
class DocumentExchange;
}

namespace Nod::Presentation {

class AnnotationToolAction;
class NoteEditorHost;
class MindView;
class PDFToCInfoWidget;
class SiderBarWidget;

// The tab of one open document: a tool bar, the side bar with the outline, and the views of the
// document on a stack (the reading view at index 0). It opens the file (an EPUB off the interface
// thread, with progress in the tab), restores the reading state stored with the document and
// stores it again when closed. One undo stack serves all its views.
class DocumentWidget final : public QWidget, public DocumentTab
{
    Q_OBJECT
    Q_INTERFACES(Nod::Presentation::DocumentTab)
    Q_DISABLE_COPY_MOVE(DocumentWidget)

public:
    enum ViewIndex { ReadingView = 0, SummaryView = 1, MindmapView = 2 };

    explicit DocumentWidget(QWidget *parent = nullptr);
    ~DocumentWidget() override;

    int documentId() const override { return m_documentId; }
    void reloadShortcuts() override;
    void reloadColors() override;
    void print() override;
    void showSearchHit(int page, int annotationId, const QString &words) override;

    // True once the views show the document; until then (an EPUB being laid out) and after a
    // failed opening, closing stores nothing.
    bool isOpened() const { return !m_document.isNull(); }
    QSharedPointer<Backend::Document> document() const { return m_document; }
    PDFDocumentView *readingView() const { return m_readingView; }
    Reviewing::View *summaryView() const { return m_summaryView; }
    MindView *mindView() const { return m_mindView; }
    // The view on show: ReadingView, SummaryView or MindmapView (another index while loading).
    int currentView() const;
    PDFToCInfoWidget *outlineWidget() const { return m_outline; }
    SiderBarWidget *siderBar() const { return m_siderBar; }
    QSplitter *splitter() const { return m_splitter; }
    QSpinBox *pageBox() const { return m_pageBox; }
    QToolBar *toolBar() const { return m_toolBar; }
    QUndoStack *undoStack() const { return m_undoStack; }
    // The note editor's tool bar over the reading view.
    NoteEditorHost *noteEditor() const { return m_noteEditor; }
    NoteEditorHost *summaryNoteEditor() const { return m_summaryNoteEditor; }
    NoteEditorHost *mindNoteEditor() const { return m_mindNoteEditor; }
    int noteAreaMode() const { return m_noteAreaMode; }
    void setNoteAreaMode(int mode);
    // Goes to the page as a step of the reading history; a tab still opening goes there once its
    // document shows, instead of to the stored page.
    void showPage(int page);
    // The reading state as closing would store it now.
    Nod::Domain::LastRead lastRead() const;

signals:
    void openRequested();
    // The views show the document (at once for a PDF, after the layout for an EPUB).
    void documentOpened();
    void openFailed(const QString &fileName);
    // A link to a local document the user agreed to open, at this page (0 for the first).
    void openFileRequested(const QString &filePath, int page);

public slots:
    bool openDocument(const Nod::Domain::Document &doc);
    void closeDocument() override;
    // Clears the search results of every view and hides their find bars.
    void clearAllWidgetResults();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createToolBar();
    void createAnnotationToolActions();
    void on_colorShortcut_actived(const QString &name);
    QAction *addToolAction(const QString &objectName, const QString &iconPath, const QString &text,
        const QKeySequence &shortcut = QKeySequence());
    void finishOpening(const QSharedPointer<Backend::Document> &document);
    // Reads the outline once the page in view has its image.
    void loadOutlineAfterPage();
    void on_loader_finished(const Backend::DocumentLoader::Result &result);
    void showLoadingPanel(const QString &text, bool busy);
    // A line over the views for what the user should know while the document stays in use (a
    // reload under way, one that failed): the busy sign runs while busy; a message that is not
    // busy stays until closed or replaced.
    void showMessage(const QString &text, bool busy);
    void hideMessage();
    void on_readingScene_reloadingChanged(bool reloading);
    void on_readingScene_reloadFailed(const QString &fileName);
    // Builds the summary's rows on its first showing.
    void ensureSummary();
    // Once, when the document first has pages: the stored page and zoom, or the page asked for.
    void restoreViewState();
    void restoreSiderBarState();
    void on_siderBar_thrinked();
    void on_siderBar_expanded();
    void on_currentChanged(int index);
    // Cross-view jumps: the reading view's request shows the annotation's row in the summary; the
    // summary's and the mind map's show it in the reading view.
    void on_readingView_toggleView(int annoId);
    void on_summaryView_toggleView(int annoId);
    void on_mindmap_toggleView(int annoId);
    void addViewAction(QMenu *menu, const QString &objectName, const QString &iconPath, const QString &text,
        int index, const QKeySequence &shortcut = QKeySequence());
    void on_readingView_changedPage(int page);
    void on_pageBox_editingFinished();
    void on_noteArea_triggered(QAction *action);
    void updatePageBox();
    // Stores the note being edited as an undo step.
    void commitNotes();

    int m_documentId = 0;
    Nod::Domain::Document m_entity;
    Nod::Domain::LastRead m_restored;
    QSharedPointer<Backend::Document> m_document;
    QSharedPointer<PDFDocumentScene> m_readingScene;
    Backend::DocumentLoader *m_loader;
    QUndoStack *m_undoStack;
    QToolBar *m_toolBar;
    SiderBarWidget *m_siderBar;
    PDFToCInfoWidget *m_outline;
    bool m_outlinePending = false;
    QMetaObject::Connection m_outlineWait;
    QStackedWidget *m_stack;
    QSplitter *m_splitter;
    PDFDocumentView *m_readingView;
    Reviewing::View *m_summaryView;
    QSharedPointer<Reviewing::Scene> m_summaryScene;
    MindView *m_mindView;
    Nod::Exchange::DocumentExchange *m_exchange = nullptr; // child
    NoteEditorHost *m_noteEditor = nullptr; // child of the reading view
    NoteEditorHost *m_summaryNoteEditor = nullptr; // child of the summary view
    NoteEditorHost *m_mindNoteEditor = nullptr; // child of the mind view
    QWidget *m_loadingPanel = nullptr; // in m_stack while the document opens or after it failed
    QLabel *m_loadingLabel = nullptr;
    QProgressBar *m_loadingBar = nullptr;
    QWidget *m_messageBar = nullptr; // child, made by the first message
    QLabel *m_messageText = nullptr;
    QProgressBar *m_messageBusy = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QToolButton *m_viewSwitch = nullptr;
    QActionGroup *m_toolGroup = nullptr;
    QActionGroup *m_viewGroup = nullptr;
    QActionGroup *m_noteAreaGroup = nullptr;
    QList<QAction *> m_readingOnlyActions;
    QHash<QAction *, QString> m_toolShortcutNames;
    QList<QColor> m_paneColors;
    QList<AnnotationToolAction *> m_annotationActions; // children
    QList<QShortcut *> m_colorShortcuts; // children
    int m_noteAreaMode = 0;
    int m_requestedPage = -1;
    bool m_pagesShown = false; // the stored state was restored onto pages (after any unlock)
    bool m_siderBarRestored = false;
    bool m_viewCentred = false;
    bool m_closed = false;
    std::function<void()> m_pendingSearchHit; // shown once the document has opened
};

} // namespace Nod::Presentation
