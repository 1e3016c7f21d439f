#include "testsupport.h"

#include <infrastructure/database.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/resourcerepository.h>
#include <infrastructure/repositories/tablecheck.h>
#include <infrastructure/repositories/tagrepository.h>
#include <infrastructure/transaction.h>

#include <domain/metatypes.h>

#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace Nod::Infrastructure;
using namespace Nod::Domain;
using TestSupport::exec;
using TestSupport::scalar;

class RepositoriesTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        registerMetaTypes();
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(TestSupport::openMigrated(QDir(m_dir->path()).filePath(QStringLiteral("database"))));
    }
    void cleanup()
    {
        Database::close();
        m_dir.reset();
    }

    void document_roundTripsAndIgnoresOldColumns();
    void update_neverWritesTheKey();
    void annotation_roundTripsEncodedColumns();
    void documentNote_isUniquePerDocument();
    void removingDocument_removesItsAnnotations();
    void tags_queriesAndDescendants();
    void resources_singleResultRules();
    void nullBlobs_decodeToDefaults();
    void nextId_comesFromTheSharedCounter();
    void textBeginning_readsOnlyWhatIsAsked_cutAtACharacter_data();
    void textBeginning_readsOnlyWhatIsAsked_cutAtACharacter();
    void lookups_useIndexes_data();
    void lookups_useIndexes();

private:
    Document addDocument(int id, const QString &path);

    std::unique_ptr<QTemporaryDir> m_dir;
};

Document RepositoriesTest::addDocument(int id, const QString &path)
{
    DocumentRepository documents;
    Document document(id, QStringLiteral("Book %1").arg(id));
    document.setLocalUrl(path);
    document.setHash(QStringLiteral("%1").arg(id, 32, 10, QLatin1Char('0')));
    document.setAddedAt(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5, 6)));
    documents.insert(document);
    return document;
}

void RepositoriesTest::document_roundTripsAndIgnoresOldColumns()
{
    DocumentRepository documents;
    QVERIFY(documents.columns().contains(QStringLiteral("lastReadedPage")));
    Document document = addDocument(5, QStringLiteral("/books/five.pdf"));
    // Columns without a property keep what the migrations left there.
    exec(QStringLiteral("UPDATE documents SET lastReadedPage = 77, categories = 'x' WHERE id = 5"));

    LastRead lastRead;
    lastRead.setPageIndex(12);
    lastRead.setPosition(QPointF(3.5, 4.25));
    document.setLastRead(lastRead);
    document.setOverview(QStringLiteral("über"));
    document.setHided(true);
    document.setLastReadedAt(QDateTime(QDate(2021, 2, 3), QTime(4, 5, 6, 7)));
    QVERIFY(documents.update(document));
    QCOMPARE(
        scalar(QStringLiteral("SELECT lastReadedPage || categories FROM documents WHERE id = 5")).toString(),
        QStringLiteral("77x"));

    const auto found = documents.find(5);
    QVERIFY(found.has_value());
    QCOMPARE(found->title(), QStringLiteral("Book 5"));
    QCOMPARE(found->overview(), QStringLiteral("über"));
    QCOMPARE(found->hided(), true);
    QCOMPARE(found->lastRead(), lastRead);
    // Read alone (as a start does before the window) it is the same place.
    QCOMPARE(storedLastRead(QStringLiteral("/books/five.pdf")), std::optional<LastRead>(lastRead));
    QVERIFY(!storedLastRead(QStringLiteral("/books/none.pdf")));
    QCOMPARE(found->addedAt(), document.addedAt());
    QCOMPARE(found->lastReadedAt(), document.lastReadedAt());
    QVERIFY(!documents.find(6).has_value());

    addDocument(6, QStringLiteral("/books/six.pdf"));
    QCOMPARE(documents.findAll().size(), 2);
    QCOMPARE(documents.findByLocalUrl(QStringLiteral("/books/six.pdf")).value(0).id(), 6);
    QCOMPARE(documents.findByHash(document.hash()).value(0).id(), 5);
    QVERIFY(documents.findByLocalUrl(QStringLiteral("/books/seven.pdf")).isEmpty());
    // A path that looks like SQL is only ever a bound value.
    QVERIFY(documents.findByLocalUrl(QStringLiteral("x' OR '1'='1")).isEmpty());
    QVERIFY(!storedLastRead(QStringLiteral("x' OR '1'='1")));
    // Before the table has the column (a database still to be upgraded), nothing is said.
    exec(QStringLiteral("ALTER TABLE documents RENAME COLUMN siderBarState TO oldState"));
    QVERIFY(!storedLastRead(QStringLiteral("/books/five.pdf")));
    QVERIFY(isDocumentPathStored(QStringLiteral("/books/five.pdf")));
}

