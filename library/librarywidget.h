#pragma once

#include <domain/document.h>

#include <QModelIndex>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;

namespace Nod::Application {
class DocumentService;
class NoteService;
class TagService;
} // namespace Nod::Application

namespace Nod::Indexing {
class SearchIndexer;
struct SearchResults;
} // namespace Nod::Indexing

namespace Nod::Presentation {

class DocumentDetailWidget;
class DocumentModel;
class FilteredShelfModel;
class FullTextResults;
class ShelfView;
class TagTreeModel;
class TagTreeView;

// The library tab: the category tree, the shelf with its search line, and the detail panel of the
// current document. Files enter the library here (import by content type, path and fingerprint).
class LibraryWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LibraryWidget)

public:
    explicit LibraryWidget(QWidget *parent = nullptr);
    ~LibraryWidget() override;

    // Call once. The services are not owned. The lists are filled later, by loadModels() or
    // when the tab is first shown, so that a start that opens a document does not wait for them.
    void setServices(Application::TagService *categories, Application::DocumentService *documents,
        Application::NoteService *notes);
    // Makes the tab's widgets, builds the shelf's and the category tree's models and applies the
    // restored layout; once.
    void loadModels();

    // Gives the search line its full-text mode and shows the indexing progress. Not owned.
    void setSearchIndexer(Indexing::SearchIndexer *indexer);
    // In full-text mode the search line looks for words in every page and note, not in titles.
    bool isFullTextMode() const;
    void setFullTextMode(bool on);

    // The document whose stored path is this file's; nothing when there is none.
    std::optional<int> documentIdForPath(const QString &path) const;
    // Imports a file. Nothing when the file is missing, is not a PDF or EPUB, or does not open in
    // the reader (the user has been told), or when the user cancelled the wait; the existing id when
    // the path is already in the library; the id of the document that now points at this file after
    // "Overwrite"; -1 when the user kept the existing copies (View or Cancel) or the document could
    // not be added (the file could not be read, the database refused). A database fault refuses the
    // file with a message rather than ending the program.
    std::optional<int> addFile(const QString &path);
    // The fingerprint, computed under a window-modal progress dialog; empty when unreadable.
    QString hashWithProgress(const QString &path);
    // Whether the reader opens the file with pages to show (or locked, to be unlocked), asked on a
    // worker under a window-modal progress dialog; nothing when the user cancelled the wait.
    std::optional<bool> opensWithProgress(const QString &path);
    // Points the document at another file, unless that file is already another document's or is
    // refused as an import would refuse it (the user has been told; the document is unchanged).
    void relocateDocument(int documentId, const QString &path);
    // Clears the filters and the search, and selects the document's row.
    void selectDocument(int documentId);

    // Splitter sizes, the shelf header (column sizes and order, sort column and order) and the
    // expanded categories. Makes the widgets first when they are not yet.
    QByteArray saveState();
    // False, changing nothing, for bytes that are not such a state.
    bool restoreState(const QByteArray &state);

    // These fill the lists first when they are not yet.
    DocumentModel *documentModel();
    FilteredShelfModel *shelfModel();
    TagTreeModel *tagTreeModel();
    // These make the tab's widgets first when they are not yet.
    ShelfView *shelfView();
    TagTreeView *tagTreeView();
    DocumentDetailWidget *detailWidget();
    QLineEdit *searchLine();
    QToolButton *fullTextToggle();
    FullTextResults *fullTextResults();
    // The line under the search line: indexing progress.
    QLabel *indexProgressLabel();
    // Above the results: a mistake in the query, no hits, or how many were found.
    QLabel *searchMessage();

signals:
    void openFileRequested(Nod::Domain::Document doc);
    void addFilesRequested();
    void exportNotesRequested(int documentId);
    // A hit of the full-text search: a note (annotationId) or a page whose words are to be shown.
    void searchHitActivated(int documentId, int page, int annotationId, const QString &words);

public slots:
    void open(int id);
    void relocate(QModelIndex index);
    void openFolder(QModelIndex index);
    void on_tagBar_addTagRequested(QString names);

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The widgets are made when the tab is first shown or asked for (or after the first page of a
    // start): a start that opens a document does not wait for a tab it does not show.
    void buildContents();
    bool applyState(const QByteArray &state);
    std::optional<int> importFile(const QString &path); // throws what the services throw
    void refuseImport(const QString &path, const QString &reason);
    // These tell the user why a file is refused before they return false (or empty).
    bool isDocumentFile(const QString &path); // exists, and a PDF or EPUB by its content
    bool opensInReader(const QString &path); // false also when the user cancelled the wait
    void refuseAsNoDocument(const QString &path);
    QString fingerprintOrRefuse(const QString &path);
    int currentDocumentId() const;
    int detailDocumentId() const; // 0 before the tab is made
    void refreshDetail();
    void saveOverview(const QString &text);
    void revealInFileManager(const QString &path);
    void on_searchLine_textChanged(const QString &text);
    void runFullTextSearch();
    void showFullTextResults(int requestId, const Indexing::SearchResults &results);
    void showIndexProgress(int finished, int total);

    Application::TagService *m_categories = nullptr; // not owned
    Application::DocumentService *m_documents = nullptr; // not owned
    Application::NoteService *m_notes = nullptr; // not owned
    DocumentModel *m_documentModel = nullptr;
    FilteredShelfModel *m_shelfModel = nullptr;
    TagTreeModel *m_tagTreeModel = nullptr;
    // A layout restored before the lists were filled: applied with them, and saved as it came
    // should the program end first.
    QByteArray m_pendingState;

    QSplitter *m_splitter = nullptr;
    TagTreeView *m_tagTree = nullptr;
    QLineEdit *m_searchLine = nullptr;
    QPushButton *m_addFiles = nullptr;
    QToolButton *m_fullTextToggle = nullptr;
    QLabel *m_indexProgress = nullptr;
    QStackedWidget *m_shelfStack = nullptr;
    QLabel *m_searchMessage = nullptr;
    FullTextResults *m_fullTextResults = nullptr;
    QTimer *m_searchDelay = nullptr;
    Indexing::SearchIndexer *m_indexer = nullptr; // not owned
    int m_pendingSearch = 0;
    bool m_shownFirstScreen = false; // of m_pendingSearch
    ShelfView *m_shelf = nullptr;
    DocumentDetailWidget *m_detail = nullptr;
};

} // namespace Nod::Presentation
