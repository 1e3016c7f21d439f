#pragma once

#include <domain/backgroundmode.h>
#include <domain/document.h>

#include <QList>
#include <QMainWindow>
#include <QPointer>

class QStackedWidget;

namespace Nod::Indexing {
class SearchIndexer;
}

namespace Nod::Presentation {

class DocumentTab;
class HelpDialog;
class DocumentWidget;
class FirstPageWatch;
class LibraryWidget;
class MainTabBar;

// The program's only top-level window: a tab strip that doubles as the title bar, the library at
// tab 0 and one tab per open document. Its constructor finishes the start-up that needs the database
// (schema upgrade, table check, services) before it builds its widgets.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The reading background, chosen from the main menu and kept across runs.
    static Nod::Domain::BackgroundMode backgroundMode();

    MainTabBar *mainTabBar() const { return m_mainTabBar; }
    LibraryWidget *libraryWidget() const { return m_library; }
    // The full-text index of the library in the storage folder.
    Nod::Indexing::SearchIndexer *searchIndexer() const { return m_indexer; }

    // Puts an open document's page into a new tab and makes it current. The page implements
    // DocumentTab.
    void addDocumentPage(QWidget *page, const Nod::Domain::Document &document);
    // The document tab at a tab index, or null for the library and indexes out of range.
    DocumentTab *documentTab(int index) const;
    DocumentTab *currentDocumentTab() const;
    // Document ids of the document tabs, in tab order.
    QList<int> openDocumentIds() const;

    // Called once the start has opened what it opens (the last session, the command line): the
    // front document opens now, and the rest of the start (the library's lists, the tabs behind
    // it) waits until its first page is on the screen. Until then, tabs of a restored session
    // stay unopened whichever becomes current.
    void finishStart();
    bool isStartFinished() const { return m_startFinished; }

public slots:
    void addToLibrary(const QString &filePath);
    // As addToLibrary, then shows the page (0 for the first) in the document's tab.
    void addToLibraryAtPage(const QString &filePath, int page);
    void on_addRequested();
    void on_tabWidget_tabCloseRequested(int index);
    void on_shelf_requestOpenFile(const Nod::Domain::Document &document);
    void on_documentService_aboutToBeRemoved(const Nod::Domain::Document &document);
    void loadLastSession();
    // Another start handed over to this window: show it, and ask for attention where the window
    // manager refuses to raise it.
    void bringToFront();
    // Shows the settings dialog; when it is accepted, every document tab picks up the new shortcuts
    // and colours.
    void on_settingRequested();
    // Opens the document of a full-text hit (or brings its tab forward) and shows the hit there.
    void openSearchHit(int documentId, int page, int annotationId, const QString &words);

signals:
    // The first page of the front document is shown, or there was none to wait for.
    void startSettled();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool event(QEvent *event) override;

private:
    void applyStyleSheet();
    void setBackgroundMode(const Nod::Domain::BackgroundMode &mode);
    void showHelp();
    void showShortcuts();
    void showDonation();
    void removeDocumentPage(int index, bool saveState);
    int indexOfDocument(int documentId) const;
    int insertPage(QWidget *page, const Nod::Domain::Document &document);
    // A tab showing the document, or null after telling the user why it cannot be opened.
    DocumentWidget *createDocumentTab(const Nod::Domain::Document &document);
    // Puts a real tab in the place of a restored session's placeholder at index.
    DocumentWidget *openPendingPage(int index);
    void settleStart();
    bool eventFilter(QObject *watched, QEvent *event) override;

    MainTabBar *m_mainTabBar = nullptr;
    QStackedWidget *m_stack = nullptr;
    LibraryWidget *m_library = nullptr;
    Nod::Indexing::SearchIndexer *m_indexer = nullptr; // child
    bool m_shownOnce = false;
    QPointer<HelpDialog> m_help; // deletes itself on close
    QPointer<HelpDialog> m_shortcuts;
    bool m_startFinished = false;
    bool m_startSettled = false;
    QPointer<FirstPageWatch> m_firstPageWatch;
    // Documents of the last session whose files were missing: told once the first page shows.
    QList<Nod::Domain::Document> m_missingAtStart;
};

} // namespace Nod::Presentation