void RepositoriesTest::update_neverWritesTheKey()
{
    TagRepository tags(QStringLiteral("Tag"));
    Tag tag(50, QStringLiteral("before"), 0);
    tags.insert(tag);
    exec(QStringLiteral(
        "CREATE TRIGGER keyWritten BEFORE UPDATE OF id ON Tag BEGIN SELECT RAISE(ABORT, 'key in SET'); END"));
    tag.setName(QStringLiteral("after"));
    tag.setItems({ 1, 2, 3 });
    QVERIFY(tags.update(tag));
    const auto found = tags.find(50);
    QCOMPARE(found->name(), QStringLiteral("after"));
    QCOMPARE(found->items(), (QSet<int> { 1, 2, 3 }));
    // An update of a row that does not exist changes nothing.
    Tag ghost(51, QStringLiteral("ghost"), 0);
    QVERIFY(tags.update(ghost));
    QCOMPARE(tags.findAll().size(), 1);
}

void RepositoriesTest::annotation_roundTripsEncodedColumns()
{
    addDocument(1, QStringLiteral("/books/one.pdf"));
    AnnotationRepository annotations;
    Annotation root(100, 1, 0);
    root.setChildren({ 101, 102 });
    annotations.insert(root);

    Annotation page(101, 1, 4, QPointF(10.5, 20.25), 100);
    page.setCanvas(Marker(QRectF(1, 2, 3, 4)));
    page.insertMarker(0,
        Marker(TextRects { QRectF(1, 1, 2, 2), QRectF(1, 4, 2, 2) }, Marker::Underline, QPen(Qt::blue, 2),
            QBrush(Qt::yellow)));
    page.insertMarker(1, Marker(QLineF(0, 0, 10, 0), QPen(Qt::red)));
    page.setNoteText(QStringLiteral("<p>note</p>"));
    page.setFolded(true);
    annotations.insert(page);
    annotations.insert(Annotation(102, 1, 4, QPointF(1, 1), 100));
    annotations.insert(Annotation(103, 1, 5, QPointF(1, 1), 100));

    const Annotation found = annotations.find(101).value();
    QCOMPARE(found.position(), QPointF(10.5, 20.25));
    QCOMPARE(found.canvas(), page.canvas());
    QCOMPARE(found.markerCount(), 2);
    QCOMPARE(found.marker(0), page.marker(0));
    QCOMPARE(found.marker(1), page.marker(1));
    QCOMPARE(found.isFolded(), true);
    QCOMPARE(found.noteText(), page.noteText());
    QCOMPARE(found.createdAt(), page.createdAt());
    QCOMPARE(annotations.find(100)->children(), (QVector<int> { 101, 102 }));
    QCOMPARE(annotations.find(100)->pageIndex(), -1);

    const auto onPage = annotations.findByPage(1, 4);
    QCOMPARE(onPage.size(), 2);
    // Read for showing, the rows are the same but for their notes, which are read apart.
    const auto withoutNotes = annotations.findByPageWithoutNotes(1, 4);
    QCOMPARE(withoutNotes.size(), 2);
    const Annotation shown = withoutNotes.at(withoutNotes.at(0).id() == 101 ? 0 : 1);
    QCOMPARE(shown.id(), 101);
    QVERIFY(shown.noteText().isEmpty());
    QCOMPARE(shown.canvas(), page.canvas());
    QCOMPARE(shown.markers(), found.markers());
    QCOMPARE(shown.position(), found.position());
    QCOMPARE(shown.createdAt(), found.createdAt());
    QCOMPARE(shown.isFolded(), true);
    QCOMPARE(shown.parentId(), 100);
    const std::optional<TextBeginning> note = annotations.noteBeginning(101, 100, 4);
    QVERIFY(note && note->whole);
    QCOMPARE(note->text, page.noteText());
    QVERIFY(!annotations.noteBeginning(999, 100, 4));
    QVERIFY(annotations.findByPage(1, 6).isEmpty());
    QVERIFY(annotations.remove(101));
    QVERIFY(!annotations.find(101).has_value());
    QVERIFY(annotations.remove(annotations.find(102).value()));
    QCOMPARE(annotations.findByPage(1, 4).size(), 0);
}

