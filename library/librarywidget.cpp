#include "librarywidget.h"

#include "documentdetailwidget.h"
#include "documentformat.h"
#include "documentmodel.h"
#include "filteredshelfmodel.h"
#include "fulltextresults.h"
#include "libraryroles.h"
#include "overviewedit.h"
#include "shelfview.h"
#include "tagbar.h"
#include "tagtreemodel.h"
#include "tagtreeview.h"

#include <app/storage/settings.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/tagservice.h>
#include <backend/documentloader.h>
#include <domain/hashgenerator.h>
#include <indexing/searchindexer.h>
#include <indexing/searchquery.h>

#include <QDataStream>
#include <QDebug>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#ifdef NODERA_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#endif
#ifdef Q_OS_WIN
#include <QDir>
#include <QProcess>
#endif

#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

namespace Nod::Presentation {

namespace {
constexpr quint32 StateMagic = 0x4e4c5731; // "NLW1"
constexpr qint32 StateVersion = 1;
// More hits than this are counted, not listed: nobody reads further, and the list stays quick.
constexpr int ShownHits = 500;
// Shown as soon as they are ready, while the rest of the list is made.
constexpr int FirstScreenHits = 20;
} // namespace

LibraryWidget::LibraryWidget(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("libraryWidget"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // Typing pauses before the index is asked, so that each word is not searched letter by letter.
    m_searchDelay = new QTimer(this);
    m_searchDelay->setSingleShot(true);
    m_searchDelay->setInterval(250);
    connect(m_searchDelay, &QTimer::timeout, this, &LibraryWidget::runFullTextSearch);
}

LibraryWidget::~LibraryWidget() = default;

void LibraryWidget::buildContents()
{
    if (m_splitter) {
        return;
    }
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("librarySplitter"));
    m_splitter->setChildrenCollapsible(false);

    m_tagTree = new TagTreeView(m_splitter);

    auto *center = new QWidget(m_splitter);
    auto *centerLayout = new QVBoxLayout(center);
    centerLayout->setContentsMargins(0, 0, 0, 0);
    auto *bar = new QHBoxLayout;
    m_searchLine = new QLineEdit(center);
    m_searchLine->setObjectName(QStringLiteral("searchLine"));
    m_searchLine->setPlaceholderText(tr("Search ..."));
    m_fullTextToggle = new QToolButton(center);
    m_fullTextToggle->setObjectName(QStringLiteral("fullTextToggle"));
    m_fullTextToggle->setText(tr("Full text"));
    m_fullTextToggle->setCheckable(true);
    m_fullTextToggle->setEnabled(false);
    m_fullTextToggle->setToolTip(
        tr("Search the text of every document and note (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F).toString(QKeySequence::NativeText)));
    m_addFiles = new QPushButton(tr("Add Files"), center);
    m_addFiles->setObjectName(QStringLiteral("addFiles"));
    bar->addWidget(m_searchLine, 1);
    bar->addWidget(m_fullTextToggle);
    bar->addWidget(m_addFiles);
    centerLayout->addLayout(bar);
    m_indexProgress = new QLabel(center);
    m_indexProgress->setObjectName(QStringLiteral("indexProgress"));
    m_indexProgress->hide();
    centerLayout->addWidget(m_indexProgress);
    m_shelfStack = new QStackedWidget(center);
    m_shelf = new ShelfView(m_shelfStack);
    m_shelfStack->addWidget(m_shelf);
    auto *results = new QWidget(m_shelfStack);
    auto *resultsLayout = new QVBoxLayout(results);
    resultsLayout->setContentsMargins(0, 0, 0, 0);
    m_searchMessage = new QLabel(results);
    m_searchMessage->setObjectName(QStringLiteral("searchMessage"));
    m_searchMessage->setWordWrap(true);
    m_searchMessage->hide();
    m_fullTextResults = new FullTextResults(results);
    resultsLayout->addWidget(m_searchMessage);
    resultsLayout->addWidget(m_fullTextResults, 1);
    m_shelfStack->addWidget(results);
    centerLayout->addWidget(m_shelfStack, 1);

    m_detail = new DocumentDetailWidget(m_splitter);

    m_splitter->addWidget(m_tagTree);
    m_splitter->addWidget(center);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 4);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({ 200, 800, 240 });

    layout()->addWidget(m_splitter);

    connect(m_addFiles, &QPushButton::clicked, this, &LibraryWidget::addFilesRequested);
    connect(m_fullTextToggle, &QToolButton::toggled, this, &LibraryWidget::setFullTextMode);
    auto *fullTextShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), this);
    fullTextShortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(fullTextShortcut, &QShortcut::activated, this, [this] {
        setFullTextMode(true);
        m_searchLine->setFocus(Qt::ShortcutFocusReason);
        m_searchLine->selectAll();
    });
    connect(m_searchLine, &QLineEdit::textChanged, this, &LibraryWidget::on_searchLine_textChanged);
    connect(m_searchLine, &QLineEdit::returnPressed, this, [this] {
        if (isFullTextMode()) {
            runFullTextSearch();
        }
    });
    connect(m_fullTextResults, &FullTextResults::documentActivated, this, &LibraryWidget::open);
    connect(m_fullTextResults, &FullTextResults::hitActivated, this, &LibraryWidget::searchHitActivated);
    connect(m_shelf, &ShelfView::addFilesRequested, this, &LibraryWidget::addFilesRequested);
    connect(m_shelf, &ShelfView::openFileRequested, this,
        [this](const QModelIndex &index) { open(index.data(LibraryRole::DocumentId).toInt()); });
    connect(m_shelf, &ShelfView::openFolderRequested, this, &LibraryWidget::openFolder);
    connect(m_shelf, &ShelfView::relocateRequested, this, &LibraryWidget::relocate);
    connect(m_shelf, &ShelfView::exportNotesRequested, this, [this](const QModelIndex &index) {
        emit exportNotesRequested(index.data(LibraryRole::DocumentId).toInt());
    });
    connect(m_shelf, &ShelfView::currentIndexChanged, this, &LibraryWidget::refreshDetail);
    connect(m_detail->overviewEdit(), &OverviewEdit::editingFinished, this, &LibraryWidget::saveOverview);
    connect(m_detail->tagBar(), &TagBar::addTagRequested, this, &LibraryWidget::on_tagBar_addTagRequested);
    m_detail->setDocument(std::nullopt, {});
    if (m_indexer) {
        m_fullTextToggle->setEnabled(true);
        showIndexProgress(m_indexer->finishedCount(), m_indexer->totalCount());
    }
    // Made while the tab shows: the children would otherwise wait for the next turn of the loop.
    if (isVisible()) {
        m_splitter->show();
    }
}

