#include "indexingtestsupport.h"

#include <application/noteservice.h>
#include <application/tagservice.h>
#include <indexing/searchindex.h>

#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <sched.h>

using namespace IndexingTest;
using Nod::Indexing::SearchHit;
using Nod::Indexing::SearchIndex;
using Nod::Indexing::SearchQuery;
using Nod::Indexing::SearchResults;

namespace {

QStringList numberedPages(int count)
{
    QStringList pages;
    for (int i = 0; i < count; ++i) {
        pages.append(QStringLiteral("Plain page number %1 about nothing in particular.").arg(i + 1));
    }
    return pages;
}

int noteWith(ServiceFixture &fixture, int documentId, int page, const QString &text)
{
    Nod::Application::NoteService *notes = fixture.registry()->noteService();
    const int root = notes->documentNote(documentId).id();
    Nod::Application::NewAnnotation request;
    request.id = notes->nextId();
    request.documentId = documentId;
    request.pageIndex = page;
    request.canvas = Nod::Domain::Marker(QRectF(0, 0, 10, 10));
    request.noteText = text;
    request.parentId = root;
    request.index = notes->annotation(root).children().size();
    notes->newAnnotation(request);
    return request.id;
}

const SearchHit *hitOf(const SearchResults &results, int documentId, int annotationId = 0)
{
    for (const SearchHit &hit : results.hits) {
        if (hit.documentId == documentId && hit.annotationId == annotationId) {
            return &hit;
        }
    }
    return nullptr;
}

} // namespace

class TestFullTextIndex : public QObject
{
    Q_OBJECT

private slots:
    void pagesNotesAndDetails_foundWithPageAndSnippet();
    void queryMistakes_areExplainedNeverPassedOn_data();
    void queryMistakes_areExplainedNeverPassedOn();
    void libraryChanges_followedByTheIndex();
    void stoppedIndexer_resumesAndIndexStaysSound();
    void damagedOrForeignIndex_setAsideAndRebuilt_data();
    void damagedOrForeignIndex_setAsideAndRebuilt();
    void unreadableDocument_recordedAndRetriedOnlyWhenItsFileChanges();
    void searchWhileABatchWaits_answersFirstScreenThenWholeList();
    void relevance_isTheIndexOwnScoreAndFollowsEdits();
};

