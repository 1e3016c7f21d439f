// The library tab as a user meets it: notices, the category tree's dialogs, the tag bar, the
// overview editor, Open Folder on a missing file, removal from the keyboard and the saved layout.
#include "librarytestsupport.h"

#include <library/documentdetailwidget.h>
#include <library/documentmodel.h>
#include <library/filteredshelfmodel.h>
#include <library/libraryroles.h>
#include <library/librarywidget.h>
#include <library/overviewedit.h>
#include <library/shelfview.h>
#include <library/tagbar.h>
#include <library/tagtreemodel.h>
#include <library/tagtreeview.h>

#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>

using namespace Nod::Presentation;
using namespace LibraryTest;
using Nod::Application::DocumentService;
using Nod::Application::TagService;

class LibraryWidgetTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    std::unique_ptr<LibraryWidget> m_library;
    QList<BoxAnswer> m_boxes;

    DocumentService *documents() const { return m_fixture->registry()->documentService(); }
    TagService *categories() const { return m_fixture->registry()->categoryService(); }

    void build()
    {
        m_library = showLibrary(*m_fixture);
        QVERIFY(m_library);
    }

    void selectInShelf(int documentId)
    {
        m_library->selectDocument(documentId);
        QCOMPARE(m_library->shelfView()->currentIndex().data(LibraryRole::DocumentId).toInt(), documentId);
    }

    // Answers the next name prompt with `name`.
    static void answerName(const QString &name)
    {
        whenModal([name](QWidget *modal) {
            auto *dialog = qobject_cast<QInputDialog *>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            dialog->setTextValue(name);
            dialog->accept();
        });
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_boxes.clear();
    }
    void cleanup()
    {
        m_library.reset();
        m_fixture.reset();
    }

    void noticesForAnEmptyLibraryAndForNothingFound()
    {
        build();
        ShelfView *shelf = m_library->shelfView();
        QVERIFY(shelf->isNoticeShown());
        QCOMPARE(shelf->noticeTitle(), QStringLiteral("The library is empty."));
        QCOMPARE(shelf->noticeText(),
            QStringLiteral("Open a document, then you can grasp the key point and take notes"));
        QSignalSpy addFiles(m_library.get(), &LibraryWidget::addFilesRequested);
        auto *button = shelf->findChild<QPushButton *>(QStringLiteral("noticeAddFiles"));
        QVERIFY(button && button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(addFiles.count(), 1);

        const int doc = addDocument(*m_fixture, QStringLiteral("Gardening"));
        QVERIFY(!shelf->isNoticeShown());

        QTest::keyClicks(m_library->searchLine(), QStringLiteral("zzz"));
        QVERIFY(shelf->isNoticeShown());
        QCOMPARE(shelf->noticeTitle(), QStringLiteral("Can't find document with title that contains 'zzz'"));
        QVERIFY(!button->isVisible());

        const int empty = categories()->newTag(QStringLiteral("Empty"), 0);
        m_library->tagTreeView()->setCurrentIndex(m_library->tagTreeModel()->indexOfTag(empty));
        QCOMPARE(m_library->shelfModel()->filterTags(), QSet<int> { empty });
        QCOMPARE(shelf->noticeTitle(),
            QStringLiteral("Can't find document with title that contains 'zzz' in current categoreis"));
        m_library->searchLine()->clear();
        QCOMPARE(shelf->noticeTitle(), QStringLiteral("Can't find document in current categories"));

        // Filing the document into the selected category brings the table back.
        QVERIFY(categories()->addItem(empty, doc));
        QVERIFY(!shelf->isNoticeShown());
        m_library->tagTreeView()->setCurrentIndex(m_library->tagTreeModel()->libraryIndex());
        QVERIFY(m_library->shelfModel()->filterTags().isEmpty());
    }

    void creatingCategoriesRefusesADuplicateAtTheSameLevel()
    {
        build();
        TagTreeView *tree = m_library->tagTreeView();
        tree->setCurrentIndex(m_library->tagTreeModel()->libraryIndex());
        answerName(QStringLiteral("  Books "));
        tree->createTag();
        QCOMPARE(categories()->tagsWithName(QStringLiteral("Books")).size(), 1);
        const int books = categories()->tagsWithName(QStringLiteral("Books")).first().id();
        QCOMPARE(categories()->tag(books).parentId(), 0);

        answerName(QStringLiteral("Books"));
        answerBox(QStringLiteral("OK"), &m_boxes);
        tree->createTag();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().title, QStringLiteral("Nodera Reader"));
        QCOMPARE(m_boxes.first().text, QStringLiteral("Tag \"Books\" has exists."));
        QCOMPARE(categories()->tagsWithName(QStringLiteral("Books")).size(), 1);

        // The same name one level down is another category; a blank answer creates nothing.
        tree->setCurrentIndex(m_library->tagTreeModel()->indexOfTag(books));
        answerName(QStringLiteral("Books"));
        tree->createTag();
        QCOMPARE(categories()->tagsWithName(QStringLiteral("Books")).size(), 2);
        QVERIFY(tree->isExpanded(m_library->tagTreeModel()->indexOfTag(books)));
        answerName(QStringLiteral("   "));
        tree->createTag();
        QCOMPARE(categories()->tags().size(), 2);

        // Renaming to a sibling's name is refused the same way.
        const int novels = categories()->newTag(QStringLiteral("Novels"), 0);
        tree->setCurrentIndex(m_library->tagTreeModel()->indexOfTag(novels));
        answerName(QStringLiteral("Books"));
        answerBox(QStringLiteral("OK"), &m_boxes);
        tree->renameTag();
        QCOMPARE(categories()->tag(novels).name(), QStringLiteral("Novels"));
        answerName(QStringLiteral("Fiction"));
        tree->renameTag();
        QCOMPARE(categories()->tag(novels).name(), QStringLiteral("Fiction"));

        // Deleting asks first.
        answerBox(QStringLiteral("No"), &m_boxes);
        tree->deleteTag();
        QVERIFY(categories()->find(novels));
        answerBox(QStringLiteral("Yes"), &m_boxes);
        tree->deleteTag();
        QVERIFY(!categories()->find(novels));
        QCOMPARE(m_boxes.last().text, QStringLiteral("Are you sure you want to remove \"Fiction\" ?"));
    }

    void tagBarFilesTheDocumentUnderEachName()
    {
        const int doc = addDocument(*m_fixture, QStringLiteral("Doc"));
        const int existing = categories()->newTag(QStringLiteral("b"), 0);
        build();
        selectInShelf(doc);
        DocumentDetailWidget *detail = m_library->detailWidget();
        QVERIFY(detail->isShowingDocument());
        QCOMPARE(detail->documentId(), doc);

        TagEdit *edit = detail->tagBar()->edit();
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("a, b,  ,"));
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(edit->text().isEmpty());
        const QVector<Nod::Domain::Tag> named = categories()->tagsWithName(QStringLiteral("a"));
        QCOMPARE(named.size(), 1);
        QCOMPARE(named.first().parentId(), 0);
        QVERIFY(named.first().items().contains(doc));
        QVERIFY(categories()->tag(existing).items().contains(doc));
        QCOMPARE(categories()->tags().size(), 2);
        QCOMPARE(detail->tagBar()->tags(), (QStringList { QStringLiteral("a"), QStringLiteral("b") }));

        // A name shared by two categories is not guessed.
        categories()->newTag(QStringLiteral("twice"), 0);
        categories()->newTag(QStringLiteral("twice"), existing);
        answerBox(QStringLiteral("OK"), &m_boxes);
        m_library->on_tagBar_addTagRequested(QStringLiteral("twice"));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().text,
            QStringLiteral("There're 2 tags with name: twice.You should drag and drop to add tags"));
        QCOMPARE(categories()->tagsOfDocument(doc).size(), 2);
    }

    void overviewIsSavedWhenEditingEnds()
    {
        const int doc = addDocument(*m_fixture, QStringLiteral("Doc"));
        build();
        selectInShelf(doc);
        OverviewEdit *overview = m_library->detailWidget()->overviewEdit();
        QCOMPARE(overview->placeholderText(), QStringLiteral("Click here to add overview"));
        QSignalSpy changed(documents(), &DocumentService::overviewChanged);
        overview->setFocus();
        QTest::keyClicks(overview, QStringLiteral("A book about roses"));
        m_library->searchLine()->setFocus();
        QCOMPARE(documents()->document(doc).overview(), QStringLiteral("A book about roses"));
        QCOMPARE(changed.count(), 1);
        // Leaving again without a change writes nothing.
        overview->setFocus();
        m_library->searchLine()->setFocus();
        QCOMPARE(changed.count(), 1);
    }

    void openFolderOnAMissingFileTellsTheUser()
    {
        const int doc = addDocument(*m_fixture, QStringLiteral("Lost"));
        const QString path = documents()->document(doc).localUrl();
        QVERIFY(QFile::remove(path));
        build();
        TestSupport::LogCapture log;
        answerBox(QStringLiteral("OK"), &m_boxes);
        const QModelIndex index
            = m_library->documentModel()->index(m_library->documentModel()->rowOfDocument(doc), 0);
        m_library->openFolder(index);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().title, QStringLiteral("Information"));
        QCOMPARE(m_boxes.first().text,
            QStringLiteral("Can't find: \"%1\". This file may be renamed, deleted or moved.").arg(path));
        QVERIFY(log.contains(QStringLiteral("File not exist when open folder, file path: ") + path));
    }

    void deleteKeyRemovesSelectedDocumentsAfterAsking()
    {
        const int keep = addDocument(*m_fixture, QStringLiteral("keep"));
        const int gone = addDocument(*m_fixture, QStringLiteral("gone"));
        build();
        selectInShelf(gone);
        answerBox(QStringLiteral("No"), &m_boxes);
        QTest::keyClick(m_library->shelfView(), Qt::Key_Delete);
        QVERIFY(documents()->find(gone));
        answerBox(QStringLiteral("Yes"), &m_boxes);
        QTest::keyClick(m_library->shelfView(), Qt::Key_Delete);
        QVERIFY(!documents()->find(gone));
        QVERIFY(documents()->find(keep));
        QCOMPARE(m_library->shelfModel()->rowCount(), 1);
    }

    void tabMadeWhenFirstShownShowsEverything()
    {
        const int roses = addDocument(*m_fixture, QStringLiteral("Roses"));
        addDocument(*m_fixture, QStringLiteral("Tulips"));
        const int garden = categories()->newTag(QStringLiteral("Garden"), 0);
        // As a start that opens a document makes the tab: services given, not shown.
        m_library = std::make_unique<LibraryWidget>();
        m_library->setServices(categories(), documents(), m_fixture->registry()->noteService());
        QVERIFY(m_library->findChildren<QWidget *>().isEmpty());
        // Changes made before the tab is made are in it when it is.
        QVERIFY(categories()->addItem(garden, roses));
        QVERIFY(documents()->changeTitle(roses, QStringLiteral("Old roses")));

        m_library->resize(1000, 600);
        m_library->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_library.get()));
        QTRY_VERIFY(m_library->findChild<ShelfView *>());
        auto *shelf = m_library->findChild<ShelfView *>();
        QTRY_COMPARE(shelf->model()->rowCount(), 2);
        QVERIFY(shelf->isVisible());
        auto *tree = m_library->findChild<TagTreeView *>(QStringLiteral("Category"));
        QVERIFY(tree && tree->isVisible());
        QVERIFY(m_library->tagTreeModel()->indexOfTag(garden).isValid());
        QVERIFY(m_library->findChild<QWidget *>(QStringLiteral("noDocumentLabel"))->isVisible());
        auto *search = m_library->findChild<QLineEdit *>(QStringLiteral("searchLine"));
        QVERIFY(search && search->isVisible());
        QCOMPARE(search->placeholderText(), QStringLiteral("Search ..."));
        QVERIFY(m_library->findChild<QPushButton *>(QStringLiteral("addFiles"))->isVisible());

        // The filed, renamed document shows with its category once chosen.
        tree->setCurrentIndex(m_library->tagTreeModel()->indexOfTag(garden));
        QTRY_COMPARE(shelf->model()->rowCount(), 1);
        shelf->setCurrentIndex(shelf->model()->index(0, 0));
        QCOMPARE(m_library->findChild<QLabel *>(QStringLiteral("detailTitle"))->text(),
            QStringLiteral("Old roses"));
        QCOMPARE(m_library->detailWidget()->tagBar()->tags(), QStringList { QStringLiteral("Garden") });
        tree->setCurrentIndex(m_library->tagTreeModel()->libraryIndex());

        // The search line's clear button takes the search word away again.
        search->setFocus();
        QTest::keyClicks(search, QStringLiteral("zzz"));
        QTRY_VERIFY(shelf->isNoticeShown());
        QToolButton *clear = nullptr;
        const QList<QToolButton *> buttons = search->findChildren<QToolButton *>();
        for (QToolButton *button : buttons) {
            if (button->isVisible()) {
                clear = button;
            }
        }
        QVERIFY(clear);
        QTest::mouseClick(clear, Qt::LeftButton);
        QVERIFY(search->text().isEmpty());
        QVERIFY(!shelf->isNoticeShown());
        QCOMPARE(shelf->model()->rowCount(), 2);
    }

    void layoutStateRoundTrips()
    {
        addDocument(*m_fixture, QStringLiteral("x"));
        const int parent = categories()->newTag(QStringLiteral("parent"), 0);
        categories()->newTag(QStringLiteral("child"), parent);
        build();
        QHeaderView *header = m_library->shelfView()->horizontalHeader();
        header->setSortIndicator(DocumentModel::TitleColumn, Qt::AscendingOrder);
        header->resizeSection(DocumentModel::FilePathColumn, 77);
        m_library->tagTreeView()->expand(m_library->tagTreeModel()->indexOfTag(parent));
        const QByteArray state = m_library->saveState();

        build();
        QVERIFY(!m_library->tagTreeView()->isExpanded(m_library->tagTreeModel()->indexOfTag(parent)));
        // Newest first before any saved layout.
        QCOMPARE(m_library->shelfModel()->sortColumn(), int(DocumentModel::AddedAtColumn));
        QCOMPARE(m_library->shelfModel()->sortOrder(), Qt::DescendingOrder);
        QVERIFY(!m_library->restoreState(QByteArray("garbage")));
        QVERIFY(!m_library->restoreState(QByteArray()));
        QCOMPARE(m_library->shelfView()->horizontalHeader()->sortIndicatorSection(),
            int(DocumentModel::AddedAtColumn));
        QVERIFY(m_library->restoreState(state));
        header = m_library->shelfView()->horizontalHeader();
        QCOMPARE(header->sortIndicatorSection(), int(DocumentModel::TitleColumn));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(m_library->shelfModel()->sortColumn(), int(DocumentModel::TitleColumn));
        QCOMPARE(m_library->shelfModel()->sortOrder(), Qt::AscendingOrder);
        QCOMPARE(header->sectionSize(DocumentModel::FilePathColumn), 77);
        QVERIFY(m_library->tagTreeView()->isExpanded(m_library->tagTreeModel()->indexOfTag(parent)));

        // A start that opens a document fills the lists later: a layout restored before is kept
        // whole if the program ends first, and applied when the lists come.
        m_library = std::make_unique<LibraryWidget>();
        m_library->setServices(categories(), documents(), m_fixture->registry()->noteService());
        QVERIFY(!m_library->restoreState(QByteArray("garbage")));
        QVERIFY(m_library->restoreState(state));
        QCOMPARE(m_library->saveState(), state);
        m_library->resize(1000, 600);
        m_library->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_library.get()));
        QTRY_COMPARE(m_library->shelfView()->model()->rowCount(), 1);
        header = m_library->shelfView()->horizontalHeader();
        QCOMPARE(header->sortIndicatorSection(), int(DocumentModel::TitleColumn));
        QCOMPARE(header->sectionSize(DocumentModel::FilePathColumn), 77);
        QVERIFY(m_library->tagTreeView()->isExpanded(m_library->tagTreeModel()->indexOfTag(parent)));
    }
};

QTEST_MAIN(LibraryWidgetTest)
#include "tst_librarywidget.moc"
