// Import into the library tab: detection by content, path look-up, fingerprint, copies under another
// path (View / Overwrite / Cancel), filing into the current category, relocation.
#include "librarytestsupport.h"

#include <backend/documentloader.h>
#include <backend/mupdf/document.h>
#include <library/documentmodel.h>
#include <library/filteredshelfmodel.h>
#include <library/libraryroles.h>
#include <library/librarywidget.h>
#include <library/shelfview.h>
#include <library/tagtreemodel.h>
#include <library/tagtreeview.h>

#include <QCryptographicHash>
#include <QLineEdit>
#include <QTimer>

using namespace Nod::Presentation;
using namespace LibraryTest;
using Nod::Application::DocumentService;

class LibraryImportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    std::unique_ptr<LibraryWidget> m_library;
    QList<BoxAnswer> m_boxes;

    DocumentService *documents() const { return m_fixture->registry()->documentService(); }

    QString pdf(const QString &name)
    {
        const QString path = m_fixture->path(name);
        return writePdf(path, name) ? path : QString();
    }

    static QString md5Of(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex());
    }

    int selectedDocument() const
    {
        return m_library->shelfView()->currentIndex().data(LibraryRole::DocumentId).toInt();
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_library = showLibrary(*m_fixture);
        QVERIFY(m_library);
        m_boxes.clear();
    }
    void cleanup()
    {
        m_library.reset();
        m_fixture.reset();
    }

    void missingFileIsRefusedWithAWarning()
    {
        TestSupport::LogCapture log;
        const QString path = m_fixture->path(QStringLiteral("absent.pdf"));
        answerBox(QStringLiteral("OK"), &m_boxes);
        QCOMPARE(m_library->addFile(path), std::optional<int>());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().title, QStringLiteral("Warning"));
        QCOMPARE(m_boxes.first().text, QStringLiteral("File '%1' not exists.").arg(path));
        QVERIFY(log.contains(QStringLiteral("File '%1' not exist in open file").arg(path)));
        QCOMPARE(documents()->documents().size(), 0);
    }

    void contentDecidesTheType_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("just some notes, not a PDF at all\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("png") << QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    }
    void contentDecidesTheType()
    {
        QFETCH(QByteArray, bytes);
        TestSupport::LogCapture log;
        const QString path = m_fixture->makeFile(QStringLiteral("fake.pdf"), bytes);
        answerBox(QStringLiteral("OK"), &m_boxes);
        QCOMPARE(m_library->addFile(path), std::optional<int>());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().text, QStringLiteral("File '%1' is not a valid PDF/EPUB file.").arg(path));
        QVERIFY(log.contains(QStringLiteral("File '%1' is not a valid PDF/EPUB file.").arg(path)));
        QCOMPARE(documents()->documents().size(), 0);
    }

    // An EPUB is a zip whose container names a package that is there, whose chapters are there:
    // with or without a leading "mimetype" entry. The import takes exactly what the reader opens.
    void epubIsToldByItsPackage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("accepted");
        const QList<ZipEntry> book = epubEntries();
        const QList<ZipEntry> withoutMimetype = book.mid(1);
        QTest::newRow("leading mimetype") << zipOf(book) << true;
        QTest::newRow("no mimetype entry") << zipOf(withoutMimetype) << true;
        QTest::newRow("deflated, package at the top, encoded chapter name") << zipOf(
            { { "META-INF/container.xml", epubContainer("content.opf"), true },
                { "content.opf", epubPackage("Text/Chapter%201.xhtml"), true },
                { "Text/Chapter 1.xhtml", epubChapter(), true } }) << true;

        QList<ZipEntry> missingPackage = withoutMimetype;
        missingPackage[0].content = epubContainer("OEBPS/package.opf");
        QTest::newRow("container names a missing package") << zipOf(missingPackage) << false;
        QList<ZipEntry> missingChapter = book;
        missingChapter.removeLast();
        QTest::newRow("package names a missing chapter") << zipOf(missingChapter) << false;
        QList<ZipEntry> noRoot = withoutMimetype;
        noRoot[0].content = "<container><rootfiles/></container>";
        QTest::newRow("container without a root file") << zipOf(noRoot) << false;
        QTest::newRow("plain zip") << zipOf({ { "notes.txt", "a note" } }) << false;
        QTest::newRow("directory cut off") << zipOf(book).chopped(30) << false;
        // The container's directory entry claims a size far beyond the file.
        QByteArray lying = zipOf(withoutMimetype);
        const int entry = lying.indexOf("PK\x01\x02");
        lying.replace(entry + 20, 8, QByteArray::fromHex("ffffff7fffffff7f"));
        QTest::newRow("entry sizes beyond the file") << lying << false;
        // Everything named is there, but the chapter's compressed bytes do not inflate: only the
        // reader can tell.
        QList<ZipEntry> damaged = book;
        damaged.last().content = damaged.last().content.repeated(20);
        damaged.last().deflated = true;
        QByteArray broken = zipOf(damaged);
        const QByteArray chapterName = "OEBPS/chapter.xhtml";
        const int data = broken.indexOf(chapterName) + chapterName.size();
        for (int i = data + 2; i < data + 30; ++i) {
            broken[i] = char(broken.at(i) ^ 0x5a);
        }
        QTest::newRow("chapter that does not inflate") << broken << false;
    }
    void epubIsToldByItsPackage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, accepted);
        const QString path = m_fixture->makeFile(QStringLiteral("book.epub"), bytes);
        {
            Backend::MuPDF::Document reader(path);
            QCOMPARE(reader.isValid() && reader.pageCount() > 0, accepted);
        }
        // Any box is recorded and closed, so that one shown where none belongs fails at once.
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_boxes.append(BoxAnswer { box->text(), box->informativeText(), box->windowTitle() });
                box->reject();
            }
        });
        closer.start(10);
        const std::optional<int> id = m_library->addFile(path);
        if (accepted) {
            QVERIFY(id && *id > 0);
            QCOMPARE(documents()->document(*id).localUrl(), QFileInfo(path).absoluteFilePath());
            QCOMPARE(m_boxes.size(), 0);
        } else {
            QCOMPARE(id, std::optional<int>());
            QCOMPARE(m_boxes.size(), 1);
            QCOMPARE(
                m_boxes.first().text, QStringLiteral("File '%1' is not a valid PDF/EPUB file.").arg(path));
            QCOMPARE(documents()->documents().size(), 0);
        }
    }

    void databaseFault_refusesTheFileWithAMessage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("counter below ids in use") << QStringLiteral("UPDATE IdSource SET id = id - 2");
        QTest::newRow("empty counter") << QStringLiteral("DELETE FROM IdSource");
        QTest::newRow("two counters") << QStringLiteral("INSERT INTO IdSource SELECT id FROM IdSource");
        QTest::newRow("NULL counter") << QStringLiteral("UPDATE IdSource SET id = NULL");
        QTest::newRow("counter at its maximum") << QStringLiteral("UPDATE IdSource SET id = 2147483647");
        QTest::newRow("read-only database") << QStringLiteral("PRAGMA query_only = 1");
    }

    void databaseFault_refusesTheFileWithAMessage()
    {
        QFETCH(QString, damage);
        // The last ids went to this document and its note.
        addDocument(*m_fixture, QStringLiteral("existing"));
        const QString documentsBefore = rowsOf(QStringLiteral("documents")).join(QLatin1Char('\n'));
        const QString annotationsBefore = rowsOf(QStringLiteral("Annotation")).join(QLatin1Char('\n'));
        TestSupport::exec(damage);

        const QString report = pdf(QStringLiteral("report.pdf"));
        answerBox(QStringLiteral("OK"), &m_boxes);
        QCOMPARE(m_library->addFile(report), std::optional<int>(-1));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().title, QStringLiteral("Warning"));
        QCOMPARE(
            m_boxes.first().text, QStringLiteral("File '%1' could not be added to the library.").arg(report));
        QVERIFY(!m_boxes.first().informative.isEmpty());

        TestSupport::exec(QStringLiteral("PRAGMA query_only = 0"));
        QCOMPARE(rowsOf(QStringLiteral("documents")).join(QLatin1Char('\n')), documentsBefore);
        QCOMPARE(rowsOf(QStringLiteral("Annotation")).join(QLatin1Char('\n')), annotationsBefore);
        QCOMPARE(m_library->documentModel()->rowCount(), 1);
    }

    void pdfAndEpubAreAddedOnceByPath()
    {
        const QString report = pdf(QStringLiteral("report.pdf"));
        const QString book = m_fixture->path(QStringLiteral("book.epub"));
        QVERIFY(writeEpub(book));
        // An EPUB is recognised by its content even under a misleading name.
        const QString disguised = m_fixture->path(QStringLiteral("book-copy.bin"));
        QVERIFY(QFile::copy(book, disguised));
        QFile append(disguised);
        QVERIFY(append.open(QIODevice::Append));
        append.write("\0", 1);
        append.close();

        const std::optional<int> reportId = m_library->addFile(report);
        QVERIFY(reportId && *reportId > 0);
        const std::optional<int> bookId = m_library->addFile(book);
        QVERIFY(bookId && *bookId > 0);
        const std::optional<int> disguisedId = m_library->addFile(disguised);
        QVERIFY(disguisedId && *disguisedId > 0);

        const Nod::Domain::Document stored = documents()->document(*reportId);
        QCOMPARE(stored.title(), QStringLiteral("report.pdf"));
        QCOMPARE(stored.localUrl(), QFileInfo(report).absoluteFilePath());
        QCOMPARE(stored.hash(), md5Of(report));
        QCOMPARE(documents()->document(*bookId).title(), QStringLiteral("book.epub"));
        QCOMPARE(m_library->documentModel()->rowCount(), 3);

        // The same path again: the same id, nothing hashed or asked.
        QCOMPARE(m_library->documentIdForPath(report), reportId);
        QCOMPARE(m_library->addFile(report), reportId);
        QCOMPARE(m_boxes.size(), 0);
        QCOMPARE(documents()->documents().size(), 3);
        QCOMPARE(
            m_library->documentIdForPath(m_fixture->path(QStringLiteral("other.pdf"))), std::optional<int>());
    }

    void fileReadAtStartUp_isAddedWithoutRunningTheEventLoop()
    {
        // Named on the command line and read already: checked and added before the window paints.
        const QString report = pdf(QStringLiteral("early.pdf"));
        Backend::DocumentLoader::startEarly(report);
        QVERIFY(Backend::DocumentLoader::takeEarly(report));
        bool eventsRan = false;
        QTimer::singleShot(0, this, [&eventsRan] { eventsRan = true; });
        const std::optional<int> id = m_library->addFile(report);
        QVERIFY(id && *id > 0);
        QVERIFY(!eventsRan);
        QCOMPARE(documents()->document(*id).hash(), md5Of(report));
        Backend::DocumentLoader::dropEarly();
    }

    // The fingerprint read beside the start is the file's; a file written again since is read again.
    void fingerprintReadAtStartUp_isTheFilesOwn()
    {
        const QString kept = pdf(QStringLiteral("kept.pdf"));
        const QString rewritten = pdf(QStringLiteral("rewritten.pdf"));
        for (const QString &file : { kept, rewritten }) {
            Backend::DocumentLoader::startEarly(file);
            Backend::DocumentLoader::startEarlyFingerprint(file);
        }
        QCOMPARE(
            Backend::DocumentLoader::takeEarlyFingerprint(kept, true), std::optional<QString>(md5Of(kept)));
        QVERIFY(Backend::DocumentLoader::takeEarlyFingerprint(rewritten, true));
        QVERIFY(writePdf(rewritten, QStringLiteral("another text, another length")));
        QCOMPARE(Backend::DocumentLoader::takeEarlyFingerprint(rewritten, true), std::nullopt);

        for (const QString &file : { kept, rewritten }) {
            const std::optional<int> id = m_library->addFile(file);
            QVERIFY(id && *id > 0);
            QCOMPARE(documents()->document(*id).hash(), md5Of(file));
        }
        QVERIFY(md5Of(kept) != md5Of(rewritten));
        Backend::DocumentLoader::dropEarly();
        QCOMPARE(Backend::DocumentLoader::takeEarlyFingerprint(kept, true), std::nullopt);
    }

    void newDocumentIsFiledUnderTheCurrentCategory()
    {
        const int category = m_fixture->registry()->categoryService()->newTag(QStringLiteral("Papers"), 0);
        TagTreeView *tree = m_library->tagTreeView();
        tree->setCurrentIndex(m_library->tagTreeModel()->indexOfTag(category));
        const std::optional<int> filed = m_library->addFile(pdf(QStringLiteral("filed.pdf")));
        QVERIFY(filed && *filed > 0);
        QVERIFY(m_fixture->registry()->categoryService()->tag(category).items().contains(*filed));
        // The shelf shows only that category and the new document is in it.
        QCOMPARE(m_library->shelfModel()->rowCount(), 1);

        tree->setCurrentIndex(m_library->tagTreeModel()->libraryIndex());
        const std::optional<int> loose = m_library->addFile(pdf(QStringLiteral("loose.pdf")));
        QVERIFY(loose && *loose > 0);
        QVERIFY(m_fixture->registry()->categoryService()->tagsOfDocument(*loose).isEmpty());
    }

    void copyUnderAnotherPathOffersViewOverwriteAndCancel()
    {
        const QString original = pdf(QStringLiteral("original.pdf"));
        const std::optional<int> id = m_library->addFile(original);
        QVERIFY(id && *id > 0);
        m_fixture->appendNode(*id, m_fixture->registry()->noteService()->documentNote(*id).id());
        const QString other = pdf(QStringLiteral("other.pdf"));
        QVERIFY(m_library->addFile(other));
        const QString copy = m_fixture->path(QStringLiteral("moved/original copy.pdf"));
        QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
        QVERIFY(QFile::copy(original, copy));

        // View: the existing document is selected, with search and filter cleared; nothing added.
        m_library->searchLine()->setText(QStringLiteral("other"));
        answerBox(QStringLiteral("View"), &m_boxes);
        QCOMPARE(m_library->addFile(copy), std::optional<int>(-1));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(
            m_boxes.first().text, QStringLiteral("Some documents existed with same content fingerprint."));
        QCOMPARE(m_boxes.first().informative, QStringLiteral("Do you want to overwrite it?"));
        QCOMPARE(selectedDocument(), *id);
        QVERIFY(m_library->searchLine()->text().isEmpty());
        QCOMPARE(documents()->documents().size(), 2);

        answerBox(QStringLiteral("Cancel"), &m_boxes);
        QCOMPARE(m_library->addFile(copy), std::optional<int>(-1));
        QCOMPARE(documents()->document(*id).localUrl(), QFileInfo(original).absoluteFilePath());

        // Overwrite: the document now points at the copy and keeps its annotations.
        answerBox(QStringLiteral("Overwrite"), &m_boxes);
        QCOMPARE(m_library->addFile(copy), id);
        QCOMPARE(documents()->document(*id).localUrl(), QFileInfo(copy).absoluteFilePath());
        QCOMPARE(m_fixture->registry()->noteService()->annotationCount(*id), 2);
        QCOMPARE(documents()->documents().size(), 2);
        QCOMPARE(m_library->documentModel()
                     ->index(m_library->documentModel()->rowOfDocument(*id), 5)
                     .data()
                     .toString(),
            QFileInfo(copy).absoluteFilePath());
    }

    void everyDocumentWithTheFingerprintIsOffered()
    {
        const QString first = pdf(QStringLiteral("first.pdf"));
        const std::optional<int> firstId = m_library->addFile(first);
        QVERIFY(firstId);
        // A second record with the same content, as an old library may hold.
        const QString twin = m_fixture->path(QStringLiteral("twin.pdf"));
        QVERIFY(QFile::copy(first, twin));
        const int twinId = documents()->newDocument(md5Of(first), twin, QStringLiteral("twin"));
        QVERIFY(twinId > 0);

        const QString third = m_fixture->path(QStringLiteral("third.pdf"));
        QVERIFY(QFile::copy(first, third));
        answerBoxes({ QStringLiteral("Cancel"), QStringLiteral("Overwrite") }, &m_boxes);
        const std::optional<int> chosen = m_library->addFile(third);
        QCOMPARE(m_boxes.size(), 2);
        QVERIFY(chosen == firstId || chosen == twinId);
        QCOMPARE(documents()->document(*chosen).localUrl(), QFileInfo(third).absoluteFilePath());
    }

    void relocation()
    {
        const QString a = pdf(QStringLiteral("a.pdf"));
        const QString b = pdf(QStringLiteral("b.pdf"));
        const int aId = *m_library->addFile(a);
        const int bId = *m_library->addFile(b);
        m_library->searchLine()->setText(QStringLiteral("a.pdf"));

        // To a file that is already another document's: only that document is selected.
        answerBox(QStringLiteral("OK"), &m_boxes);
        m_library->relocateDocument(aId, b);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().title, QStringLiteral("Document has existed"));
        QCOMPARE(documents()->document(aId).localUrl(), QFileInfo(a).absoluteFilePath());
        QCOMPARE(selectedDocument(), bId);

        const QString moved = m_fixture->path(QStringLiteral("a-moved.pdf"));
        QVERIFY(QFile::rename(a, moved));
        m_library->relocateDocument(aId, moved);
        QCOMPARE(documents()->document(aId).localUrl(), QFileInfo(moved).absoluteFilePath());
        QCOMPARE(m_library->documentIdForPath(moved), std::optional<int>(aId));

        // What an import refuses is refused as the new place too, with the same message, and the
        // stored path stays: a missing file, a text file named as a PDF, a PDF that does not open.
        const QString text = m_fixture->makeFile(QStringLiteral("notes.pdf"), "just some notes\n");
        const QString broken = m_fixture->makeFile(QStringLiteral("broken.pdf"), "%PDF-1.4\nnot really\n");
        const QString nowhere = m_fixture->path(QStringLiteral("nowhere.pdf"));
        m_boxes.clear();
        for (const QString &refused : { nowhere, text, broken }) {
            answerBox(QStringLiteral("OK"), &m_boxes);
            m_library->relocateDocument(aId, refused);
            QCOMPARE(documents()->document(aId).localUrl(), QFileInfo(moved).absoluteFilePath());
            QCOMPARE(m_library->documentIdForPath(refused), std::optional<int>());
        }
        QCOMPARE(m_boxes.size(), 3);
        QCOMPARE(m_boxes.at(0).text, QStringLiteral("File '%1' not exists.").arg(nowhere));
        QCOMPARE(m_boxes.at(1).text, QStringLiteral("File '%1' is not a valid PDF/EPUB file.").arg(text));
        QCOMPARE(m_boxes.at(2).text, QStringLiteral("File '%1' is not a valid PDF/EPUB file.").arg(broken));
        QCOMPARE(documents()->documents().size(), 2);
    }

    void fingerprintOfAFileLargerThanOneChunk()
    {
        // Two chunks of the fingerprint, so that the progress dialog is driven past its first step.
        const QString path = m_fixture->path(QStringLiteral("large.pdf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray chunk(1024 * 1024, 'x');
        chunk.replace(0, 8, "%PDF-1.4");
        for (int i = 0; i < 9; ++i) {
            file.write(chunk);
            chunk[0] = 'y';
        }
        file.close();
        QCOMPARE(m_library->hashWithProgress(path), md5Of(path));
        QCOMPARE(m_library->hashWithProgress(m_fixture->path(QStringLiteral("missing.pdf"))), QString());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void openEmitsOnlyForExistingDocuments()
    {
        const int id = *m_library->addFile(pdf(QStringLiteral("open.pdf")));
        QSignalSpy spy(m_library.get(), &LibraryWidget::openFileRequested);
        m_library->open(-1);
        m_library->open(0);
        m_library->open(id + 1000);
        QCOMPARE(spy.count(), 0);
        m_library->open(id);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<Nod::Domain::Document>().id(), id);
    }
};

QTEST_MAIN(LibraryImportTest)
#include "tst_libraryimport.moc"