void LibraryWidget::setServices(Application::TagService *categories, Application::DocumentService *documents,
    Application::NoteService *notes)
{
    if (m_documents) {
        qWarning() << "Nod::Presentation::LibraryWidget::setServices"
                   << "services already set";
        return;
    }
    m_categories = categories;
    m_documents = documents;
    m_notes = notes;

    auto refreshIfShown = [this](const Domain::Document &doc) {
        if (doc.id() == detailDocumentId()) {
            refreshDetail();
        }
    };
    using Application::DocumentService;
    connect(documents, &DocumentService::titleChanged, this, refreshIfShown);
    connect(documents, &DocumentService::overviewChanged, this, refreshIfShown);
    connect(documents, &DocumentService::fileChanged, this, refreshIfShown);
    connect(documents, &DocumentService::removed, this, &LibraryWidget::refreshDetail);
    auto refreshIfCarried = [this](const Domain::Tag &, int docId) {
        if (docId == detailDocumentId()) {
            refreshDetail();
        }
    };
    using Application::TagService;
    connect(categories, &TagService::itemAdded, this, refreshIfCarried);
    connect(categories, &TagService::itemRemoved, this, refreshIfCarried);
    connect(categories, &TagService::nameChanged, this, [this](const Domain::Tag &tag) {
        if (tag.items().contains(detailDocumentId())) {
            refreshDetail();
        }
    });
    if (isVisible()) {
        loadModels();
    }
}