void TestFullTextIndex::pagesNotesAndDetails_foundWithPageAndSnippet()
{
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    QStringList pages = numberedPages(9);
    pages[6] = QStringLiteral("The quick brown fox jumps over the lazy dog beside the marmalade jar.");
    const int book = addPdf(fixture, QStringLiteral("Book"), pages);
    const int other = addPdf(fixture, QStringLiteral("Other"), numberedPages(2));
    QVERIFY(book > 0 && other > 0);
    const int note
        = noteWith(fixture, other, 1, QStringLiteral("<p>Grandmother's <b>marmalade</b> recipe</p>"));
    const int chinese = noteWith(fixture, other, 0, QStringLiteral("我们研究中华人民共和国的历史和文化"));
    fixture.registry()->documentService()->changeOverview(other, QStringLiteral("Orchard diaries"));
    const int shelf = fixture.registry()->categoryService()->newTag(QStringLiteral("Preserves"), 0);
    fixture.registry()->categoryService()->addItem(shelf, book);

    auto indexer = makeIndexer(fixture);
    QVERIFY(startAndWait(*indexer));

    SearchResults results = search(*indexer, QStringLiteral("marmalade"));
    QCOMPARE(results.error, QString());
    QCOMPARE(results.hits.size(), 2);
    QCOMPARE(results.total, 2);
    const SearchHit *onPage = hitOf(results, book);
    QVERIFY(onPage);
    QCOMPARE(onPage->page, 6);
    QVERIFY(onPage->isPage());
    QVERIFY2(onPage->snippetHtml().contains(QStringLiteral("<b>marmalade</b>")),
        qPrintable(onPage->snippetHtml()));
    QVERIFY(onPage->snippetText().contains(QStringLiteral("the lazy dog beside the marmalade jar")));
    QCOMPARE(onPage->firstEmphasis(), QStringLiteral("marmalade"));
    const SearchHit *inNote = hitOf(results, other, note);
    QVERIFY(inNote);
    QVERIFY(inNote->isNote());
    QCOMPARE(inNote->page, 1);
    QCOMPARE(inNote->snippetText(), QStringLiteral("Grandmother's marmalade recipe"));

    // Every word is required; phrases keep their order; a prefix matches the longer word.
    results = search(*indexer, QStringLiteral("marmalade recipe"));
    QCOMPARE(results.hits.size(), 1);
    QCOMPARE(results.hits.first().annotationId, note);
    QCOMPARE(search(*indexer, QStringLiteral("\"lazy dog\"")).hits.size(), 1);
    QCOMPARE(search(*indexer, QStringLiteral("\"dog lazy\"")).hits.size(), 0);
    results = search(*indexer, QStringLiteral("marma*"));
    QCOMPARE(results.hits.size(), 2);
    QCOMPARE(search(*indexer, QStringLiteral("marma")).hits.size(), 0);
    // Page text is found case- and accent-blind.
    QCOMPARE(search(*indexer, QStringLiteral("QUÍCK")).hits.size(), 1);

    // Chinese without spaces: any run of characters is found, and only where it stands together.
    results = search(*indexer, QStringLiteral("人民共和国"));
    QCOMPARE(results.hits.size(), 1);
    QCOMPARE(results.hits.first().annotationId, chinese);
    QVERIFY2(results.hits.first().snippetHtml().contains(QStringLiteral("<b>人民共和国</b>")),
        qPrintable(results.hits.first().snippetHtml()));
    QCOMPARE(search(*indexer, QStringLiteral("历史")).hits.size(), 1);
    QCOMPARE(search(*indexer, QStringLiteral("民人")).hits.size(), 0);

    // Title, overview and tag names are the document's details (no page, no note).
    for (const QString &word : { QStringLiteral("orchard"), QStringLiteral("preserves") }) {
        results = search(*indexer, word);
        QCOMPARE(results.hits.size(), 1);
        QCOMPARE(results.hits.first().page, -1);
        QCOMPARE(results.hits.first().annotationId, 0);
    }
    QCOMPARE(hitOf(search(*indexer, QStringLiteral("preserves")), book)->documentId, book);

    // A limit keeps the best hits and still counts them all.
    results = search(*indexer, QStringLiteral("page"), 3);
    QCOMPARE(results.hits.size(), 3);
    QCOMPARE(results.total, 10);
    QVERIFY(results.hits.at(0).rank <= results.hits.at(2).rank);
}

void TestFullTextIndex::queryMistakes_areExplainedNeverPassedOn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("mistake");
    QTest::newRow("open quote") << QStringLiteral("\"lazy dog") << true;
    QTest::newRow("lone asterisk") << QStringLiteral("fox *") << true;
    QTest::newRow("leading asterisk") << QStringLiteral("*ox") << true;
    QTest::newRow("inner asterisk") << QStringLiteral("f*x") << true;
    QTest::newRow("quote glued") << QStringLiteral("\"lazy\"dog") << true;
    QTest::newRow("punctuation only") << QStringLiteral("-- !") << true;
    QTest::newRow("operators") << QStringLiteral("fox AND OR NOT") << false;
    QTest::newRow("near") << QStringLiteral("NEAR(fox dog)") << false;
    QTest::newRow("column filter") << QStringLiteral("body:fox") << false;
    QTest::newRow("caret and plus") << QStringLiteral("^fox + dog") << false;
    QTest::newRow("quote doubled") << QStringLiteral("\"\"\"\"") << true;
    QTest::newRow("sql") << QStringLiteral("fox'); DROP TABLE entries; --") << false;
}