void RepositoriesTest::documentNote_isUniquePerDocument()
{
    addDocument(7, QStringLiteral("/books/seven.pdf"));
    AnnotationRepository annotations;
    QVERIFY(!annotations.findDocumentNote(7).has_value());
    annotations.insert(Annotation(200, 7, 0));
    QCOMPARE(annotations.findDocumentNote(7)->id(), 200);
    annotations.insert(Annotation(201, 7, 0));
    try {
        annotations.findDocumentNote(7);
        QFAIL("two roots went unnoticed");
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("2document notes founded, documentId:7"));
    }
}

void RepositoriesTest::removingDocument_removesItsAnnotations()
{
    addDocument(1, QStringLiteral("/books/one.pdf"));
    addDocument(2, QStringLiteral("/books/two.pdf"));
    AnnotationRepository annotations;
    annotations.insert(Annotation(10, 1, 0));
    annotations.insert(Annotation(11, 1, 0, QPointF(), 10));
    annotations.insert(Annotation(20, 2, 0));
    DocumentRepository documents;
    Transaction transaction;
    QVERIFY(documents.remove(documents.find(1).value()));
    transaction.commit();
    QCOMPARE(
        scalar(QStringLiteral("SELECT group_concat(id) FROM Annotation")).toString(), QStringLiteral("20"));
}

void RepositoriesTest::tags_queriesAndDescendants()
{
    TagRepository tags(QStringLiteral("Tag"));
    tags.insert(Tag(1, QStringLiteral("root"), 0));
    tags.insert(Tag(2, QStringLiteral("a"), 1));
    tags.insert(Tag(3, QStringLiteral("b"), 1));
    tags.insert(Tag(4, QStringLiteral("a"), 2));
    tags.insert(Tag(5, QStringLiteral("other"), 0));
    QCOMPARE(tags.findAll().size(), 5);
    QCOMPARE(tags.findChildren(1).size(), 2);
    QCOMPARE(tags.findByName(QStringLiteral("a")).size(), 2);
    QCOMPARE(tags.findByParentAndName(2, QStringLiteral("a")).value(0).id(), 4);
    QVERIFY(tags.findByParentAndName(3, QStringLiteral("a")).isEmpty());

    QCOMPARE(descendants(QStringLiteral("Tag"), 4), QSet<int> { 4 });
    QCOMPARE(descendants(QStringLiteral("Tag"), 1), (QSet<int> { 1, 2, 3, 4 }));
    QCOMPARE(descendants(QStringLiteral("Tag"), 99), QSet<int>());
    // A cycle left by a damaged tree must not loop forever.
    exec(QStringLiteral("UPDATE Tag SET parentId = 4 WHERE id = 1"));
    QCOMPARE(descendants(QStringLiteral("Tag"), 1), (QSet<int> { 1, 2, 3, 4 }));

    TagRepository categories(QStringLiteral("Category"));
    categories.insert(Tag(8, QStringLiteral("Science"), 0));
    QCOMPARE(categories.findAll().size(), 1);
    QCOMPARE(tags.findAll().size(), 5);
}