void LibraryWidget::loadModels()
{
    buildContents();
    if (m_documentModel || !m_documents) {
        return;
    }
    m_documentModel = new DocumentModel(m_documents, m_notes, m_categories, this);
    m_shelfModel = new FilteredShelfModel(m_categories, this);
    m_shelfModel->setSourceModel(m_documentModel);
    m_tagTreeModel = new TagTreeModel(m_categories, this);
    m_shelf->setShelfModel(m_shelfModel);
    m_tagTree->setTagModel(m_tagTreeModel);

    // Its icon is looked up in the icon theme, a cost the start need not pay.
    m_searchLine->setClearButtonEnabled(true);
    connect(m_tagTree, &TagTreeView::selectedTagsChanged, m_shelfModel, &FilteredShelfModel::setFilterTags);
    // Words typed before the lists came.
    m_shelfModel->setSearchWord(isFullTextMode() ? QString() : m_searchLine->text());
    if (!m_pendingState.isEmpty()) {
        applyState(std::exchange(m_pendingState, {}));
    }
    refreshDetail();
}

void LibraryWidget::setSearchIndexer(Indexing::SearchIndexer *indexer)
{
    m_indexer = indexer;
    if (m_fullTextToggle) {
        m_fullTextToggle->setEnabled(indexer != nullptr);
    }
    if (!indexer) {
        return;
    }
    connect(indexer, &Indexing::SearchIndexer::progressChanged, this, &LibraryWidget::showIndexProgress);
    connect(indexer, &Indexing::SearchIndexer::searchFinished, this, &LibraryWidget::showFullTextResults);
    // Hits found before a change of the library may point at what is gone now.
    connect(indexer, &Indexing::SearchIndexer::documentIndexed, this, [this] {
        if (isFullTextMode() && !m_searchLine->text().trimmed().isEmpty() && !m_searchDelay->isActive()) {
            m_searchDelay->start();
        }
    });
    showIndexProgress(indexer->finishedCount(), indexer->totalCount());
}

bool LibraryWidget::isFullTextMode() const { return m_fullTextToggle && m_fullTextToggle->isChecked(); }

void LibraryWidget::setFullTextMode(bool on)
{
    if (on && !m_indexer) {
        return;
    }
    buildContents();
    m_fullTextToggle->setChecked(on);
    m_searchLine->setPlaceholderText(
        on ? tr("Search words in every document and note ...") : tr("Search ..."));
    m_shelfStack->setCurrentIndex(on ? 1 : 0);
    if (m_shelfModel) {
        m_shelfModel->setSearchWord(on ? QString() : m_searchLine->text());
    }
    if (on) {
        runFullTextSearch();
    } else {
        m_searchDelay->stop();
        m_pendingSearch = 0;
    }
}

void LibraryWidget::on_searchLine_textChanged(const QString &text)
{
    if (!isFullTextMode()) {
        if (m_shelfModel) {
            m_shelfModel->setSearchWord(text);
        }
        return;
    }
    m_searchDelay->start();
}

void LibraryWidget::runFullTextSearch()
{
    m_searchDelay->stop();
    if (!m_indexer || !isFullTextMode()) {
        return;
    }
    const Indexing::SearchQuery query = Indexing::SearchQuery::parse(m_searchLine->text());
    if (!query.isValid()) {
        m_pendingSearch = 0;
        m_fullTextResults->clear();
        m_searchMessage->setText(query.errorString());
        m_searchMessage->setVisible(!query.errorString().isEmpty());
        return;
    }
    m_pendingSearch = m_indexer->search(query, ShownHits, FirstScreenHits);
    m_shownFirstScreen = false;
}