void TestFullTextIndex::queryMistakes_areExplainedNeverPassedOn()
{
    QFETCH(QString, text);
    QFETCH(bool, mistake);
    const SearchQuery query = SearchQuery::parse(text);
    QCOMPARE(query.isValid(), !mistake);
    QCOMPARE(query.errorString().isEmpty(), !mistake);
    if (mistake) {
        return;
    }
    // Whatever was typed, the index runs the query as words to find.
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    SearchIndex index;
    QVERIFY(index.open(fixture.path(QStringLiteral("search-index"))));
    QVERIFY(index.putEntry(1, -1, 0, 1, QStringLiteral("fox and dog near the body")));
    const SearchResults results = index.search(query, 10);
    QCOMPARE(results.error, QString());
    QVERIFY(index.integrityProblem().isEmpty());
}

void TestFullTextIndex::libraryChanges_followedByTheIndex()
{
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    const int book = addPdf(fixture, QStringLiteral("Book"), { QStringLiteral("Saffron fields at dawn") });
    const int note = noteWith(fixture, book, 0, QStringLiteral("Lavender and thyme"));
    auto indexer = makeIndexer(fixture);
    QVERIFY(startAndWait(*indexer));
    QCOMPARE(search(*indexer, QStringLiteral("lavender")).hits.size(), 1);

    Nod::Application::NoteService *notes = fixture.registry()->noteService();
    // An edit, then its undo: only the current text is found.
    QVERIFY(notes->changeNote(note, QStringLiteral("Rosemary and sage")));
    QCOMPARE(search(*indexer, QStringLiteral("lavender")).hits.size(), 0);
    QCOMPARE(search(*indexer, QStringLiteral("rosemary")).hits.size(), 1);
    QVERIFY(notes->changeNote(note, QStringLiteral("Lavender and thyme")));
    QCOMPARE(search(*indexer, QStringLiteral("rosemary")).hits.size(), 0);
    QCOMPARE(search(*indexer, QStringLiteral("lavender")).hits.size(), 1);

    // A tag given to the note is found with it.
    const int tag = fixture.registry()->tagService()->newTag(QStringLiteral("herbal"), 0);
    fixture.registry()->tagService()->addItem(tag, note);
    QCOMPARE(search(*indexer, QStringLiteral("herbal")).hits.size(), 1);

    // Removal, then the undo that makes the node again under its old id.
    const Nod::Domain::Annotation before = notes->annotation(note);
    const int root = before.parentId();
    notes->handle(Nod::Application::RemoveRequest { 0, root });
    QCOMPARE(search(*indexer, QStringLiteral("lavender")).hits.size(), 0);
    Nod::Application::NewAnnotation again;
    again.id = note;
    again.documentId = book;
    again.pageIndex = 0;
    again.canvas = before.canvas();
    again.noteText = before.noteText();
    again.parentId = root;
    again.index = 0;
    notes->newAnnotation(again);
    const SearchResults back = search(*indexer, QStringLiteral("lavender"));
    QCOMPARE(back.hits.size(), 1);
    QCOMPARE(back.hits.first().annotationId, note);

    // A title change reaches the details; an added document is indexed; a removed one leaves nothing.
    fixture.registry()->documentService()->changeTitle(book, QStringLiteral("Herb garden"));
    QCOMPARE(search(*indexer, QStringLiteral("garden")).hits.size(), 1);
    QSignalSpy indexed(indexer.get(), &Nod::Indexing::SearchIndexer::documentIndexed);
    const int second = addPdf(fixture, QStringLiteral("Second"), { QStringLiteral("Saffron again") });
    QVERIFY(indexed.wait(30000));
    QCOMPARE(search(*indexer, QStringLiteral("saffron")).hits.size(), 2);
    QVERIFY(fixture.registry()->documentService()->remove(book));
    QCOMPARE(search(*indexer, QStringLiteral("saffron")).hits.size(), 1);
    QCOMPARE(search(*indexer, QStringLiteral("saffron")).hits.first().documentId, second);
    QCOMPARE(search(*indexer, QStringLiteral("lavender")).hits.size(), 0);
    QCOMPARE(search(*indexer, QStringLiteral("garden")).hits.size(), 0);

    // A restart finds the library unchanged and the index with it.
    indexer.reset();
    SearchIndex index;
    QVERIFY(index.open(fixture.path(QStringLiteral("search-index")), true));
    QCOMPARE(index.documentIds(), QVector<int> { second });
}