void RepositoriesTest::resources_singleResultRules()
{
    ResourceRepository resources;
    Resource image;
    image.setId(1);
    image.setOwnerId(10);
    image.setHash(QStringLiteral("abc"));
    image.setWidth(3);
    image.setHeight(4);
    image.setData(QByteArray("\x89PNG\0\1\2", 7));
    resources.insert(image);
    const auto found = resources.findByOwnerAndHash(10, QStringLiteral("abc"));
    QVERIFY(found.has_value());
    QCOMPARE(found->data(), image.data());
    QCOMPARE(found->width(), 3);
    QVERIFY(!resources.findByOwnerAndHash(10, QStringLiteral("abd")).has_value());
    image.setId(2);
    resources.insert(image);
    QCOMPARE(resources.findByOwner(10).size(), 2);
    QVERIFY_EXCEPTION_THROWN(resources.findByOwnerAndHash(10, QStringLiteral("abc")), std::runtime_error);
    try {
        resources.findByOwnerAndHash(10, QStringLiteral("abc"));
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("found too many results"));
    }
    // A duplicate key is a failed statement, reported, not swallowed.
    QVERIFY_EXCEPTION_THROWN(resources.insert(image), DatabaseException);
}

void RepositoriesTest::nullBlobs_decodeToDefaults()
{
    exec(QStringLiteral("INSERT INTO documents (id, title, localUrl, siderBarState, hided) VALUES (3, 't', "
                        "'p', NULL, NULL)"));
    exec(QStringLiteral(
        "INSERT INTO Annotation (id, documentId, parentId, children, markers, position, canvas) "
        "VALUES (30, 3, 0, NULL, NULL, NULL, x'00ff')"));
    exec(QStringLiteral(
        "INSERT INTO Tag (id, parentId, name, items) VALUES (31, NULL, 'n', x'0000000500000001')"));
    const Document document = DocumentRepository().find(3).value();
    QCOMPARE(document.lastRead(), LastRead());
    QCOMPARE(document.hided(), false);
    const Annotation root = AnnotationRepository().find(30).value();
    QVERIFY(root.children().isEmpty());
    QCOMPARE(root.markerCount(), 0);
    QCOMPARE(root.position(), QPointF());
    const Tag tag = TagRepository(QStringLiteral("Tag")).find(31).value();
    QCOMPARE(tag.parentId(), 0);
    QVERIFY(tag.items().isEmpty());
}

void RepositoriesTest::nextId_comesFromTheSharedCounter()
{
    DocumentRepository documents;
    AnnotationRepository annotations;
    TagRepository tags(QStringLiteral("Tag"));
    ResourceRepository resources;
    Transaction transaction;
    const int first = documents.nextId();
    QCOMPARE(annotations.nextId(), first + 1);
    QCOMPARE(tags.nextId(), first + 2);
    QCOMPARE(resources.nextId(), first + 3);
}

void RepositoriesTest::textBeginning_readsOnlyWhatIsAsked_cutAtACharacter_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("unit");
    const QStringList units { QStringLiteral("a"), QStringLiteral("\u00e9"), QStringLiteral("\u20ac"),
        QString::fromUcs4(U"\U0001D11E") };
    for (const char *encoding : { "UTF-8", "UTF-16le", "UTF-16be" }) {
        for (const QString &unit : units) {
            QTest::addRow("%s, %d bytes", encoding, int(unit.toUtf8().size()))
                << QString::fromLatin1(encoding) << unit;
        }
    }
}