void LibraryWidget::showFullTextResults(int requestId, const Indexing::SearchResults &results)
{
    if (requestId != m_pendingSearch) {
        return; // an earlier query, overtaken by what was typed since
    }
    const auto titleOf = [this](int documentId) {
        const std::optional<Domain::Document> doc
            = m_documents ? m_documents->find(documentId) : std::nullopt;
        return doc ? doc->title() : tr("(removed document)");
    };
    // The whole list holds the first screen's hits in the same order, with more among and after
    // them; the row the user is on keeps its place when it comes.
    m_fullTextResults->setResults(results.hits, titleOf, m_shownFirstScreen);
    m_shownFirstScreen = !results.complete;
    if (!results.complete) {
        m_searchMessage->setVisible(false);
        return;
    }
    m_pendingSearch = 0;
    QString message;
    if (!results.error.isEmpty()) {
        message = tr("The search index could not answer this search. It is rebuilt at the next start.");
    } else if (results.hits.isEmpty()) {
        message = m_indexer && m_indexer->isIndexing() ? tr("No matches in the documents indexed so far.")
                                                       : tr("No matches.");
    } else if (results.total > results.hits.size()) {
        message = tr("The best %1 of %2 matches.").arg(results.hits.size()).arg(results.total);
    }
    m_searchMessage->setText(message);
    m_searchMessage->setVisible(!message.isEmpty());
}

void LibraryWidget::showIndexProgress(int finished, int total)
{
    if (!m_indexProgress) {
        return; // the tab asks the indexer when it is made
    }
    m_indexProgress->setVisible(total > 0);
    if (total > 0) {
        m_indexProgress->setText(tr("Indexing %1 of %2 documents").arg(qMin(finished + 1, total)).arg(total));
    }
}

DocumentModel *LibraryWidget::documentModel()
{
    loadModels();
    return m_documentModel;
}

ShelfView *LibraryWidget::shelfView()
{
    buildContents();
    return m_shelf;
}

TagTreeView *LibraryWidget::tagTreeView()
{
    buildContents();
    return m_tagTree;
}

DocumentDetailWidget *LibraryWidget::detailWidget()
{
    buildContents();
    return m_detail;
}

QLineEdit *LibraryWidget::searchLine()
{
    buildContents();
    return m_searchLine;
}

QToolButton *LibraryWidget::fullTextToggle()
{
    buildContents();
    return m_fullTextToggle;
}

FullTextResults *LibraryWidget::fullTextResults()
{
    buildContents();
    return m_fullTextResults;
}

QLabel *LibraryWidget::indexProgressLabel()
{
    buildContents();
    return m_indexProgress;
}

QLabel *LibraryWidget::searchMessage()
{
    buildContents();
    return m_searchMessage;
}

FilteredShelfModel *LibraryWidget::shelfModel()
{
    loadModels();
    return m_shelfModel;
}

TagTreeModel *LibraryWidget::tagTreeModel()
{
    loadModels();
    return m_tagTreeModel;
}

void LibraryWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    const QWindow *window = this->window()->windowHandle();
    if (window && window->isExposed()) {
        loadModels(); // the user switched to the library
        return;
    }
    // The window is coming up: a document opened by the same start takes the place first.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) {
            loadModels();
        }
    });
}

int LibraryWidget::currentDocumentId() const
{
    return m_shelf ? m_shelf->currentIndex().data(LibraryRole::DocumentId).toInt() : 0;
}

int LibraryWidget::detailDocumentId() const { return m_detail ? m_detail->documentId() : 0; }

void LibraryWidget::refreshDetail()
{
    if (!m_detail) {
        return; // filled when the tab is made
    }
    const int id = m_documents ? currentDocumentId() : 0;
    const std::optional<Domain::Document> doc = id > 0 ? m_documents->find(id) : std::nullopt;
    QStringList names;
    if (doc) {
        const QVector<Domain::Tag> tags = m_categories->tagsOfDocument(id);
        for (const Domain::Tag &tag : tags) {
            names.append(tag.name());
        }
        std::sort(names.begin(), names.end(),
            [](const QString &a, const QString &b) { return QString::localeAwareCompare(a, b) < 0; });
    }
    m_detail->setDocument(doc, names);
}