namespace {
// The scheduling class of this process's thread of that name; -1 when there is none.
int schedulingPolicyOf(const QByteArray &name)
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name) {
            return sched_getscheduler(task.toInt());
        }
    }
    return -1;
}
} // namespace

void TestFullTextIndex::stoppedIndexer_resumesAndIndexStaysSound()
{
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    // Enough pages that a loaded machine cannot index them all before the stop takes effect.
    const int pageCount = 60;
    QStringList pages = numberedPages(pageCount);
    pages[pageCount - 1] = QStringLiteral("The very last page mentions quinces.");
    const int book = addPdf(fixture, QStringLiteral("Long"), pages);
    QVERIFY(book > 0);
    const QString databasePath = fixture.path(QStringLiteral("database"));
    const QString mainBefore = md5Of(databasePath);

    {
        auto indexer = makeIndexer(fixture, 2);
        QSignalSpy batches(indexer.get(), &Nod::Indexing::SearchIndexer::batchWritten);
        indexer->start();
        QVERIFY(batches.wait(30000));
        // It takes only a processor nothing else wants.
        QCOMPARE(schedulingPolicyOf("SearchIndexer"), SCHED_IDLE);
        // Stopped between two batches, as a crash would leave it at worst.
    }
    SearchIndex peek;
    QVERIFY(peek.open(fixture.path(QStringLiteral("search-index")), true));
    const auto stopped = peek.documentState(book);
    QVERIFY(stopped);
    QCOMPARE(stopped->pageCount, pageCount);
    QVERIFY2(stopped->nextPage > 0 && stopped->nextPage < pageCount,
        qPrintable(QString::number(stopped->nextPage)));
    QVERIFY(peek.search(SearchQuery::parse(QStringLiteral("quinces")), 10).hits.isEmpty());
    peek.close();

    auto indexer = makeIndexer(fixture, 2);
    QSignalSpy batches(indexer.get(), &Nod::Indexing::SearchIndexer::batchWritten);
    QVERIFY(startAndWait(*indexer));
    // It went on from where it stopped rather than from the first page.
    QVERIFY(!batches.isEmpty());
    QVERIFY(batches.size() <= (pageCount - stopped->nextPage + 1) / 2);
    QCOMPARE(search(*indexer, QStringLiteral("quinces")).hits.size(), 1);
    const SearchResults all = search(*indexer, QStringLiteral("page"));
    QCOMPARE(all.total, pageCount);
    QSet<int> seen;
    for (const SearchHit &hit : all.hits) {
        seen.insert(hit.page);
    }
    QCOMPARE(seen.size(), pageCount);
    indexer.reset();

    SearchIndex index;
    QVERIFY(index.open(fixture.path(QStringLiteral("search-index"))));
    QVERIFY(!index.wasReset());
    QCOMPARE(index.integrityProblem(), QString());
    QVERIFY(index.documentState(book)->pagesComplete());
    QCOMPARE(md5Of(databasePath), mainBefore);
}

void TestFullTextIndex::damagedOrForeignIndex_setAsideAndRebuilt_data()
{
    QTest::addColumn<bool>("sqlite");
    QTest::newRow("not a database") << false;
    QTest::newRow("another program's database") << true;
}

void TestFullTextIndex::damagedOrForeignIndex_setAsideAndRebuilt()
{
    QFETCH(bool, sqlite);
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    const QString path = fixture.path(QStringLiteral("search-index"));
    if (sqlite) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE accounts (id INTEGER, owner TEXT)"));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(8192, 'x'));
    }
    const QByteArray original = [&path] {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();
    addPdf(fixture, QStringLiteral("Book"), { QStringLiteral("Apricots in the sun") });

    TestSupport::LogCapture log;
    auto indexer = makeIndexer(fixture);
    QVERIFY(startAndWait(*indexer));
    QCOMPARE(search(*indexer, QStringLiteral("apricots")).hits.size(), 1);
    QVERIFY(log.contains(QStringLiteral("set aside as ") + path + QStringLiteral(".damaged")));
    QFile aside(path + QStringLiteral(".damaged"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), original);
}

