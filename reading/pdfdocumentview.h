#pragma once

#include <reading/pagedview.h>

#include <backend/pdfdestination.h>

#include <QHash>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QSet>
#include <QSharedPointer>
#include <QUrl>

class PDFAction;
class PDFDocumentScene;
class QAction;
class QUndoStack;
class ReadingPageItem;

namespace Backend {
class Document;
}

namespace DocumentTool {
class AbstractTool;
}

// The reading view: shows a PDFDocumentScene in one of four page modes, keeps the current page,
// zooms and fits, navigates with keys and wheel, and records every jump in its history so that
// "Previous View" (Alt+Left) and "Next View" (Alt+Right) return. Mouse and key input goes to the
// armed tool (the hand tool by default). Pages that leave the viewport have their renders cancelled.
//
// Links: go-tos inside the document go through the history; http, https and mailto addresses go
// to the desktop; a file: address of a local PDF or EPUB is offered to the user and, once accepted,
// requested with requestOpenPdf(); anything else is refused and logged.
class PDFDocumentView : public PagedView
{
    Q_OBJECT

public:
    enum PageMode {
        PageMode_SinglePage = 0,
        PageMode_OneColumnContinuous = 1,
        PageMode_TwoColumnContinuous = 2,
        PageMode_Presentation = 3
    };
    Q_ENUM(PageMode)
    enum MouseMode {
        MouseMode_MagnifyingGlass = 1,
        MouseMode_Move = 2,
        MouseMode_MarqueeZoom = 3,
        MouseMode_Measure = 4,
        MouseMode_Select = 5,
        MouseMode_TextHighlight = 6,
        MouseMode_TextUnderline = 7,
        MouseMode_RectHighlight = 8,
        MouseMode_Rectangle = 9,
        MouseMode_HorLines = 10,
        MouseMode_HorHighlight = 11
    };
    Q_ENUM(MouseMode)
    // Alignment bits for goToPage.
    enum Alignment {
        AlignLeft = 1,
        AlignRight = 2,
        AlignHCenter = 4,
        AlignTop = 32,
        AlignBottom = 64,
        AlignVCenter = 128,
        AlignCenter = AlignHCenter | AlignVCenter
    };

    explicit PDFDocumentView(QWidget *parent = nullptr);
    ~PDFDocumentView() override;

    void setScene(const QSharedPointer<PDFDocumentScene> &scene);
    QSharedPointer<PDFDocumentScene> pdfScene() const { return m_pdfScene; }
    Backend::Document *document() const;
    // -1 without pages.
    int currentPage() const { return m_currentPage; }
    int pageCount() const { return m_lastPage; }
    PageMode pageMode() const { return m_pageMode; }
    MouseMode mouseMode() const { return m_mouseMode; }

    QUndoStack *history() const { return m_history; }
    QAction *previousViewAction() const { return m_previousViewAction; }
    QAction *nextViewAction() const { return m_nextViewAction; }

    // Disarms the armed tool and arms the one with this type id (none for an unknown id).
    void armTool(int toolType);
    DocumentTool::AbstractTool *armedTool() const { return m_armedTool; }
    DocumentTool::AbstractTool *tool(int toolType) const;
    void registerTool(DocumentTool::AbstractTool *tool);

    // Where the current view is, as a destination on the current page (page points).
    PDFDestination currentDestination() const;
    // Scrolls to a vertical scroll bar value without recording it.
    void setScrollValue(int value);
    // The scene part shown in the viewport.
    QRectF visibleSceneRect() const;

    bool print() override;
    // Searches every page on worker threads, the current page first, then onwards, wrapping; with
    // the note area shown, the notes beside each page after its text.
    QFuture<QVector<ISearchable::Result>> search(const QString &keyword) override;
    void completeResults(QVector<ISearchable::Result> &results, const QString &keyword) override;

public slots:
    void goPrev();
    void goNext();
    void goFirst();
    void goLast();
    void jumpToPage(int page);
    // Goes to the annotation's page (as a step of the history) and centres its mark.
    void jumpToAnnotation(int annoId);
    void goToPage(int pageNum, int alignment);
    void goToPage(int pageNum);
    void goToPage(int pageNum, QPointF anchor, int alignment);
    void goToPage(int pageNum, QPointF anchor);
    void setPageMode(PDFDocumentView::PageMode pageMode, bool forceRelayout);
    void setPageMode(PDFDocumentView::PageMode pageMode);
    void setSinglePageMode();
    void setOneColContPageMode();
    void setTwoColContPageMode();
    void setPresentationMode();
    void setMouseMode(PDFDocumentView::MouseMode newMode);
    void setMouseModeMove();
    void setMouseModeSelect();
    void zoomToRect(QRectF a_rect);
    void zoomFitWindow();
    void zoomFitWidth();
    void zoom100();
    void goToPDFDestination(const PDFDestination &dest);

signals:
    void changedPage(int pageNum);
    void changedPageMode(PDFDocumentView::PageMode newMode);
    void changedDocument(Backend::Document *newDoc);
    // An allowed address (http, https, mailto) handed to the desktop.
    void requestOpenUrl(const QUrl &url);
    // Never emitted: links cannot run commands.
    void requestExecuteCommand(const QString &command);
    // A local PDF or EPUB the user agreed to open inside the program.
    void requestOpenPdf(const QString &filename, int page, bool newWindow);
    void contextClick(int page, QPointF pos);
    void toggleView(int annoId);

protected slots:
    void maybeUpdateSceneRect();
    void pdfActionTriggered(const PDFAction *action);
    void reinitializeFromScene();
    void on_scene_aboutToBeRebuilt();

protected:
    // Asks the user whether to open a local document a link names; a hook for embedding.
    virtual bool confirmOpenDocument(const QString &path);
    void revealSearchResult(QGraphicsItem *highlight) override;

    void goToPageItem(const ReadingPageItem *page, int alignment);
    void goToPageItem(const ReadingPageItem *page, const QRectF &viewRect, bool mayZoom);

    void drawForeground(QPainter *painter, const QRectF &rect) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void on_verticalScrollBar_actionTriggered(int action);
    void updateCurrentPage();
    // The item of the current page; null before a scene is set.
    ReadingPageItem *currentPageItem() const;
    // Remembers where goToPage put the page, so that a resize before the user moves keeps it there.
    void anchorPage(const ReadingPageItem *page, const QRectF &rect, int alignment);
    void reapplyAnchor();
    void cancelRendersOutsideViewport();
    bool atScrollTop() const;
    bool atScrollBottom() const;

    QSharedPointer<PDFDocumentScene> m_pdfScene;
    int m_currentPage = -1;
    int m_lastPage = 0;
    PageMode m_pageMode = PageMode_OneColumnContinuous;
    MouseMode m_mouseMode = MouseMode(0);
    QHash<int, DocumentTool::AbstractTool *> m_tools; // children
    DocumentTool::AbstractTool *m_armedTool = nullptr;
    QPointer<DocumentTool::AbstractTool> m_pressedTool; // the tool a mapped button started
    QHash<int, int> m_buttonTools; // button | modifiers -> tool type
    QUndoStack *m_history; // child
    QAction *m_previousViewAction; // child
    QAction *m_nextViewAction; // child
    QSet<ReadingPageItem *> m_paintedPages; // pages that may hold renders; cleared on rebuild
    // The scroll position a goToPage left; painting keeps the page it chose until the view moves.
    QPoint m_pageChosenAt { -1, -1 };
    PDFDestination m_positionBeforeRebuild;
    int m_anchorPage = -1;
    QRectF m_anchorRect; // in the anchored page's item coordinates
    int m_anchorAlignment = 0;
};