void LibraryWidget::saveOverview(const QString &text)
{
    const int id = m_detail->documentId();
    if (id <= 0 || !m_documents) {
        return;
    }
    const std::optional<Domain::Document> doc = m_documents->find(id);
    if (doc && doc->overview() != text) {
        m_documents->changeOverview(id, text);
    }
}

std::optional<int> LibraryWidget::documentIdForPath(const QString &path) const
{
    if (!m_documents || path.isEmpty()) {
        return std::nullopt;
    }
    QVector<Domain::Document> found;
    try {
        found = m_documents->documentsWithPath(Application::DocumentService::localUrlOf(QFileInfo(path)));
    } catch (const std::exception &error) {
        // An import that follows meets the same fault and tells the user.
        qWarning() << "Nod::Presentation::LibraryWidget::documentIdForPath" << error.what();
        return std::nullopt;
    }
    if (found.isEmpty()) {
        return std::nullopt;
    }
    return found.first().id();
}

QString LibraryWidget::hashWithProgress(const QString &path)
{
    const QFileInfo info(path);
    // A file read in a blink needs no dialog; a modal one would also run the event loop, and paint
    // the window without the document that is about to open in it.
    constexpr qint64 kQuietBytes = 16 * 1024 * 1024;
    // Named at start-up, it may have been read already, beside the start.
    if (const std::optional<QString> early
        = Backend::DocumentLoader::takeEarlyFingerprint(info.absoluteFilePath(), info.size() < kQuietBytes)) {
        return *early;
    }
    Domain::HashGenerator generator;
    if (info.size() < kQuietBytes) {
        return generator.generate(info.absoluteFilePath());
    }
    // The dialog counts KiB: its range is an int, files may pass 2 GiB.
    const int maximum = int(std::min<qint64>(info.size() / 1024, INT_MAX));
    QProgressDialog dialog(tr("Importing ") + info.absoluteFilePath(), QString(), 0, maximum, this);
    dialog.setWindowTitle(tr("Importing document"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setCancelButton(nullptr);
    connect(
        &generator, &Domain::HashGenerator::progressChanged, &dialog, [&dialog, maximum](qint64 bytesRead) {
            dialog.setValue(int(std::min<qint64>(bytesRead / 1024, maximum)));
        });
    const QString hash = generator.generate(info.absoluteFilePath());
    dialog.setValue(maximum);
    return hash;
}

std::optional<bool> LibraryWidget::opensWithProgress(const QString &path)
{
    const QFileInfo info(path);
    // A file named at start-up was read already, most likely: no loop, no dialog for it.
    if (Backend::DocumentLoader::takeEarlyIfRead(info.absoluteFilePath())) {
        return true;
    }
    Backend::DocumentLoader loader;
    loader.setOutlineWanted(false);
    if (!loader.start(info.absoluteFilePath())) {
        return false;
    }
    // A book is laid out whole to count its pages, which takes seconds for a large one.
    QProgressDialog dialog(tr("Importing ") + info.absoluteFilePath(), tr("Cancel"), 0, 0, this);
    dialog.setWindowTitle(tr("Importing document"));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(500);
    dialog.setValue(0);
    QEventLoop loop;
    bool opens = false;
    connect(&loader, &Backend::DocumentLoader::finished, &loop,
        [&opens, &loop](const Backend::DocumentLoader::Result &result) {
            opens = bool(result.document);
            loop.quit();
        });
    connect(&dialog, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    loop.exec();
    if (dialog.wasCanceled()) {
        return std::nullopt;
    }
    return opens;
}

void LibraryWidget::refuseImport(const QString &path, const QString &reason)
{
    qWarning().noquote() << QStringLiteral("File '%1' could not be added:").arg(path) << reason;
    QMessageBox box(QMessageBox::Warning, tr("Warning"),
        tr("File '%1' could not be added to the library.").arg(path), QMessageBox::Ok, this);
    box.setInformativeText(reason + QLatin1Char(' ') + tr("The library is unchanged."));
    box.exec();
}

std::optional<int> LibraryWidget::addFile(const QString &path)
{
    // A database fault must not end the program in the middle of an import: it refuses this file.
    try {
        return importFile(path);
    } catch (const std::exception &error) {
        refuseImport(path, QString::fromLocal8Bit(error.what()));
        return -1;
    }
}

bool LibraryWidget::isDocumentFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        qInfo().noquote() << QStringLiteral("File '%1' not exist in open file").arg(path);
        QMessageBox::warning(this, tr("Warning"), tr("File '%1' not exists.").arg(path));
        return false;
    }
    if (Library::documentFormat(info.absoluteFilePath()) == Library::DocumentFormat::Unsupported) {
        refuseAsNoDocument(path);
        return false;
    }
    return true;
}

bool LibraryWidget::opensInReader(const QString &path)
{
    // A document must open in the reader: a book can look right inside and still be more than the
    // back-end can lay out.
    const std::optional<bool> opens = opensWithProgress(path);
    if (!opens) {
        qInfo().noquote() << QStringLiteral("Import of '%1' cancelled").arg(path);
        return false;
    }
    if (!*opens) {
        refuseAsNoDocument(path);
        return false;
    }
    return true;
}

void LibraryWidget::refuseAsNoDocument(const QString &path)
{
    qInfo().noquote() << QStringLiteral("File '%1' is not a valid PDF/EPUB file.").arg(path);
    QMessageBox::warning(this, tr("Warning"), tr("File '%1' is not a valid PDF/EPUB file.").arg(path));
}

QString LibraryWidget::fingerprintOrRefuse(const QString &path)
{
    const QString hash = hashWithProgress(path);
    if (hash.isEmpty()) {
        // An empty fingerprint would match every document that has none.
        qWarning().noquote() << QStringLiteral("File '%1' can't be read.").arg(path);
        QMessageBox::warning(this, tr("Warning"), tr("File '%1' can't be read.").arg(path));
    }
    return hash;
}

std::optional<int> LibraryWidget::importFile(const QString &path)
{
    if (!m_documents) {
        return std::nullopt;
    }
    const QFileInfo info(path);
    if (!isDocumentFile(path)) {
        return std::nullopt;
    }
    if (const std::optional<int> existing = documentIdForPath(path)) {
        return existing;
    }
    if (!opensInReader(path)) {
        return std::nullopt;
    }

    const QString hash = fingerprintOrRefuse(path);
    if (hash.isEmpty()) {
        return -1;
    }
    const QVector<Domain::Document> copies = m_documents->documentsWithHash(hash);
    if (!copies.isEmpty()) {
        for (const Domain::Document &copy : copies) {
            QMessageBox box(QMessageBox::Question, tr("Nodera Reader"),
                tr("Some documents existed with same content fingerprint."), QMessageBox::NoButton, this);
            box.setInformativeText(tr("Do you want to overwrite it?"));
            QPushButton *view = box.addButton(tr("View"), QMessageBox::ActionRole);
            QPushButton *overwrite = box.addButton(tr("Overwrite"), QMessageBox::ActionRole);
            box.addButton(QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Cancel);
            box.exec();
            if (box.clickedButton() == view) {
                selectDocument(copy.id());
            } else if (box.clickedButton() == overwrite) {
                return m_documents->changeFile(copy.id(), info, hash) ? copy.id() : -1;
            }
        }
        return -1;
    }

    const int id = m_documents->newDocument(hash, info.absoluteFilePath(), info.fileName());
    if (id <= 0) {
        // The file was checked above, so only the id counter can have refused.
        refuseImport(path,
            tr("The database gave no new id: its IdSource table is damaged or the database cannot be "
               "written."));
        return -1;
    }
    const QModelIndex category = m_tagTree ? m_tagTree->currentIndex() : QModelIndex();
    const int categoryId
        = category.isValid() && category.parent().isValid() ? category.data(LibraryRole::TagId).toInt() : 0;
    if (categoryId > 0) {
        try {
            m_categories->addItem(categoryId, id);
        } catch (const std::exception &error) {
            qWarning() << "Nod::Presentation::LibraryWidget::addFile" << error.what();
        }
    }
    return id;
}

void LibraryWidget::selectDocument(int documentId)
{
    loadModels();
    const int row = m_documentModel ? m_documentModel->rowOfDocument(documentId) : -1;
    if (row < 0) {
        return;
    }
    m_tagTree->setCurrentIndex(m_tagTreeModel->libraryIndex());
    m_shelfModel->clearFilterTags();
    setFullTextMode(false);
    m_searchLine->clear();
    const QModelIndex index = m_shelfModel->mapFromSource(m_documentModel->index(row, 0));
    m_shelf->setFocus(Qt::OtherFocusReason);
    m_shelf->scrollTo(index);
    m_shelf->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void LibraryWidget::open(int id)
{
    if (id <= 0 || !m_documents) {
        return;
    }
    if (const std::optional<Domain::Document> doc = m_documents->find(id)) {
        emit openFileRequested(*doc);
    }
}

void LibraryWidget::relocate(QModelIndex index)
{
    const int id = index.data(LibraryRole::DocumentId).toInt();
    if (id <= 0) {
        return;
    }
    auto *settings = Common::Infrastructure::Settings::instance();
    // The file dialog separates patterns by spaces; the translated filter keeps its stored form.
    const QString filter = tr("Documents(*.pdf;*.epub)").replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Relocate document"), settings->mainWindow.recentOpenFolder(), filter);
    if (file.isEmpty()) {
        return;
    }
    settings->mainWindow.setRecentOpenFolder(QFileInfo(file).absolutePath());
    relocateDocument(id, file);
}

void LibraryWidget::relocateDocument(int documentId, const QString &path)
{
    if (!m_documents || documentId <= 0) {
        return;
    }
    if (const std::optional<int> existing = documentIdForPath(path)) {
        QMessageBox::warning(this, tr("Document has existed"),
            tr("Document has existed in library, click OK to view this document."));
        selectDocument(*existing);
        return;
    }
    // The document is pointed only at a file the reader opens, as an import would be.
    if (!isDocumentFile(path) || !opensInReader(path)) {
        return;
    }
    const QString hash = fingerprintOrRefuse(path);
    if (hash.isEmpty()) {
        return;
    }
    try {
        m_documents->changeFile(documentId, QFileInfo(path), hash);
    } catch (const std::exception &error) {
        qWarning() << "Nod::Presentation::LibraryWidget::relocate" << error.what();
    }
}

void LibraryWidget::openFolder(QModelIndex index)
{
    const int id = index.data(LibraryRole::DocumentId).toInt();
    const std::optional<Domain::Document> doc = id > 0 && m_documents ? m_documents->find(id) : std::nullopt;
    if (!doc) {
        return;
    }
    const QString path = doc->localUrl();
    if (!QFileInfo::exists(path)) {
        qWarning().noquote() << QStringLiteral("File not exist when open folder, file path: ") + path;
        QMessageBox::information(this, tr("Information"),
            tr("Can't find: \"%1\". This file may be renamed, deleted or moved.").arg(path));
        return;
    }
    revealInFileManager(path);
}

void LibraryWidget::revealInFileManager(const QString &path)
{
    const QFileInfo info(path);
#ifdef Q_OS_WIN
    QProcess::startDetached(QStringLiteral("explorer"),
        { QStringLiteral("/select,"), QDir::toNativeSeparators(info.absoluteFilePath()) });
#else
    const QUrl folder = QUrl::fromLocalFile(info.absolutePath());
#ifdef NODERA_HAVE_DBUS
    // The freedesktop file-manager interface selects the file itself; without it, open its folder.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("ShowItems"));
        call << QStringList { QUrl::fromLocalFile(info.absoluteFilePath()).toString() } << QString();
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
        connect(
            watcher, &QDBusPendingCallWatcher::finished, this, [folder](QDBusPendingCallWatcher *finished) {
                if (finished->isError()) {
                    qInfo() << "Nod::Presentation::LibraryWidget::openFolder"
                            << "file manager call failed:" << finished->error().message();
                    QDesktopServices::openUrl(folder);
                }
                finished->deleteLater();
            });
        return;
    }
#endif
    QDesktopServices::openUrl(folder);
#endif
}

void LibraryWidget::on_tagBar_addTagRequested(QString names)
{
    const int documentId = detailDocumentId();
    if (documentId <= 0 || !m_categories) {
        return;
    }
    const QStringList parts = names.split(QRegularExpression(tr("\\,")));
    for (const QString &part : parts) {
        const QString name = part.trimmed();
        if (name.isEmpty()) {
            continue;
        }
        try {
            const QVector<Domain::Tag> found = m_categories->tagsWithName(name);
            if (found.isEmpty()) {
                const int id = m_categories->newTag(name, 0);
                if (id > 0) {
                    m_categories->addItem(id, documentId);
                }
            } else if (found.size() == 1) {
                m_categories->addItem(found.first().id(), documentId);
            } else {
                QMessageBox::information(this, tr("Nodera Reader"),
                    tr("There're %1 tags with name: %2.You should drag and drop to add tags")
                        .arg(found.size())
                        .arg(name));
            }
        } catch (const std::exception &error) {
            qWarning() << "Nod::Presentation::LibraryWidget::on_tagBar_addTagRequested" << error.what();
        }
    }
}

QByteArray LibraryWidget::saveState()
{
    if (!m_documentModel && !m_pendingState.isEmpty()) {
        return m_pendingState;
    }
    buildContents();
    QList<int> expanded;
    if (m_tagTreeModel) {
        QVector<QModelIndex> pending { m_tagTreeModel->libraryIndex() };
        while (!pending.isEmpty()) {
            const QModelIndex index = pending.takeLast();
            if (!m_tagTree->isExpanded(index)) {
                continue;
            }
            expanded.append(m_tagTreeModel->tagIdAt(index));
            for (int row = 0; row < m_tagTreeModel->rowCount(index); ++row) {
                pending.append(m_tagTreeModel->index(row, 0, index));
            }
        }
    }
    QByteArray state;
    QDataStream stream(&state, QIODevice::WriteOnly);
    stream << StateMagic << StateVersion << m_splitter->saveState()
           << m_shelf->horizontalHeader()->saveState() << expanded;
    return state;
}

bool LibraryWidget::restoreState(const QByteArray &state)
{
    if (m_documentModel) {
        return applyState(state);
    }
    // The shelf's header has its columns only with the model: check now, apply with the lists.
    QDataStream stream(state);
    quint32 magic = 0;
    qint32 version = 0;
    stream >> magic >> version;
    if (stream.status() != QDataStream::Ok || magic != StateMagic || version != StateVersion) {
        return false;
    }
    m_pendingState = state;
    return true;
}

bool LibraryWidget::applyState(const QByteArray &state)
{
    QDataStream stream(state);
    quint32 magic = 0;
    qint32 version = 0;
    QByteArray splitter;
    QByteArray header;
    QList<int> expanded;
    stream >> magic >> version >> splitter >> header >> expanded;
    if (stream.status() != QDataStream::Ok || magic != StateMagic || version != StateVersion) {
        return false;
    }
    bool ok = m_splitter->restoreState(splitter);
    ok = m_shelf->horizontalHeader()->restoreState(header) && ok;
    m_shelf->applySortIndicator();
    if (m_tagTreeModel) {
        for (int id : qAsConst(expanded)) {
            m_tagTree->expand(m_tagTreeModel->indexOfTag(id));
        }
    }
    return ok;
}

} // namespace Nod::Presentation