void TestFullTextIndex::unreadableDocument_recordedAndRetriedOnlyWhenItsFileChanges()
{
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    const QString broken = fixture.makeFile(QStringLiteral("broken.pdf"), "%PDF-1.4\nthis is not a pdf");
    Nod::Application::DocumentService *documents = fixture.registry()->documentService();
    const int id = documents->newDocument(md5Of(broken), broken, QStringLiteral("Broken"));
    QVERIFY(id > 0);
    {
        TestSupport::LogCapture log;
        auto indexer = makeIndexer(fixture);
        QVERIFY(startAndWait(*indexer));
        QVERIFY(log.contains(QStringLiteral("cannot read the text of")));
    }
    {
        SearchIndex index;
        QVERIFY(index.open(fixture.path(QStringLiteral("search-index")), true));
        const auto state = index.documentState(id);
        QVERIFY(state);
        QVERIFY(!state->failure.isEmpty());
        QCOMPARE(state->hash, md5Of(broken));
    }
    {
        TestSupport::LogCapture log;
        auto indexer = makeIndexer(fixture);
        QVERIFY(startAndWait(*indexer));
        QVERIFY(!log.contains(QStringLiteral("cannot read the text of")));

        // The file is replaced by a sound one: its new fingerprint has it read again.
        const QString sound = fixture.path(QStringLiteral("sound.pdf"));
        QVERIFY(writePdf(sound, { QStringLiteral("Damsons and greengages") }));
        QSignalSpy indexed(indexer.get(), &Nod::Indexing::SearchIndexer::documentIndexed);
        QVERIFY(documents->changeFile(id, QFileInfo(sound), md5Of(sound)));
        QVERIFY(indexed.wait(30000));
        QCOMPARE(search(*indexer, QStringLiteral("greengages")).hits.size(), 1);
    }
}

void TestFullTextIndex::searchWhileABatchWaits_answersFirstScreenThenWholeList()
{
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    QStringList pages;
    for (int i = 0; i < 12; ++i) {
        pages.append(QStringLiteral("amber ").repeated(1 + i % 4) + QStringLiteral("resin ").repeated(i));
    }
    QVERIFY(addPdf(fixture, QStringLiteral("Resins"), pages) > 0);
    auto indexer = makeIndexer(fixture);
    QVERIFY(startAndWait(*indexer));

    // Another connection holds the write lock, so the worker's next write waits on it.
    QSqlDatabase lock = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
    lock.setDatabaseName(fixture.path(QStringLiteral("search-index")));
    QVERIFY(lock.open());
    QVERIFY(QSqlQuery(lock).exec(QStringLiteral("BEGIN IMMEDIATE")));
    QSignalSpy indexed(indexer.get(), &Nod::Indexing::SearchIndexer::documentIndexed);
    QVERIFY(addPdf(fixture, QStringLiteral("Later"), { QStringLiteral("amber beads") }) > 0);

    QSignalSpy finished(indexer.get(), &Nod::Indexing::SearchIndexer::searchFinished);
    const int request = indexer->search(SearchQuery::parse(QStringLiteral("amber")), 100, 5);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 4000); // the worker waits 5 s before it gives up
    QVERIFY(indexed.isEmpty());
    QVERIFY(QSqlQuery(lock).exec(QStringLiteral("ROLLBACK")));
    lock.close();
    lock = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));

    QCOMPARE(finished.at(0).at(0).toInt(), request);
    QCOMPARE(finished.at(1).at(0).toInt(), request);
    const auto first = finished.at(0).at(1).value<SearchResults>();
    const auto whole = finished.at(1).at(1).value<SearchResults>();
    QVERIFY(!first.complete);
    QVERIFY(whole.complete);
    QCOMPARE(first.hits.size(), 5);
    QCOMPARE(whole.hits.size(), 12); // what was committed before the lock
    for (int i = 0; i < whole.hits.size(); ++i) {
        const SearchHit &hit = whole.hits.at(i);
        QVERIFY(hit.isPage());
        QVERIFY(hit.snippetHtml().contains(QStringLiteral("<b>amber</b>")));
        if (i < first.hits.size()) {
            QCOMPARE(first.hits.at(i).page, hit.page);
            QCOMPARE(first.hits.at(i).snippet, hit.snippet);
        }
        if (i > 0) {
            QVERIFY(whole.hits.at(i - 1).rank <= hit.rank);
        }
    }
    // The shortest pages with the word four times come first.
    QCOMPARE(whole.hits.first().page, 3);

    // The write that waited goes on.
    QVERIFY(indexed.wait(30000));
    QCOMPARE(search(*indexer, QStringLiteral("amber")).hits.size(), 13);
}