void RepositoriesTest::textBeginning_readsOnlyWhatIsAsked_cutAtACharacter()
{
    QFETCH(QString, encoding);
    QFETCH(QString, unit);
    Database::close();
    Database database;
    QVERIFY(database.open(QDir(m_dir->path()).filePath(QStringLiteral("encoded"))));
    exec(QStringLiteral("PRAGMA encoding = '%1'").arg(encoding));
    QCOMPARE(scalar(QStringLiteral("PRAGMA encoding")).toString(), encoding);
    exec(QStringLiteral("CREATE TABLE Note (id INTEGER PRIMARY KEY, body TEXT)"));
    const QString text = QStringLiteral("<p>") + unit.repeated(5000);
    QSqlQuery insert;
    insert.prepare(QStringLiteral("INSERT INTO Note (id, body) VALUES (?, ?)"));
    insert.addBindValue(1);
    insert.addBindValue(text);
    QVERIFY(insert.exec());
    exec(QStringLiteral("INSERT INTO Note (id, body) VALUES (2, NULL)"));
    auto storedSize = [&](const QString &part) {
        return qint64(encoding == QLatin1String("UTF-8") ? part.toUtf8().size() : part.size() * 2);
    };

    // Longer than may be read whole: a beginning of whole characters, as many as fit.
    const std::optional<TextBeginning> cut
        = readTextBeginning(QStringLiteral("Note"), QStringLiteral("body"), 1, storedSize(text) - 1, 100);
    QVERIFY(cut && !cut->whole);
    QCOMPARE(cut->storedBytes, storedSize(text));
    QVERIFY2(text.startsWith(cut->text), qPrintable(cut->text.right(8).toUtf8().toHex()));
    QVERIFY(storedSize(cut->text) <= 100 && storedSize(cut->text) > 100 - 4);

    // Within the limit it comes whole; a null cell is an empty text and a missing row none at all.
    const std::optional<TextBeginning> whole
        = readTextBeginning(QStringLiteral("Note"), QStringLiteral("body"), 1, storedSize(text), 100);
    QVERIFY(whole && whole->whole);
    QCOMPARE(whole->text, text);
    const std::optional<TextBeginning> null
        = readTextBeginning(QStringLiteral("Note"), QStringLiteral("body"), 2, 100, 10);
    QVERIFY(null && null->whole && null->text.isEmpty());
    QVERIFY(!readTextBeginning(QStringLiteral("Note"), QStringLiteral("body"), 3, 100, 10));
}

void RepositoriesTest::lookups_useIndexes_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("page") << QStringLiteral(
        "SELECT * FROM Annotation WHERE documentId = 1 AND pageIndex = 2");
    QTest::newRow("document note") << QStringLiteral(
        "SELECT * FROM Annotation WHERE documentId = 1 AND parentId = 0");
    QTest::newRow("children") << QStringLiteral("SELECT id FROM Annotation WHERE parentId = 5");
    QTest::newRow("by path") << QStringLiteral("SELECT * FROM documents WHERE localUrl = 'x'");
    QTest::newRow("by fingerprint") << QStringLiteral("SELECT * FROM documents WHERE hash = 'x'");
    QTest::newRow("category children") << QStringLiteral("SELECT * FROM Category WHERE parentId = 0");
    QTest::newRow("tag by name") << QStringLiteral("SELECT * FROM Tag WHERE name = 'x'");
    QTest::newRow("resource") << QStringLiteral("SELECT * FROM Resource WHERE ownerId = 1 AND hash = 'x'");
}

// The services look rows up by these columns on every user action; none of them may scan a table.
void RepositoriesTest::lookups_useIndexes()
{
    QFETCH(QString, sql);
    QSqlQuery plan;
    QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + sql));
    QStringList details;
    while (plan.next()) {
        details << plan.value(3).toString();
    }
    QVERIFY2(details.join(QLatin1Char(' ')).contains(QStringLiteral("USING INDEX"))
            || details.join(QLatin1Char(' ')).contains(QStringLiteral("USING COVERING INDEX")),
        qPrintable(details.join(QStringLiteral("; "))));
    QVERIFY2(!details.join(QLatin1Char(' ')).startsWith(QStringLiteral("SCAN")),
        qPrintable(details.join(QStringLiteral("; "))));
}

QTEST_MAIN(RepositoriesTest)
#include "tst_repositories.moc"
