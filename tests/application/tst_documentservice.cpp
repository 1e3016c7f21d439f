#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/tagservice.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/repositories/tagrepository.h>

#include <QDir>

using namespace Nod::Application;
using Nod::Domain::LastRead;
using Nod::Infrastructure::TagRepository;

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef");

int rowCount(const QString &table)
{
    return TestSupport::scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toInt();
}
} // namespace

class DocumentServiceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    DocumentService *m_documents = nullptr;

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_documents = m_fixture->registry()->documentService();
    }

    void cleanup() { m_fixture.reset(); }

    void newDocument_refusesIncompleteInput_data()
    {
        QTest::addColumn<QString>("hash");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QString>("title");
        QTest::newRow("no hash") << QString() << true << "t";
        QTest::newRow("no file") << kHash << false << "t";
        QTest::newRow("no title") << kHash << true << QString();
    }

    void newDocument_refusesIncompleteInput()
    {
        QFETCH(QString, hash);
        QFETCH(bool, fileExists);
        QFETCH(QString, title);
        const QString path = fileExists ? m_fixture->makeFile(QStringLiteral("a.pdf"))
                                        : m_fixture->path(QStringLiteral("gone.pdf"));
        QSignalSpy added(m_documents, &DocumentService::added);
        QCOMPARE(m_documents->newDocument(hash, path, title), -1);
        QCOMPARE(added.count(), 0);
        QCOMPARE(rowCount(QStringLiteral("documents")), 0);
        QCOMPARE(rowCount(QStringLiteral("Annotation")), 0);
    }

    void newDocument_addsTheDocumentWithItsNote()
    {
        const QString path = m_fixture->makeFile(QStringLiteral("paper.pdf"));
        int seen = 0;
        connect(m_documents, &DocumentService::added, this, [&](const Document &doc) {
            ++seen;
            QCOMPARE(m_documents->document(doc.id()).title(), QStringLiteral("Paper"));
            QVERIFY(m_fixture->registry()->noteService()->documentNote(doc.id()).id() > 0);
        });
        const int id = m_documents->newDocument(kHash, path, QStringLiteral("Paper"));
        QVERIFY(id > 0);
        QCOMPARE(seen, 1);
        const Document doc = m_documents->document(id);
        QCOMPARE(doc.localUrl(), QFileInfo(path).absoluteFilePath());
        QCOMPARE(doc.hash(), kHash);
        QVERIFY(doc.addedAt().isValid());

        const Annotation note = m_fixture->registry()->noteService()->documentNote(id);
        QCOMPARE(note.parentId(), 0);
        QCOMPARE(note.pageIndex(), -1);
        QVERIFY(note.id() != id); // ids come from one counter
        QCOMPARE(m_fixture->registry()->noteService()->annotationCount(id), 1);
    }

    void changes_announceOnlyRealChanges()
    {
        const int id = m_documents->newDocument(
            kHash, m_fixture->makeFile(QStringLiteral("a.pdf")), QStringLiteral("A"));
        QSignalSpy title(m_documents, &DocumentService::titleChanged);
        QSignalSpy overview(m_documents, &DocumentService::overviewChanged);
        QSignalSpy file(m_documents, &DocumentService::fileChanged);

        QVERIFY(m_documents->changeTitle(id, QStringLiteral("A")));
        QVERIFY(!m_documents->changeTitle(id, QString()));
        QVERIFY(!m_documents->changeTitle(0, QStringLiteral("B")));
        QCOMPARE(title.count(), 0);
        QVERIFY(m_documents->changeTitle(id, QStringLiteral("B")));
        QCOMPARE(title.count(), 1);
        QCOMPARE(title.first().first().value<Document>().title(), QStringLiteral("B"));
        QCOMPARE(m_documents->document(id).title(), QStringLiteral("B"));

        QVERIFY(m_documents->changeOverview(id, QStringLiteral("about")));
        QVERIFY(m_documents->changeOverview(id, QStringLiteral("about")));
        QVERIFY(m_documents->changeOverview(id, QString()));
        QCOMPARE(overview.count(), 2);
        QCOMPARE(m_documents->document(id).overview(), QString());

        const QString moved = m_fixture->makeFile(QStringLiteral("moved.pdf"));
        QVERIFY(!m_documents->changeFile(id, QFileInfo(m_fixture->path(QStringLiteral("nope.pdf"))), kHash));
        QVERIFY(!m_documents->changeFile(id, QFileInfo(moved), QString()));
        QVERIFY(m_documents->changeFile(
            id, QFileInfo(moved), QStringLiteral("ffffffffffffffffffffffffffffffff")));
        QCOMPARE(file.count(), 1);
        QCOMPARE(m_documents->document(id).localUrl(), moved);

        QVERIFY_EXCEPTION_THROWN(m_documents->changeTitle(424242, QStringLiteral("x")), std::runtime_error);
    }

    void changeLastRead_fuzzyEqualIsNoChange()
    {
        const int id = m_documents->newDocument(
            kHash, m_fixture->makeFile(QStringLiteral("a.pdf")), QStringLiteral("A"));
        QSignalSpy changed(m_documents, &DocumentService::lastReadChanged);
        LastRead state;
        state.setPageIndex(41);
        Nod::Domain::SiderBarState bar;
        bar.setShrunk(false);
        bar.setSizes({ 0.25, 0.75 });
        state.setSiderBarState(bar);
        QVERIFY(m_documents->changeLastRead(id, state));
        QCOMPARE(changed.count(), 1);
        QVERIFY(m_documents->document(id).lastReadedAt().isValid());
        QCOMPARE(m_documents->document(id).lastRead(), state);

        bar.setSizes({ 0.25 * (1 + 1e-14), 0.75 });
        state.setSiderBarState(bar);
        QVERIFY(m_documents->changeLastRead(id, state));
        QCOMPARE(changed.count(), 1);

        state.setPageIndex(42);
        QVERIFY(m_documents->changeLastRead(id, state));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(m_documents->document(id).lastRead().pageIndex(), 42);
    }

    void remove_takesAnnotationsAndOnlyOwnedFiles()
    {
        auto *notes = m_fixture->registry()->noteService();
        const QString absolute = m_fixture->makeFile(QStringLiteral("kept.pdf"));
        const int kept = m_documents->newDocument(kHash, absolute, QStringLiteral("Kept"));
        // A relative path names a file inside the storage folder (the current directory).
        const QString previous = QDir::currentPath();
        QDir::setCurrent(m_fixture->path(QString()));
        m_fixture->makeFile(QStringLiteral("owned.pdf"));
        const int owned
            = m_documents->newDocument(kHash, QStringLiteral("owned.pdf"), QStringLiteral("Owned"));
        QCOMPARE(m_documents->document(owned).localUrl(), QStringLiteral("owned.pdf"));

        const int root = notes->documentNote(kept).id();
        NewAnnotation request;
        request.id = notes->nextId();
        request.documentId = kept;
        request.canvas = Nod::Domain::Marker(QRectF(0, 0, 5, 5));
        request.parentId = root;
        notes->newAnnotation(request);

        QStringList events;
        connect(m_documents, &DocumentService::aboutToBeRemoved, this, [&](const Document &doc) {
            events << QStringLiteral("about ") + doc.title();
            QVERIFY(m_documents->find(doc.id()).has_value());
        });
        connect(m_documents, &DocumentService::removed, this, [&](const Document &doc) {
            events << QStringLiteral("removed ") + doc.title();
            QVERIFY(!m_documents->find(doc.id()).has_value());
        });
        QVERIFY(m_documents->remove(kept));
        QVERIFY(m_documents->remove(owned));
        QDir::setCurrent(previous);

        QCOMPARE(events,
            (QStringList { QStringLiteral("about Kept"), QStringLiteral("removed Kept"),
                QStringLiteral("about Owned"), QStringLiteral("removed Owned") }));
        QCOMPARE(rowCount(QStringLiteral("documents")), 0);
        QCOMPARE(rowCount(QStringLiteral("Annotation")), 0);
        QVERIFY(QFile::exists(absolute));
        QVERIFY(!QFile::exists(m_fixture->path(QStringLiteral("owned.pdf"))));

        QSignalSpy again(m_documents, &DocumentService::aboutToBeRemoved);
        QVERIFY(m_documents->remove(kept));
        QVERIFY(!m_documents->remove(0));
        QCOMPARE(again.count(), 0);
    }

    void failingStatement_rollsBackAndStaysQuiet()
    {
        const int id = m_documents->newDocument(
            kHash, m_fixture->makeFile(QStringLiteral("a.pdf")), QStringLiteral("A"));
        QSignalSpy added(m_documents, &DocumentService::added);
        QSignalSpy title(m_documents, &DocumentService::titleChanged);

        // The document row goes in, its note fails: neither may stay.
        failNext(QStringLiteral("INSERT"), QStringLiteral("Annotation"));
        QVERIFY_EXCEPTION_THROWN(m_documents->newDocument(kHash, m_fixture->makeFile(QStringLiteral("b.pdf")),
                                     QStringLiteral("B")),
            Nod::Infrastructure::DatabaseException);
        stopFailing(QStringLiteral("INSERT"));
        failNext(QStringLiteral("UPDATE"), QStringLiteral("documents"));
        QVERIFY_EXCEPTION_THROWN(
            m_documents->changeTitle(id, QStringLiteral("lost")), Nod::Infrastructure::DatabaseException);
        stopFailing(QStringLiteral("UPDATE"));

        QCOMPARE(added.count() + title.count(), 0);
        QCOMPARE(rowCount(QStringLiteral("documents")), 1);
        QCOMPARE(rowCount(QStringLiteral("Annotation")), 1);
        QCOMPARE(m_documents->document(id).title(), QStringLiteral("A"));
    }

    void remove_failingAnyStep_changesNothing_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("table");
        QTest::newRow("image") << QStringLiteral("DELETE") << QStringLiteral("Resource");
        QTest::newRow("child list") << QStringLiteral("UPDATE") << QStringLiteral("Annotation");
        QTest::newRow("annotation") << QStringLiteral("DELETE") << QStringLiteral("Annotation");
        QTest::newRow("membership") << QStringLiteral("UPDATE") << QStringLiteral("Category");
        QTest::newRow("document") << QStringLiteral("DELETE") << QStringLiteral("documents");
    }

    void remove_failingAnyStep_changesNothing()
    {
        QFETCH(QString, operation);
        QFETCH(QString, table);
        NoteService *notes = m_fixture->registry()->noteService();
        TagService *categories = m_fixture->registry()->categoryService();
        ResourceService *images = m_fixture->registry()->resourceService();
        const int id = m_documents->newDocument(
            kHash, m_fixture->makeFile(QStringLiteral("a.pdf")), QStringLiteral("A"));
        const int other = m_documents->newDocument(
            kHash, m_fixture->makeFile(QStringLiteral("b.pdf")), QStringLiteral("B"));
        const int root = notes->documentNote(id).id();
        const int a = m_fixture->appendNode(id, root);
        const int b = m_fixture->appendNode(id, a);
        const int kept = m_fixture->appendNode(other, notes->documentNote(other).id());
        m_fixture->addImage(root, Qt::blue);
        m_fixture->addImage(a, Qt::red);
        m_fixture->addImage(b, Qt::green);
        m_fixture->addImage(kept, Qt::red);
        const int science = categories->newTag(QStringLiteral("Science"), 0);
        const int maths = categories->newTag(QStringLiteral("Maths"), science);
        categories->addItem(science, id);
        categories->addItem(maths, id);
        categories->addItem(science, other);
        QCOMPARE(notes->annotationCount(id), 3);

        const QStringList tables { QStringLiteral("documents"), QStringLiteral("Annotation"),
            QStringLiteral("Resource"), QStringLiteral("Category") };
        QHash<QString, QStringList> before;
        for (const QString &name : tables) {
            before.insert(name, rowsOf(name));
        }
        QSignalSpy documentRemoved(m_documents, &DocumentService::removed);
        QSignalSpy noteRemoved(notes, &NoteService::removed);
        QSignalSpy imageRemoved(images, &ResourceService::removed);
        QSignalSpy itemRemoved(categories, &TagService::itemRemoved);
        auto announcements = [&] {
            return documentRemoved.count() + noteRemoved.count() + imageRemoved.count() + itemRemoved.count();
        };
        auto idsOf = [](const QVector<Nod::Domain::Tag> &tags) {
            QSet<int> ids;
            for (const Nod::Domain::Tag &tag : tags) {
                ids.insert(tag.id());
            }
            return ids;
        };

        failNext(operation, table);
        QVERIFY_EXCEPTION_THROWN(m_documents->remove(id), Nod::Infrastructure::DatabaseException);
        stopFailing(operation);

        for (const QString &name : tables) {
            QCOMPARE(rowsOf(name), before.value(name));
        }
        QCOMPARE(announcements(), 0);
        QCOMPARE(notes->annotationCount(id), 3);
        QCOMPARE(idsOf(categories->tagsOfDocument(id)), (QSet<int> { science, maths }));
        QCOMPARE(categories->tag(science).items(), (QSet<int> { id, other }));

        // Once statements succeed the whole unit goes, announced after the commit.
        QVERIFY(m_documents->remove(id));
        QCOMPARE(documentRemoved.count(), 1);
        QCOMPARE(noteRemoved.count(), 2);
        QCOMPARE(imageRemoved.count(), 3);
        QCOMPARE(itemRemoved.count(), 2);
        QCOMPARE(rowsOf(QStringLiteral("documents")).size(), 1);
        QCOMPARE(
            TestSupport::scalar(QStringLiteral("SELECT group_concat(ownerId) FROM Resource")).toInt(), kept);
        QCOMPARE(TestSupport::scalar(
                     QStringLiteral("SELECT count(*) FROM Annotation WHERE documentId = %1").arg(id))
                     .toInt(),
            0);
        QCOMPARE(notes->annotationCount(id), 0);
        QCOMPARE(notes->annotationCount(other), 2);
        QVERIFY(categories->tagsOfDocument(id).isEmpty());
        QCOMPARE(categories->tag(science).items(), QSet<int> { other });
        QCOMPARE(TagRepository(QStringLiteral("Category")).find(maths)->items(), QSet<int>());
    }
};

QTEST_GUILESS_MAIN(DocumentServiceTest)
#include "tst_documentservice.moc"