void TestFullTextIndex::relevance_isTheIndexOwnScoreAndFollowsEdits()
{
    ServiceFixture fixture;
    QVERIFY(fixture.isValid());
    const QString path = fixture.path(QStringLiteral("search-index"));
    SearchIndex writer;
    QVERIFY(writer.open(path));
    // More often and in fewer words ranks higher: a, b, c and d in that order, each step unambiguous.
    const QString filler = QStringLiteral(" and").repeated(26);
    QVERIFY(writer.putEntry(1, 0, 101, 1, QStringLiteral("walnut walnut walnut")));
    QVERIFY(writer.putEntry(1, 1, 102, 1, QStringLiteral("walnut walnut and pecan")));
    QVERIFY(writer.putEntry(2, 0, 103, 1, QStringLiteral("walnut and pecan cake")));
    for (int i = 0; i < 6; ++i) {
        QVERIFY(writer.putEntry(3, i, 201 + i, 1, QStringLiteral("almonds are not here")));
    }
    QVERIFY(writer.putEntry(2, 1, 104, 1, QStringLiteral("walnut") + filler));

    QSqlDatabase plain = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
    plain.setDatabaseName(path);
    QVERIFY(plain.open());
    // The annotations in the order of the table's own score, and those scores.
    const auto ownOrder = [&plain](QVector<double> *scores) {
        QSqlQuery query(plain);
        query.exec(
            QStringLiteral("SELECT e.annotationId, bm25(text) FROM text JOIN entries e ON e.id = text.rowid "
                           "WHERE text MATCH 'walnut' ORDER BY rank"));
        QVector<int> ids;
        while (query.next()) {
            ids.append(query.value(0).toInt());
            scores->append(query.value(1).toDouble());
        }
        return ids;
    };
    SearchIndex reader;
    QVERIFY(reader.openForQueries(path));
    const auto check = [&](const QVector<int> &expected) {
        const SearchResults results = reader.search(SearchQuery::parse(QStringLiteral("walnut")), 10);
        QVector<double> scores;
        QCOMPARE(ownOrder(&scores), expected);
        QCOMPARE(results.hits.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(results.hits.at(i).annotationId, expected.at(i));
            QVERIFY2(qAbs(results.hits.at(i).rank - scores.at(i)) < 1e-9 * qAbs(scores.at(i)) + 1e-12,
                qPrintable(QStringLiteral("%1 against %2").arg(results.hits.at(i).rank).arg(scores.at(i))));
        }
    };
    check({ 101, 102, 103, 104 });
    if (QTest::currentTestFailed()) {
        return;
    }
    // The last entry is written again, short now: its number comes back with another length.
    QVERIFY(writer.putEntry(2, 1, 104, 2, QStringLiteral("walnut walnut walnut walnut")));
    check({ 104, 101, 102, 103 });
    if (QTest::currentTestFailed()) {
        return;
    }
    // A new entry after the reader has its lengths, and one removed.
    QVERIFY(writer.putEntry(4, 0, 105, 1, QStringLiteral("walnut")));
    QVERIFY(writer.removeNote(101));
    check({ 104, 105, 102, 103 });
    plain.close();
    plain = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("plain"));
}

QTEST_MAIN(TestFullTextIndex)
#include "tst_fulltextindex.moc"
