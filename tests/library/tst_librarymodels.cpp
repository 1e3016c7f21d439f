// The library's models over real services and a real database: columns and roles, the two
// drag-and-drop formats, removal of rows, the category tree, filter and search.
#include "librarytestsupport.h"

#include <library/documentmodel.h>
#include <library/filteredshelfmodel.h>
#include <library/idlistmime.h>
#include <library/libraryroles.h>
#include <library/tagtreemodel.h>

#include <QAbstractItemModelTester>
#include <QMimeData>

using namespace Nod::Presentation;
using namespace LibraryTest;
using Nod::Application::DocumentService;
using Nod::Application::NoteService;
using Nod::Application::TagService;

class LibraryModelsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    DocumentService *documents() const { return m_fixture->registry()->documentService(); }
    NoteService *notes() const { return m_fixture->registry()->noteService(); }
    TagService *categories() const { return m_fixture->registry()->categoryService(); }

    std::unique_ptr<DocumentModel> documentModel()
    {
        return std::make_unique<DocumentModel>(documents(), notes(), categories());
    }

    static QStringList titles(const QAbstractItemModel &model)
    {
        QStringList result;
        for (int row = 0; row < model.rowCount(); ++row) {
            result << model.index(row, 0).data().toString();
        }
        result.sort();
        return result;
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
    }
    void cleanup() { m_fixture.reset(); }

    void columnsAndRoles()
    {
        const int plain = addDocument(*m_fixture, QStringLiteral("Plain"));
        const int filed = addDocument(*m_fixture, QStringLiteral("Filed"));
        const int zebra = categories()->newTag(QStringLiteral("zebra"), 0);
        const int apple = categories()->newTag(QStringLiteral("Apple"), 0);
        QVERIFY(categories()->addItem(zebra, filed));
        QVERIFY(categories()->addItem(apple, filed));
        const int node = m_fixture->appendNode(filed, notes()->documentNote(filed).id());
        m_fixture->appendNode(filed, node);

        auto model = documentModel();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->columnCount(), 6);
        const int plainRow = model->rowOfDocument(plain);
        const int filedRow = model->rowOfDocument(filed);
        QCOMPARE(model->index(plainRow, 1).data().toInt(), 0);
        QCOMPARE(model->index(filedRow, 1).data().toInt(), 2);
        QCOMPARE(model->index(plainRow, 2).data().toString(), QString());
        QCOMPARE(model->index(filedRow, 2).data().toString(), QStringLiteral("Apple,zebra"));
        const Nod::Domain::Document doc = documents()->document(filed);
        QCOMPARE(model->index(filedRow, 0).data().toString(), QStringLiteral("Filed"));
        QCOMPARE(model->index(filedRow, 3).data().toDateTime(), doc.addedAt());
        QCOMPARE(model->index(filedRow, 5).data().toString(), doc.localUrl());
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(model->index(filedRow, column).data(Qt::ToolTipRole).toString(), doc.localUrl());
            QCOMPARE(model->index(filedRow, column).data(LibraryRole::DocumentId).toInt(), filed);
            QCOMPARE(model->index(filedRow, column).data(Qt::TextAlignmentRole).toInt(),
                column == 0 ? 0x81 : 0x84);
            QVERIFY(model->flags(model->index(filedRow, column)) & Qt::ItemIsDragEnabled);
            QCOMPARE(bool(model->flags(model->index(filedRow, column)) & Qt::ItemIsEditable), column == 0);
        }
        QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Last Readed At"));
        QVERIFY(!model->headerData(0, Qt::Vertical).isValid());

        // Editing the title goes through the service; an empty one is refused there.
        QVERIFY(model->setData(model->index(filedRow, 0), QStringLiteral("Renamed")));
        QCOMPARE(documents()->document(filed).title(), QStringLiteral("Renamed"));
        QCOMPARE(model->index(filedRow, 0).data().toString(), QStringLiteral("Renamed"));
        QVERIFY(!model->setData(model->index(filedRow, 0), QString()));
        QVERIFY(!model->setData(model->index(filedRow, 1), 7));
    }

    // The testers watch all three models while documents, categories and annotations change.
    void modelsStayConsistentWhileServicesChange()
    {
        const int first = addDocument(*m_fixture, QStringLiteral("First"));
        const int parent = categories()->newTag(QStringLiteral("Parent"), 0);
        auto model = documentModel();
        FilteredShelfModel shelf(categories());
        shelf.setSourceModel(model.get());
        TagTreeModel tree(categories());
        QAbstractItemModelTester documentTester(
            model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester shelfTester(&shelf, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester treeTester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        shelf.sort(0);

        const int second = addDocument(*m_fixture, QStringLiteral("second"));
        const int third = addDocument(*m_fixture, QStringLiteral("Third"));
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(shelf.rowCount(), 3);
        QVERIFY(documents()->changeTitle(first, QStringLiteral("Zeroth")));
        QCOMPARE(shelf.index(2, 0).data().toString(), QStringLiteral("Zeroth"));
        const QString moved = m_fixture->makeFile(QStringLiteral("moved.pdf"));
        QVERIFY(documents()->changeFile(second, QFileInfo(moved), hashOf(QStringLiteral("moved"))));
        QCOMPARE(model->index(model->rowOfDocument(second), 5).data().toString(), moved);
        QVERIFY(!model->index(model->rowOfDocument(second), 4).data().toDateTime().isValid());
        QSignalSpy cellChanged(model.get(), &QAbstractItemModel::dataChanged);
        Nod::Domain::LastRead lastRead;
        lastRead.setPageIndex(12);
        QVERIFY(documents()->changeLastRead(second, lastRead));
        QVERIFY(model->index(model->rowOfDocument(second), 4).data().toDateTime().isValid());
        QCOMPARE(cellChanged.count(), 1);
        QCOMPARE(cellChanged.at(0).at(0).toModelIndex(), model->index(model->rowOfDocument(second), 4));

        const int root = notes()->documentNote(third).id();
        const int node = m_fixture->appendNode(third, root);
        QCOMPARE(model->index(model->rowOfDocument(third), 1).data().toInt(), 1);
        notes()->handle(Nod::Application::RemoveRequest { 0, root });
        Q_UNUSED(node);
        QCOMPARE(model->index(model->rowOfDocument(third), 1).data().toInt(), 0);

        const int child = categories()->newTag(QStringLiteral("Child"), parent);
        const int other = categories()->newTag(QStringLiteral("Other"), 0);
        QCOMPARE(tree.rowCount(tree.indexOfTag(parent)), 1);
        QVERIFY(categories()->addItem(child, third));
        QCOMPARE(tree.indexOfTag(child).data().toString(), QStringLiteral("Child  (1)"));
        QCOMPARE(tree.indexOfTag(child).data(LibraryRole::DocumentCount).toInt(), 1);
        QCOMPARE(tree.indexOfTag(child).data(LibraryRole::TagName).toString(), QStringLiteral("Child"));
        QCOMPARE(tree.indexOfTag(child).data(LibraryRole::TagId).toInt(), child);
        QCOMPARE(model->index(model->rowOfDocument(third), 2).data().toString(), QStringLiteral("Child"));
        QVERIFY(categories()->move(child, other));
        QCOMPARE(tree.indexOfTag(child).parent(), tree.indexOfTag(other));
        QCOMPARE(tree.rowCount(tree.indexOfTag(parent)), 0);
        QVERIFY(categories()->changeTagName(child, QStringLiteral("Renamed")));
        QCOMPARE(model->index(model->rowOfDocument(third), 2).data().toString(), QStringLiteral("Renamed"));
        QVERIFY(categories()->removeItem(child, third));
        QCOMPARE(tree.indexOfTag(child).data().toString(), QStringLiteral("Renamed"));
        QVERIFY(categories()->remove(child));
        QVERIFY(!tree.indexOfTag(child).isValid());
        QCOMPARE(tree.rowCount(tree.indexOfTag(other)), 0);

        shelf.setSearchWord(QStringLiteral("t"));
        QCOMPARE(shelf.rowCount(), 2);
        QVERIFY(documents()->remove(third));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(shelf.rowCount(), 1);
        QCOMPARE(model->rowOfDocument(third), -1);
        QCOMPARE(model->documentIdAt(model->rowOfDocument(second)), second);
    }

    void categoryTreeFollowsTheStoredHierarchy()
    {
        const int top = categories()->newTag(QStringLiteral("Top"), 0);
        const int middle = categories()->newTag(QStringLiteral("Middle"), top);
        const int leaf = categories()->newTag(QStringLiteral("Leaf"), middle);
        TagTreeModel tree(categories());
        QCOMPARE(tree.rowCount(), 1);
        const QModelIndex library = tree.libraryIndex();
        QVERIFY(!library.data(LibraryRole::TagId).isValid());
        QCOMPARE(tree.rowCount(library), 1);
        QCOMPARE(tree.indexOfTag(leaf).parent().parent(), tree.indexOfTag(top));
        QVERIFY(tree.hasChildNamed(tree.indexOfTag(top), QStringLiteral("Middle")));
        QVERIFY(!tree.hasChildNamed(tree.indexOfTag(top), QStringLiteral("middle")));
        QVERIFY(!tree.hasChildNamed(tree.indexOfTag(top), QStringLiteral("Middle"), tree.indexOfTag(middle)));
        QVERIFY(!tree.hasChildNamed(library, QStringLiteral("Middle")));

        const QModelIndex created = tree.createCategory(library, QStringLiteral("Second"));
        QVERIFY(created.isValid());
        QCOMPARE(created.parent(), library);
        QCOMPARE(categories()->tag(tree.tagIdAt(created)).parentId(), 0);
        QVERIFY(!tree.createCategory(library, QString()).isValid());

        QVERIFY(tree.setData(tree.indexOfTag(leaf), QStringLiteral("  Foliage ")));
        QCOMPARE(categories()->tag(leaf).name(), QStringLiteral("Foliage"));
        QVERIFY(!tree.setData(library, QStringLiteral("x")));
    }

    void dragFormatsAreByteExact()
    {
        const int a = addDocument(*m_fixture, QStringLiteral("a"));
        const int b = addDocument(*m_fixture, QStringLiteral("b"));
        const int tag = categories()->newTag(QStringLiteral("T"), 0);
        auto model = documentModel();

        // Two cells of one row and one of another: each document once.
        const int rowA = model->rowOfDocument(a);
        const int rowB = model->rowOfDocument(b);
        std::unique_ptr<QMimeData> data(
            model->mimeData({ model->index(rowA, 0), model->index(rowA, 3), model->index(rowB, 1) }));
        QCOMPARE(data->formats(), QStringList { QStringLiteral("application/NoderaReader.Document.List") });
        const QByteArray bytes = data->data(QStringLiteral("application/NoderaReader.Document.List"));
        QCOMPARE(bytes.size(), 12);
        QCOMPARE(bytes.left(4), QByteArray::fromHex("00000002"));
        QByteArray forA(4, 0), forB(4, 0);
        qToBigEndian<qint32>(a, forA.data());
        qToBigEndian<qint32>(b, forB.data());
        QVERIFY(bytes.mid(4) == forA + forB || bytes.mid(4) == forB + forA);
        QCOMPARE(model->mimeTypes(), QStringList { QStringLiteral("application/NoderaReader.Tag.List") });

        TagTreeModel tree(categories());
        std::unique_ptr<QMimeData> tags(tree.mimeData({ tree.indexOfTag(tag), tree.libraryIndex() }));
        QByteArray expected = QByteArray::fromHex("00000001") + QByteArray(4, 0);
        qToBigEndian<qint32>(tag, expected.data() + 4);
        QCOMPARE(tags->data(QStringLiteral("application/NoderaReader.Tag.List")), expected);

        QCOMPARE(IdListMime::decode(expected), QVector<int> { tag });
        QCOMPARE(IdListMime::decode(QByteArray::fromHex("00000000")), QVector<int>());
        // A count that promises more ids than there are bytes gives nothing, not a partial list.
        QCOMPARE(IdListMime::decode(QByteArray::fromHex("00000002000000070000")), QVector<int>());
        QCOMPARE(IdListMime::decode(QByteArray::fromHex("ffffffff00000007")), QVector<int>());
        QCOMPARE(IdListMime::decode(QByteArray::fromHex("0000")), QVector<int>());
    }

    void droppingCategoriesOnTheShelfFilesUnderTheFirstOnly()
    {
        const int doc = addDocument(*m_fixture, QStringLiteral("doc"));
        const int first = categories()->newTag(QStringLiteral("first"), 0);
        const int second = categories()->newTag(QStringLiteral("second"), 0);
        auto model = documentModel();
        QMimeData data;
        data.setData(IdListMime::tagListFormat(), IdListMime::encode({ first, second }));
        const int row = model->rowOfDocument(doc);
        QVERIFY(!model->dropMimeData(&data, Qt::CopyAction, -1, -1, QModelIndex()));
        QVERIFY(model->canDropMimeData(&data, Qt::CopyAction, -1, -1, model->index(row, 2)));
        QVERIFY(model->dropMimeData(&data, Qt::CopyAction, -1, -1, model->index(row, 2)));
        QVERIFY(categories()->tag(first).items().contains(doc));
        QVERIFY(!categories()->tag(second).items().contains(doc));

        QMimeData empty;
        empty.setData(IdListMime::tagListFormat(), IdListMime::encode({}));
        QVERIFY(!model->dropMimeData(&empty, Qt::CopyAction, row, 0, QModelIndex()));
    }

    void droppingOnTheCategoryTree()
    {
        const int d1 = addDocument(*m_fixture, QStringLiteral("d1"));
        const int d2 = addDocument(*m_fixture, QStringLiteral("d2"));
        const int a = categories()->newTag(QStringLiteral("a"), 0);
        const int b = categories()->newTag(QStringLiteral("b"), 0);
        const int aChild = categories()->newTag(QStringLiteral("a1"), a);
        TagTreeModel tree(categories());
        QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QMimeData two;
        two.setData(IdListMime::tagListFormat(), IdListMime::encode({ a, b }));
        QVERIFY(!tree.dropMimeData(&two, Qt::MoveAction, -1, 0, tree.indexOfTag(b)));
        QCOMPARE(categories()->tag(a).parentId(), 0);

        QMimeData one;
        one.setData(IdListMime::tagListFormat(), IdListMime::encode({ a }));
        QVERIFY(!tree.canDropMimeData(&one, Qt::MoveAction, -1, 0, tree.indexOfTag(aChild)));
        QVERIFY(!tree.dropMimeData(&one, Qt::MoveAction, -1, 0, tree.indexOfTag(aChild)));
        QVERIFY(!tree.dropMimeData(&one, Qt::MoveAction, -1, 0, tree.indexOfTag(a)));
        QVERIFY(!tree.dropMimeData(&one, Qt::LinkAction, -1, 0, tree.indexOfTag(b)));
        QVERIFY(tree.canDropMimeData(&one, Qt::MoveAction, -1, 0, tree.indexOfTag(b)));
        QVERIFY(tree.dropMimeData(&one, Qt::MoveAction, -1, 0, tree.indexOfTag(b)));
        QCOMPARE(categories()->tag(a).parentId(), b);
        QCOMPARE(tree.indexOfTag(aChild).parent().parent(), tree.indexOfTag(b));
        // Back to the top through the library item.
        QVERIFY(tree.dropMimeData(&one, Qt::CopyAction, -1, 0, tree.libraryIndex()));
        QCOMPARE(categories()->tag(a).parentId(), 0);

        QMimeData docs;
        docs.setData(IdListMime::documentListFormat(), IdListMime::encode({ d1, d2 }));
        QVERIFY(!tree.dropMimeData(&docs, Qt::CopyAction, -1, 0, tree.libraryIndex()));
        QVERIFY(tree.dropMimeData(&docs, Qt::CopyAction, -1, 0, tree.indexOfTag(aChild)));
        QCOMPARE(categories()->tag(aChild).items(), (QSet<int> { d1, d2 }));
        QCOMPARE(tree.indexOfTag(aChild).data().toString(), QStringLiteral("a1  (2)"));
    }

    void removingAdjacentRowsRemovesEverythingOfThoseDocuments()
    {
        const int keep = addDocument(*m_fixture, QStringLiteral("keep"));
        const int gone1 = addDocument(*m_fixture, QStringLiteral("gone1"));
        const int gone2 = addDocument(*m_fixture, QStringLiteral("gone2"));
        const int tag = categories()->newTag(QStringLiteral("shared"), 0);
        for (int doc : { keep, gone1, gone2 }) {
            QVERIFY(categories()->addItem(tag, doc));
        }
        // gone1: root -> a -> (b, c), with images on a and c; gone2: root -> d.
        const int root1 = notes()->documentNote(gone1).id();
        const int a = m_fixture->appendNode(gone1, root1);
        m_fixture->appendNode(gone1, a);
        const int c = m_fixture->appendNode(gone1, a);
        m_fixture->addImage(a, Qt::red);
        m_fixture->addImage(c, Qt::green);
        m_fixture->appendNode(gone2, notes()->documentNote(gone2).id());
        const int kept = m_fixture->appendNode(keep, notes()->documentNote(keep).id());
        m_fixture->addImage(kept, Qt::blue);

        auto model = documentModel();
        QAbstractItemModelTester tester(model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(!model->removeRows(-1, 1));
        QVERIFY(!model->removeRows(0, 0));
        QVERIFY(!model->removeRows(2, 2));
        QVERIFY(!model->removeRows(0, 1, model->index(0, 0)));

        QCOMPARE(model->rowOfDocument(gone1), 1);
        QCOMPARE(model->rowOfDocument(gone2), 2);
        QVERIFY(model->removeRows(1, 2));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->documentIdAt(0), keep);
        QVERIFY(!documents()->find(gone1) && !documents()->find(gone2));
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM Annotation WHERE documentId IN (%1, %2)")
                          .arg(gone1)
                          .arg(gone2)),
            0);
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM Resource")), 1);
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM Annotation WHERE documentId = %1").arg(keep)), 2);
        QCOMPARE(categories()->tag(tag).items(), QSet<int> { keep });
        QCOMPARE(categories()->tagsOfDocument(gone1).size(), 0);
    }

    void removingACategoryTakesSubCategoriesAndMembershipsFirst()
    {
        const int doc = addDocument(*m_fixture, QStringLiteral("doc"));
        const int top = categories()->newTag(QStringLiteral("top"), 0);
        const int sub = categories()->newTag(QStringLiteral("sub"), top);
        const int subsub = categories()->newTag(QStringLiteral("subsub"), sub);
        const int sibling = categories()->newTag(QStringLiteral("sibling"), 0);
        QVERIFY(categories()->addItem(top, doc));
        QVERIFY(categories()->addItem(subsub, doc));
        QVERIFY(categories()->addItem(sibling, doc));
        TagTreeModel tree(categories());
        QAbstractItemModelTester tester(&tree, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QModelIndex topIndex = tree.indexOfTag(top);
        QVERIFY(tree.removeRows(topIndex.row(), 1, topIndex.parent()));
        for (int id : { top, sub, subsub }) {
            QVERIFY(!categories()->find(id));
            QVERIFY(!tree.indexOfTag(id).isValid());
        }
        QCOMPARE(categories()->tagsOfDocument(doc).size(), 1);
        QCOMPARE(tree.rowCount(tree.libraryIndex()), 1);
        QVERIFY(!tree.removeRows(0, 1));
        QVERIFY(documents()->find(doc));
    }

    void searchIsCaseInsensitiveAndFilterNarrowsToCategories()
    {
        const int report = addDocument(*m_fixture, QStringLiteral("Alpha Report"));
        const int alphabet = addDocument(*m_fixture, QStringLiteral("ALPHABET"));
        const int beta = addDocument(*m_fixture, QStringLiteral("beta"));
        const int books = categories()->newTag(QStringLiteral("books"), 0);
        const int papers = categories()->newTag(QStringLiteral("papers"), 0);
        QVERIFY(categories()->addItem(books, alphabet));
        QVERIFY(categories()->addItem(papers, beta));

        auto model = documentModel();
        FilteredShelfModel shelf(categories());
        shelf.setSourceModel(model.get());
        QAbstractItemModelTester tester(&shelf, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy wordSpy(&shelf, &FilteredShelfModel::searchWordChanged);
        QSignalSpy tagsSpy(&shelf, &FilteredShelfModel::tagsChanged);

        shelf.setSearchWord(QStringLiteral("alpha"));
        QCOMPARE(titles(shelf), (QStringList { QStringLiteral("ALPHABET"), QStringLiteral("Alpha Report") }));
        QCOMPARE(wordSpy.count(), 1);
        QCOMPARE(wordSpy.at(0).at(0).toString(), QStringLiteral("alpha"));

        shelf.setFilterTags({ books });
        QCOMPARE(titles(shelf), QStringList { QStringLiteral("ALPHABET") });
        QCOMPARE(tagsSpy.count(), 1);
        shelf.setSearchWord(QString());
        shelf.setFilterTags({ books, papers });
        QCOMPARE(titles(shelf), (QStringList { QStringLiteral("ALPHABET"), QStringLiteral("beta") }));

        // Membership changes reach the filter without setting it again.
        QVERIFY(categories()->addItem(books, report));
        QCOMPARE(shelf.rowCount(), 3);
        QVERIFY(categories()->removeItem(papers, beta));
        QCOMPARE(titles(shelf), (QStringList { QStringLiteral("ALPHABET"), QStringLiteral("Alpha Report") }));

        // A category that goes leaves the filter.
        QVERIFY(categories()->remove(papers));
        QCOMPARE(shelf.filterTags(), QSet<int> { books });
        QVERIFY(categories()->removeItem(books, alphabet));
        QVERIFY(categories()->removeItem(books, report));
        QCOMPARE(shelf.rowCount(), 0);
        QVERIFY(categories()->remove(books));
        QVERIFY(shelf.filterTags().isEmpty());
        QCOMPARE(shelf.rowCount(), 3);
        shelf.clearFilterTags();
        QCOMPARE(shelf.rowCount(), 3);
    }

    void sortingByEveryColumn()
    {
        const int b = addDocument(*m_fixture, QStringLiteral("b"));
        const int a = addDocument(*m_fixture, QStringLiteral("A"));
        const int c = addDocument(*m_fixture, QStringLiteral("c"));
        m_fixture->appendNode(c, notes()->documentNote(c).id());
        m_fixture->appendNode(c, notes()->documentNote(c).id());
        m_fixture->appendNode(a, notes()->documentNote(a).id());
        const int tag = categories()->newTag(QStringLiteral("x"), 0);
        QVERIFY(categories()->addItem(tag, b));
        auto model = documentModel();
        FilteredShelfModel shelf(categories());
        shelf.setSourceModel(model.get());
        auto order = [&] {
            QVector<int> ids;
            for (int row = 0; row < shelf.rowCount(); ++row) {
                ids << shelf.index(row, 0).data(LibraryRole::DocumentId).toInt();
            }
            return ids;
        };
        shelf.sort(0, Qt::AscendingOrder);
        QCOMPARE(order(), (QVector<int> { a, b, c }));
        shelf.sort(1, Qt::DescendingOrder);
        QCOMPARE(order(), (QVector<int> { c, a, b }));
        shelf.sort(2, Qt::DescendingOrder);
        QCOMPARE(order().first(), b);
        // A title change moves the row while the shelf stays sorted.
        shelf.sort(0, Qt::AscendingOrder);
        QVERIFY(documents()->changeTitle(a, QStringLiteral("zz")));
        QCOMPARE(order(), (QVector<int> { b, c, a }));
    }
};

QTEST_MAIN(LibraryModelsTest)
#include "tst_librarymodels.moc"
