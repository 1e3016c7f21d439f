#include <backend/backendmanager.h>
#include <backend/mupdf/context.h>
#include <backend/mupdf/document.h>
#include <backend/mupdf/page.h>
#include <backend/mupdfbackend.h>
#include <backend/pdfaction.h>
#include <backend/pdfpageevents.h>
#include <backend/rendercookie.h>

#include "testdocuments.h"

#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

using Backend::MuPDF::Document;

namespace {

QSharedPointer<Backend::Page> page(Backend::Document &document, int index)
{
    return document.pageAt(index).toStrongRef();
}

QVector<int> pagesOf(const QVector<Backend::SearchResult> &results)
{
    QVector<int> pages;
    for (const auto &result : results) {
        pages.append(result.pageNumber);
    }
    return pages;
}

class EventSink final : public QObject
{
public:
    int rendered = 0;
    int linksLoaded = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == Backend::PDFPageRenderedEvent::eventType()) {
            ++rendered;
            return true;
        }
        if (event->type() == Backend::PDFLinksLoadedEvent::eventType()) {
            ++linksLoaded;
            return true;
        }
        return QObject::event(event);
    }
};

// Four pages under an inherited media box of 300 × 400: one turned by 90 degrees, one cropped to
// 200 × 100, one with a box of its own turned by 270 degrees, and a page tree entry leading nowhere.
bool writeBoxesPdf(const QString &path)
{
    QByteArray pdf;
    pdf += "%PDF-1.4\n";
    pdf += "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
    pdf += "2 0 obj << /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 99 0 R] /Count 4 /MediaBox [0 0 300 400] "
           "/Resources << >> >> endobj\n";
    pdf += "3 0 obj << /Type /Page /Parent 2 0 R /Rotate 90 /Contents 6 0 R >> endobj\n";
    pdf += "4 0 obj << /Type /Page /Parent 2 0 R /CropBox [50 100 250 200] /Contents 6 0 R >> endobj\n";
    pdf += "5 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 500 100] /Rotate 270 /Contents 6 0 R >> "
           "endobj\n";
    pdf += "6 0 obj << /Length 22 >> stream\n0 0 0 rg 0 0 50 50 re f\nendstream endobj\n";
    pdf += "trailer << /Root 1 0 R >>\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

// One page with a blue square, under a page tree that declares `declared` pages, followed by
// `fillers` objects that are no pages; with a cross-reference table, so nothing is repaired.
bool writeOverstatedPdf(const QString &path, qint64 declared, int fillers)
{
    QList<QByteArray> objects { "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count " + QByteArray::number(declared) + " >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents 4 0 R >>",
        "<< /Length 25 >>\nstream\n0 0 1 rg 20 20 50 50 re f\nendstream" };
    for (int i = 0; i < fillers; ++i) {
        objects.append("(filler)");
    }
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int i = 0; i < objects.size(); ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xrefOffset = pdf.size();
    pdf += xref + "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
        + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xrefOffset) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

// Pages whose objects live in an object stream, found through a cross-reference stream, as long
// documents are written: a media box and a quarter turn inherited from the root, a node of its own
// between, a page with its own box turned back, one cropped and scaled by a user unit, and one
// stored outside the stream.
bool writeObjectStreamPdf(const QString &path)
{
    const QList<QPair<int, QByteArray>> packed {
        { 2, "<< /Type /Pages /Kids [3 0 R 7 0 R 8 0 R] /Count 4 /MediaBox [0 0 300 400] /Rotate 90 >>" },
        { 3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /Count 2 >>" },
        { 4, "<< /Type /Page /Parent 3 0 R /Contents 6 0 R >>" },
        { 5, "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 500 100] /Rotate 270 /Contents 6 0 R >>" },
        { 7, "<< /Type /Page /Parent 2 0 R /Rotate 0 /CropBox [50 100 250 200] /UserUnit 1.5 >>" },
    };
    QByteArray header;
    QByteArray body;
    for (const auto &[number, object] : packed) {
        header += QByteArray::number(number) + ' ' + QByteArray::number(body.size()) + ' ';
        body += object + '\n';
    }
    header += '\n';
    const QByteArray stream = qCompress(header + body).mid(4);

    QByteArray pdf = "%PDF-1.5\n";
    QMap<int, int> offsets;
    const auto add = [&pdf, &offsets](int number, const QByteArray &object) {
        offsets[number] = pdf.size();
        pdf += QByteArray::number(number) + " 0 obj\n" + object + "\nendobj\n";
    };
    add(1, "<< /Type /Catalog /Pages 2 0 R >>");
    add(6, "<< /Length 22 >>\nstream\n0 0 0 rg 0 0 50 50 re f\nendstream");
    add(8, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 250] >>");
    add(10,
        "<< /Type /ObjStm /N " + QByteArray::number(packed.size()) + " /First "
            + QByteArray::number(header.size()) + " /Filter /FlateDecode /Length "
            + QByteArray::number(stream.size()) + " >>\nstream\n" + stream + "\nendstream");
    // Entries of 1 + 4 + 2 bytes: type, offset or stream number, generation or index.
    QByteArray entries;
    const auto entry = [&entries](int type, int field, int index) {
        entries += char(type);
        for (int shift = 24; shift >= 0; shift -= 8) {
            entries += char((field >> shift) & 0xff);
        }
        entries += char((index >> 8) & 0xff);
        entries += char(index & 0xff);
    };
    const int xrefOffset = pdf.size();
    offsets[11] = xrefOffset;
    for (int number = 0; number <= 11; ++number) {
        const int index = int(std::find_if(packed.begin(), packed.end(), [number](const auto &item) {
            return item.first == number;
        }) - packed.begin());
        if (index < packed.size()) {
            entry(2, 10, index);
        } else if (offsets.contains(number)) {
            entry(1, offsets[number], 0);
        } else {
            entry(0, 0, number == 0 ? 0xffff : 0);
        }
    }
    pdf += "11 0 obj\n<< /Type /XRef /Size 12 /W [1 4 2] /Root 1 0 R /Length "
        + QByteArray::number(entries.size()) + " >>\nstream\n" + entries + "\nendstream\nendobj\n";
    pdf += "startxref\n" + QByteArray::number(xrefOffset) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

} // namespace

class TestMuPDFDocument final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void canHandleFile_checksSuffixOnly_data();
    void canHandleFile_checksSuffixOnly();
    void openDocument_refusesUnknownAndUnreadableFiles();

    void textDocument_countsPagesAndBounds();
    void pageSize_followsInheritedBoxesRotationAndMissingPages();
    void pageSizes_readInBulkAgreeWithLoadedPages();
    void pageAt_outsideRange_yieldsNull();
    void text_givesOneRectanglePerUnitAndLineBreaks();
    void text_characterOutsideBasicPlane_takesTwoUnitsWithEqualBoxes();
    void textBoxes_and_selectedText_followTheText();
    void search_findsHitsAndStopsAt1024();
    void documentSearch_visitsPagesInWrapOrder();
    void links_giveUriAndGotoActions();
    void toc_convertsOutlineWithOpenStateAndTargets();

    void password_lockedUntilRightPasswordAndKeptOnReload();
    void epub_opensWithTextAndOutline();

    void render_givesWhitePageWithContentAtResolution();
    void render_renderBoxGivesThatAreaOnly();
    void render_leavesOutHiddenAnnotationsOnly();
    void render_concurrentPagesAndTextFromSeveralThreads();
    void replicas_serveOtherThreadsWhileMainDocumentIsBusy();
    void clearPages_keptPageStillAnswersButDropsRequests();
    void page_outlivesItsDocument();

    void damagedFiles_neverCrash_data();
    void damagedFiles_neverCrash();
    void memoryCeiling_stopsDecompressionBomb();
    void declaredPageCount_isBoundedByTheFileAndMissingPagesAreNotKept_data();
    void declaredPageCount_isBoundedByTheFileAndMissingPagesAreNotKept();
    void cookie_abortsLongRender();

private:
    QTemporaryDir m_dir;
    QString m_numbered;
};

void TestMuPDFDocument::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_numbered = m_dir.filePath(QStringLiteral("numbered.pdf"));
    QVERIFY(TestDocuments::writeNumberedPdf(m_numbered, 10));
}

void TestMuPDFDocument::canHandleFile_checksSuffixOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("mixed-case pdf") << "report.Pdf" << true;
    QTest::newRow("epub") << "book.epub" << true;
    QTest::newRow("upper-case epub") << "/some/dir/BOOK.EPUB" << true;
    QTest::newRow("text") << "notes.txt" << false;
    QTest::newRow("no suffix") << "README" << false;
    QTest::newRow("pdf not last") << "archive.pdf.txt" << false;
}

void TestMuPDFDocument::canHandleFile_checksSuffixOnly()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    MuPDFBackend backend;
    QCOMPARE(backend.name(), QStringLiteral("mupdf"));
    QCOMPARE(backend.canHandleFile(name), accepted);
}

void TestMuPDFDocument::openDocument_refusesUnknownAndUnreadableFiles()
{
    BackendManager *manager = BackendManager::instance();
    QCOMPARE(manager, BackendManager::instance());
    QVERIFY(!manager->openDocument(TestDocuments::data(QStringLiteral("make-fixtures.sh"))));
    QVERIFY(!manager->openDocument(m_dir.filePath(QStringLiteral("missing.pdf"))));
    QVERIFY(!manager->openDocument(TestDocuments::data(QStringLiteral("empty.pdf"))));
    const auto document = manager->openDocument(TestDocuments::data(QStringLiteral("text.pdf")));
    QVERIFY(document);
    QCOMPARE(document->pageCount(), 3);
}

void TestMuPDFDocument::textDocument_countsPagesAndBounds()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    QVERIFY(document.isValid());
    QVERIFY(!document.isLocked());
    QCOMPARE(document.lockState(), int(Document::NoPassword));
    QCOMPARE(document.pageCount(), 3);
    QCOMPARE(page(document, 0)->pageSize(), QSizeF(612, 792));
    QCOMPARE(page(document, 2)->pageSize(), QSizeF(300, 400));
    QCOMPARE(page(document, 2)->pageNumber(), 2);
    // The same page object is handed out again.
    QCOMPARE(page(document, 0), page(document, 0));
}

void TestMuPDFDocument::pageSize_followsInheritedBoxesRotationAndMissingPages()
{
    // Sizes come from the page object before the page is ever loaded; a render, which loads it,
    // must agree with them.
    const QString path = m_dir.filePath(QStringLiteral("boxes.pdf"));
    QVERIFY(writeBoxesPdf(path));
    Document document(path);
    QVERIFY(document.isValid());
    QCOMPARE(document.pageCount(), 4);
    const QVector<QSizeF> sizes { QSizeF(400, 300), QSizeF(200, 100), QSizeF(100, 500) };
    for (int i = 0; i < sizes.size(); ++i) {
        const auto shown = page(document, i);
        QCOMPARE(shown->pageSize(), sizes[i]);
        const QImage image = shown->renderImage(144, 144);
        QCOMPARE(image.size(), (sizes[i] * 2).toSize());
    }
    // The square drawn at the page's origin lands in the corner the turn takes it to.
    const QImage turned = page(document, 0)->renderImage(72, 72);
    QCOMPARE(turned.pixel(10, 10), qRgba(0, 0, 0, 255));
    QCOMPARE(turned.pixel(390, 290), qRgba(255, 255, 255, 255));
    // A page tree entry leading nowhere is a blank page of the library's default size, whether
    // asked for its size or drawn.
    const auto lost = page(document, 3);
    QVERIFY(lost);
    QCOMPARE(lost->pageSize(), QSizeF(612, 792));
    const QImage blank = lost->renderImage(36, 36);
    QCOMPARE(blank.size(), QSize(306, 396));
    QCOMPARE(blank.pixel(5, 390), qRgba(255, 255, 255, 255));
    QVector<QRectF> rects;
    QVERIFY(lost->text(rects).isEmpty());
}

void TestMuPDFDocument::pageSizes_readInBulkAgreeWithLoadedPages()
{
    // Read from the object stream past the library's cache, or (for a tree with an entry leading
    // nowhere) page by page: either way what a page loaded on its own reports.
    const QString packed = m_dir.filePath(QStringLiteral("packed.pdf"));
    QVERIFY(writeObjectStreamPdf(packed));
    const QString boxes = m_dir.filePath(QStringLiteral("boxes.pdf"));
    QVERIFY(writeBoxesPdf(boxes));
    const QVector<QSizeF> expected[] = {
        { QSizeF(400, 300), QSizeF(100, 500), QSizeF(300, 150), QSizeF(250, 200) },
        { QSizeF(400, 300), QSizeF(200, 100), QSizeF(100, 500), QSizeF(612, 792) },
    };
    int file = 0;
    for (const QString &path : { packed, boxes }) {
        Document bulk(path);
        Document single(path);
        QVERIFY2(bulk.isValid(), qPrintable(path));
        const QVector<QSizeF> sizes = bulk.pageSizes();
        QCOMPARE(sizes, expected[file]);
        for (int i = 0; i < sizes.size(); ++i) {
            QCOMPARE(page(single, i)->pageSize(), sizes[i]);
            // A page made after the bulk read takes its size from it and still draws at that size.
            const QImage image = page(bulk, i)->renderImage(72, 72);
            QCOMPARE(image.size(), sizes[i].toSize());
        }
        ++file;
    }
    // The square at the origin of the page turned by inheritance lands where a turn takes it.
    Document bulk(packed);
    bulk.pageSizes();
    QCOMPARE(page(bulk, 0)->renderImage(72, 72).pixel(10, 10), qRgba(0, 0, 0, 255));
    // After a reload the pages ask the library again.
    QVERIFY(bulk.reload());
    QCOMPARE(page(bulk, 1)->pageSize(), QSizeF(100, 500));
}

void TestMuPDFDocument::pageAt_outsideRange_yieldsNull()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const Backend::Document &constDocument = document;
    QVERIFY(!constDocument.pageAt(1)); // not yet created
    QVERIFY(!document.pageAt(-1));
    QVERIFY(!document.pageAt(3));
    QVERIFY(!constDocument.pageAt(3));
    QVERIFY(document.pageAt(1));
    QVERIFY(constDocument.pageAt(1));
}

void TestMuPDFDocument::text_givesOneRectanglePerUnitAndLineBreaks()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    QVector<QRectF> rects;
    const QString text = page(document, 0)->text(rects);
    QVERIFY2(text.startsWith(QStringLiteral("Hello World\nSecond line here\n")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Go to the last page\n")));
    QCOMPARE(rects.size(), text.size());
    // "H" sits left of "e" on the same line, near the top of the page (origin top-left).
    QVERIFY(rects[0].left() < rects[1].left());
    QVERIFY(qAbs(rects[0].top() - rects[1].top()) < 1);
    QVERIFY(rects[0].top() > 60 && rects[0].bottom() < 120);
    // A line break has the previous box's position and no width.
    QCOMPARE(text.at(11), QLatin1Char('\n'));
    QCOMPARE(rects[11].width(), 0.0);
    QCOMPARE(rects[11].left(), rects[10].left());

    QVector<QRectF> blankRects { QRectF(1, 1, 1, 1) };
    QCOMPARE(page(document, 2)->text(blankRects), QString());
    QVERIFY(blankRects.isEmpty());
    QVERIFY(page(document, 2)->textBoxes().isEmpty());
}

void TestMuPDFDocument::text_characterOutsideBasicPlane_takesTwoUnitsWithEqualBoxes()
{
    Document document(TestDocuments::data(QStringLiteral("nonbmp.pdf")));
    QVector<QRectF> rects;
    const QString text = page(document, 0)->text(rects);
    const QString expected = QStringLiteral("x") + QString::fromUcs4(U"\U0001D400") + QStringLiteral("y\n");
    QCOMPARE(text, expected);
    QCOMPARE(rects.size(), 5);
    QCOMPARE(rects[1], rects[2]);
    QVERIFY(rects[1].width() > 0);
    const auto boxes = page(document, 0)->textBoxes();
    QCOMPARE(boxes.size(), 5);
    QVERIFY(boxes[1].character.isHighSurrogate());
    QVERIFY(boxes[2].character.isLowSurrogate());
}

void TestMuPDFDocument::textBoxes_and_selectedText_followTheText()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const auto first = page(document, 0);
    QVector<QRectF> rects;
    const QString text = first->text(rects);
    const auto boxes = first->textBoxes();
    QString joined;
    for (const auto &box : boxes) {
        joined.append(box.character);
        QVERIFY(box.subRects.isEmpty());
    }
    QCOMPARE(joined, text);

    // A selection around the first line only.
    QRectF line;
    for (int i = 0; i < 11; ++i) {
        line = line.united(rects[i]);
    }
    QCOMPARE(first->selectedText({ line.adjusted(-1, -1, 1, 1) }), QStringLiteral("Hello World"));
    // Two lines keep their line break.
    const QRectF twoLines = line.united(rects[12]).united(rects[27]).adjusted(-1, -1, 200, 1);
    QCOMPARE(first->selectedText({ twoLines }), QStringLiteral("Hello World\nSecond line here"));
    QMap<int, QRectF> words { { 1, QRectF() } };
    QCOMPARE(first->selectedText({ QRectF(0, 0, 5, 5) }, &words), QString());
    QVERIFY(words.isEmpty());
}

void TestMuPDFDocument::search_findsHitsAndStopsAt1024()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const auto first = page(document, 0);
    const auto hits = first->search(QStringLiteral("World"), 0);
    QCOMPARE(hits.size(), 1);
    QCOMPARE(hits[0].pageNumber, 0);
    QVector<QRectF> rects;
    const QString text = first->text(rects);
    QVERIFY(hits[0].rect.intersects(rects[text.indexOf(QLatin1String("World"))]));
    QCOMPARE(page(document, 1)->search(QStringLiteral("hello"), 0).size(), 1); // case-insensitive
    // A word broken by a hyphen at a line end is found, while the text keeps both lines as printed.
    const auto hyphenated = page(document, 1)->search(QStringLiteral("experiment"), 0);
    QCOMPARE(hyphenated.size(), 1);
    QVERIFY(hyphenated[0].rect.height() > 20); // spans both lines
    QVERIFY(page(document, 1)->text(rects).contains(QStringLiteral("a long experi-\nment ends here\n")));
    QVERIFY(first->search(QString(), 0).isEmpty());
    QVERIFY(first->search(QStringLiteral("absent words"), 0).isEmpty());

    Document many(TestDocuments::data(QStringLiteral("hits.pdf")));
    QCOMPARE(page(many, 0)->search(QStringLiteral("x"), 0).size(), 1024);
}

void TestMuPDFDocument::documentSearch_visitsPagesInWrapOrder()
{
    Document document(m_numbered);
    QCOMPARE(document.pageCount(), 10);
    // Only created pages are searched.
    page(document, 0);
    page(document, 5);
    QCOMPARE(pagesOf(document.search(QStringLiteral("marker"), 0, 0)), (QVector<int> { 0, 5 }));
    for (int i = 0; i < 10; ++i) {
        page(document, i);
    }
    const int wrap = Backend::Document::SearchWrapAround;
    const int backwards = Backend::Document::SearchBackwards;
    QCOMPARE(pagesOf(document.search(QStringLiteral("marker"), wrap, 3)),
        (QVector<int> { 3, 4, 5, 6, 7, 8, 9, 0, 1, 2 }));
    QCOMPARE(pagesOf(document.search(QStringLiteral("marker"), wrap | backwards, 3)),
        (QVector<int> { 3, 2, 1, 0, 9, 8, 7, 6, 5, 4 }));
    QCOMPARE(pagesOf(document.search(QStringLiteral("marker"), 0, 7)), (QVector<int> { 7, 8, 9 }));
    QCOMPARE(pagesOf(document.search(QStringLiteral("marker"), backwards, 2)), (QVector<int> { 2, 1, 0 }));
    QCOMPARE(pagesOf(document.search(QStringLiteral("Page 7 marker"), wrap, 8)), (QVector<int> { 6 }));
}

void TestMuPDFDocument::links_giveUriAndGotoActions()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const auto first = page(document, 0);
    const auto links = first->loadLinks();
    QCOMPARE(links.size(), 2);
    const PDFURIAction *uri = nullptr;
    const PDFGotoAction *go = nullptr;
    for (const auto &link : links) {
        QCOMPARE(link->type(), 1);
        QCOMPARE(link->page().toStrongRef(), first);
        QVERIFY(link->action());
        if (link->action()->type() == PDFAction::ActionTypeURI) {
            uri = static_cast<const PDFURIAction *>(link->action());
            QVERIFY(link->rect().contains(QPointF(100, 792 - 605)));
        } else {
            go = static_cast<const PDFGotoAction *>(link->action());
        }
    }
    QVERIFY(uri && go);
    QCOMPARE(uri->url(), QUrl(QStringLiteral("https://example.org/nodera")));
    QVERIFY(!uri->isMap());
    QCOMPARE(go->destination().pageNumber(), 2);
    QCOMPARE(go->destination().rect().width(), -1.0);
    QCOMPARE(go->destination().rect().height(), -1.0);
    QCOMPARE(go->destination().rect().x(), 40.0);
    QCOMPARE(go->destination().rect().y(), 20.0); // 380 from the bottom of a 400-point page
    // Cached: the same objects come back.
    QCOMPARE(first->loadLinks().first(), links.first());
    QVERIFY(page(document, 1)->loadLinks().isEmpty());
}

void TestMuPDFDocument::toc_convertsOutlineWithOpenStateAndTargets()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const QList<Backend::PDFToCItem> toc = document.toc();
    QCOMPARE(toc.size(), 3);
    QCOMPARE(toc[0].label(), QStringLiteral("Chapter One"));
    QVERIFY(toc[0].isOpen());
    QCOMPARE(toc[0].children().size(), 1);
    QCOMPARE(toc[0].children()[0].label(), QStringLiteral("Section A"));
    QVERIFY(!toc[1].isOpen());
    QCOMPARE(toc[1].children().size(), 1);

    auto target = [](const Backend::PDFToCItem &item) {
        const auto *go = dynamic_cast<const PDFGotoAction *>(item.action());
        return go ? go->destination() : PDFDestination();
    };
    QCOMPARE(target(toc[0]).pageNumber(), 0);
    QCOMPARE(target(toc[1]).pageNumber(), 1);
    QCOMPARE(target(toc[1]).rect(), QRectF(0, 92, 0, 0));
    QCOMPARE(target(toc[1].children()[0]).pageNumber(), 2);
    QCOMPARE(target(toc[0].children()[0]).rect().x(), 72.0);
    QCOMPARE(toc[2].action()->type(), int(PDFAction::ActionTypeURI));
    QCOMPARE(static_cast<const PDFURIAction *>(toc[2].action())->url(),
        QUrl(QStringLiteral("https://example.org/")));

    // Copies are deep.
    Backend::PDFToCItem copy = toc[0];
    QVERIFY(copy.action() != toc[0].action());
    QCOMPARE(target(copy).pageNumber(), 0);
    QCOMPARE(copy.children()[0].label(), QStringLiteral("Section A"));

    Document noOutline(TestDocuments::data(QStringLiteral("hits.pdf")));
    QVERIFY(noOutline.toc().isEmpty());
}

void TestMuPDFDocument::password_lockedUntilRightPasswordAndKeptOnReload()
{
    Document document(TestDocuments::data(QStringLiteral("locked.pdf")));
    QVERIFY(document.isValid());
    QVERIFY(document.isLocked());
    QCOMPARE(document.lockState(), int(Document::Locked));
    QCOMPARE(document.pageCount(), 3);
    // Pages of a locked document give no text and no crash.
    QVector<QRectF> lockedRects;
    QVERIFY(!page(document, 0)->text(lockedRects).contains(QStringLiteral("Hello")));
    page(document, 0)->renderImage(36, 36);

    QVERIFY(!document.unlock(QStringLiteral("wrong")));
    QVERIFY(document.isLocked());

    QVERIFY(document.unlock(QStringLiteral("secret")));
    QVERIFY(!document.isLocked());
    QCOMPARE(document.lockState(), int(Document::Unlocked));
    QVector<QRectF> rects;
    QVERIFY(page(document, 0)->text(rects).startsWith(QStringLiteral("Hello World")));

    QVERIFY(document.reload());
    QVERIFY(!document.isLocked());
    QCOMPARE(document.pageCount(), 3);
    QVERIFY(page(document, 1)->text(rects).startsWith(QStringLiteral("Page two")));
    QCOMPARE(document.toc().size(), 3);
}

void TestMuPDFDocument::epub_opensWithTextAndOutline()
{
    const auto document
        = BackendManager::instance()->openDocument(TestDocuments::data(QStringLiteral("book.epub")));
    QVERIFY(document);
    QVERIFY(document->pageCount() >= 2);
    QString all;
    for (int i = 0; i < document->pageCount(); ++i) {
        QVector<QRectF> rects;
        all += page(*document, i)->text(rects);
        QVERIFY(!page(*document, i)->renderImage(72, 72).isNull());
    }
    QVERIFY2(all.contains(QStringLiteral("quick brown fox of chapter 2")), qPrintable(all));
    const auto toc = document->toc();
    QCOMPARE(toc.size(), 2);
    QCOMPARE(toc[1].label(), QStringLiteral("Second Chapter"));
    const auto *go = dynamic_cast<const PDFGotoAction *>(toc[1].action());
    QVERIFY(go);
    QVERIFY(go->destination().pageNumber() >= 1);
}

void TestMuPDFDocument::render_givesWhitePageWithContentAtResolution()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const QImage image = page(document, 0)->renderImage(72, 72);
    QCOMPARE(image.size(), QSize(612, 792));
    QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(image.pixel(600, 780), qRgba(255, 255, 255, 255));
    const QImage twice = page(document, 0)->renderImage(144, 72);
    QCOMPARE(twice.size(), QSize(1224, 792));
    // The blue rectangle of the last page: 50..250 × 50..350 points with the origin at the top.
    const QImage last = page(document, 2)->renderImage(72, 72);
    QCOMPARE(last.size(), QSize(300, 400));
    QCOMPARE(last.pixel(100, 100), qRgba(0, 0, 255, 255));
    QCOMPARE(last.pixel(20, 20), qRgba(255, 255, 255, 255));
    // Some text pixels on the first page are dark.
    bool dark = false;
    for (int x = 72; x < 200 && !dark; ++x) {
        for (int y = 70; y < 100 && !dark; ++y) {
            dark = qGray(image.pixel(x, y)) < 100;
        }
    }
    QVERIFY(dark);
    QVERIFY(page(document, 0)->renderImage(0, 72).isNull());
}

void TestMuPDFDocument::render_renderBoxGivesThatAreaOnly()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const auto last = page(document, 2);
    const QImage tile = last->renderImage(72, 72, QRect(40, 40, 20, 20));
    QCOMPARE(tile.size(), QSize(20, 20));
    QCOMPARE(tile.pixel(15, 15), qRgba(0, 0, 255, 255));
    QCOMPARE(tile.pixel(5, 5), qRgba(255, 255, 255, 255));
    // A box reaching past the page is cut at its edge.
    QCOMPARE(last->renderImage(72, 72, QRect(290, 390, 50, 50)).size(), QSize(10, 10));
    QVERIFY(last->renderImage(72, 72, QRect(400, 400, 50, 50)).isNull());

    // With the cache flag the render lands in the document's page cache.
    QCOMPARE(document.pageCache().count(), 0);
    const QImage cached = last->renderImage(36, 36, QRect(), true);
    QCOMPARE(document.pageCache().image(Backend::PDFPageTile { 36, 36, QRect(0, 0, 150, 200), 2 }), cached);
}

void TestMuPDFDocument::render_leavesOutHiddenAnnotationsOnly()
{
    // A red frame at 100..300 × 292..392 and a blue one at 350..550 × 292..392 (top-left origin).
    const QString path = m_dir.filePath(QStringLiteral("framed.pdf"));
    QVERIFY(TestDocuments::writePdfWithAnnotations(path,
        { "<< /Type /Annot /Subtype /Square /Rect [100 400 300 500] /C [1 0 0] /BS << /W 6 >> >>",
            "<< /Type /Annot /Subtype /Square /Rect [350 400 550 500] /C [0 0 1] /BS << /W 6 >> >>" }));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const QPoint redFrame(103, 342);
    const QPoint blueFrame(353, 342);

    Document document(path);
    const auto first = page(document, 0);
    const QImage before = first->renderImage(72, 72, QRect(), true);
    QCOMPARE(before.pixel(redFrame), qRgba(255, 0, 0, 255));
    QCOMPARE(before.pixel(blueFrame), qRgba(0, 0, 255, 255));
    QCOMPARE(document.pageCache().count(), 1);
    const quint64 revision = first->revision();

    document.setHiddenAnnotations({ 6 });
    QVERIFY(first->revision() != revision);
    QCOMPARE(document.pageCache().count(), 0);
    const QImage after = first->renderImage(72, 72);
    QCOMPARE(after.pixel(redFrame), qRgba(255, 255, 255, 255));
    QCOMPARE(after.pixel(blueFrame), qRgba(0, 0, 255, 255));
    // The page contents stay.
    QCOMPARE(after.copy(60, 60, 300, 40), before.copy(60, 60, 300, 40));

    // Setting the same set again keeps the renders kept under it.
    const quint64 hidden = first->revision();
    document.setHiddenAnnotations({ 6 });
    QCOMPARE(first->revision(), hidden);

    // A document opened later leaves nothing out until told, and the file was never written.
    Document other(path);
    QCOMPARE(page(other, 0)->renderImage(72, 72).pixel(redFrame), qRgba(255, 0, 0, 255));
    other.clearPages();
    other.setHiddenAnnotations({ 6, 7 });
    const QImage none = page(other, 0)->renderImage(72, 72);
    QCOMPARE(none.pixel(redFrame), qRgba(255, 255, 255, 255));
    QCOMPARE(none.pixel(blueFrame), qRgba(255, 255, 255, 255));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

void TestMuPDFDocument::render_concurrentPagesAndTextFromSeveralThreads()
{
    Document document(m_numbered);
    QVector<int> indexes;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 10; ++i) {
            indexes.append(i);
        }
    }
    QAtomicInt failures;
    QtConcurrent::blockingMap(indexes, [&](int index) {
        const auto p = document.pageAt(index).toStrongRef();
        QVector<QRectF> rects;
        const QString text = p->text(rects);
        const QImage image = p->renderImage(100, 100);
        if (!text.startsWith(QStringLiteral("Page %1 marker").arg(index + 1)) || image.isNull()
            || qGray(image.pixel(200, 340)) > 10) {
            failures.fetchAndAddOrdered(1);
        }
        if (p->search(QStringLiteral("marker"), 0).size() != 1) {
            failures.fetchAndAddOrdered(1);
        }
    });
    QCOMPARE(failures.loadAcquire(), 0);
}

void TestMuPDFDocument::replicas_serveOtherThreadsWhileMainDocumentIsBusy()
{
    if (QThread::idealThreadCount() < 2) {
        QSKIP("replicas are only made with more than one core");
    }
    // An unlocked password-protected file: replicas must be given the accepted password.
    Document document(TestDocuments::data(QStringLiteral("locked.pdf")));
    QVERIFY(document.unlock(QStringLiteral("secret")));
    const auto second = page(document, 1);
    QCOMPARE(document.context()->replicaCount(), 0);
    QFuture<QString> text;
    QFuture<QImage> image;
    {
        // With the main document held here, other threads can only work through a replica.
        // (waitForFinished could run the job on this thread, which holds the main document.)
        QMutexLocker busy(&document.context()->mutex());
        text = QtConcurrent::run([&] {
            QVector<QRectF> rects;
            return second->text(rects);
        });
        QTRY_VERIFY_WITH_TIMEOUT(text.isFinished(), 10000);
        image = QtConcurrent::run([&] { return page(document, 2)->renderImage(72, 72); });
        QTRY_VERIFY_WITH_TIMEOUT(image.isFinished(), 10000);
    }
    QVERIFY(text.result().startsWith(QStringLiteral("Page two says hello again")));
    QCOMPARE(image.result().pixel(100, 100), qRgba(0, 0, 255, 255));
    QCOMPARE(document.context()->replicaCount(), 1);

    // A reload drops them; an EPUB never gets any.
    QVERIFY(document.reload());
    QCOMPARE(document.context()->replicaCount(), 0);
    // The page kept from before the reload still reads its own document, with text made in a
    // replica that lives on with it.
    QVector<QRectF> rects;
    QVERIFY(second->text(rects).startsWith(QStringLiteral("Page two says hello again")));
    QCOMPARE(second->search(QStringLiteral("hello"), 0).size(), 1);
    QVERIFY(!second->renderImage(36, 36).isNull());
    Document book(TestDocuments::data(QStringLiteral("book.epub")));
    QFuture<QImage> bookImage;
    {
        QMutexLocker busy(&book.context()->mutex());
        bookImage = QtConcurrent::run([&] { return page(book, 0)->renderImage(36, 36); });
        QTest::qWait(100);
        QVERIFY(!bookImage.isFinished());
    }
    QTRY_VERIFY_WITH_TIMEOUT(bookImage.isFinished(), 10000);
    QVERIFY(!bookImage.result().isNull());
    QCOMPARE(book.context()->replicaCount(), 0);
}

void TestMuPDFDocument::clearPages_keptPageStillAnswersButDropsRequests()
{
    Document document(TestDocuments::data(QStringLiteral("text.pdf")));
    const auto kept = page(document, 0);
    EventSink sink;
    kept->requestLinks(&sink);
    QTRY_COMPARE(sink.linksLoaded, 1);

    document.clearPages();
    QVERIFY(!static_cast<const Backend::Document &>(document).pageAt(0));
    QVERIFY(!kept->parent());
    QCOMPARE(kept->pageSize(), QSizeF(612, 792));
    kept->requestRender(&sink, 72, 72, QRect(), false);
    kept->requestLinks(&sink);
    QTest::qWait(200);
    QCOMPARE(sink.rendered, 0);
    QCOMPARE(sink.linksLoaded, 1);
    // A fresh page object replaces it.
    QVERIFY(page(document, 0) != kept);
}

void TestMuPDFDocument::page_outlivesItsDocument()
{
    QSharedPointer<Backend::Page> kept;
    {
        Document document(TestDocuments::data(QStringLiteral("text.pdf")));
        kept = page(document, 2);
        EventSink sink;
        // Requests still queued when the document goes are dropped, not run on a dead document.
        for (int i = 0; i < 20; ++i) {
            page(document, i % 3)->requestRender(&sink, 72 + i, 72, QRect(), false);
        }
    }
    QCOMPARE(kept->pageSize(), QSizeF(300, 400));
    QCOMPARE(kept->renderImage(72, 72).pixel(100, 100), qRgba(0, 0, 255, 255));
}

void TestMuPDFDocument::damagedFiles_neverCrash_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("truncated pdf") << "truncated.pdf";
    QTest::newRow("garbage after header") << "garbage.pdf";
    QTest::newRow("zero bytes") << "empty.pdf";
    QTest::newRow("text named pdf") << "notes-not-pdf.pdf";
    QTest::newRow("truncated epub") << "truncated.epub";
}

void TestMuPDFDocument::damagedFiles_neverCrash()
{
    QFETCH(QString, name);
    Document document(TestDocuments::data(name));
    if (!document.isValid()) {
        QCOMPARE(document.pageCount(), 0);
        QVERIFY(!document.pageAt(0));
        QVERIFY(document.toc().isEmpty());
        QVERIFY(!document.isLocked());
        return;
    }
    for (int i = 0; i < document.pageCount(); ++i) {
        const auto p = page(document, i);
        QVERIFY(p);
        p->renderImage(72, 72);
        QVector<QRectF> rects;
        const QString text = p->text(rects);
        QCOMPARE(rects.size(), text.size());
        p->search(QStringLiteral("the"), 0);
        p->loadLinks();
    }
    document.toc();
    document.search(QStringLiteral("a"), Backend::Document::SearchWrapAround, 0);
}

void TestMuPDFDocument::memoryCeiling_stopsDecompressionBomb()
{
    const QString bomb = m_dir.filePath(QStringLiteral("bomb.pdf"));
    QVERIFY(TestDocuments::writeDecompressionBomb(bomb, 200 << 20));
    QVERIFY(QFileInfo(bomb).size() < 1024 * 1024);
    constexpr size_t ceiling = 48u << 20;
    Document document(bomb, ceiling);
    QVERIFY(document.isValid());
    const QImage image = page(document, 0)->renderImage(72, 72);
    const auto &budget = document.context()->budget();
    QVERIFY(budget.refusals.load() > 0);
    QVERIFY(budget.peak.load() <= ceiling);
    // The page itself still renders (with a substitute font) at a size the ceiling allows.
    QCOMPARE(image.size(), QSize(612, 792));
    QVector<QRectF> rects;
    QCOMPARE(page(document, 0)->text(rects), QStringLiteral("Bomb\n"));
    QVERIFY(page(document, 0)->renderImage(72 * 40, 72 * 40).isNull()); // 24480 × 31680 pixels
}

void TestMuPDFDocument::declaredPageCount_isBoundedByTheFileAndMissingPagesAreNotKept_data()
{
    QTest::addColumn<qint64>("declared");
    QTest::newRow("beyond 32 bits") << qint64(9999999999);
    QTest::newRow("twenty million") << qint64(20000000);
}

void TestMuPDFDocument::declaredPageCount_isBoundedByTheFileAndMissingPagesAreNotKept()
{
    QFETCH(qint64, declared);
    const QString path = m_dir.filePath(QStringLiteral("overstated.pdf"));
    constexpr int fillers = 40;
    QVERIFY(writeOverstatedPdf(path, declared, fillers));
    Document document(path);
    QVERIFY(document.isValid());
    // No more pages than objects in the file: one page each at most.
    QVERIFY(document.pageCount() > 1);
    QVERIFY(document.pageCount() <= fillers + 5);

    // The page that exists draws; the others are missing every time they are asked for, and
    // nothing is kept for them.
    const auto first = page(document, 0);
    QVERIFY(first);
    QCOMPARE(first->pageSize(), QSizeF(200, 300));
    QCOMPARE(first->renderImage(72, 72).pixel(40, 260), qRgba(0, 0, 255, 255));
    const Backend::Document &constDocument = document;
    for (int round = 0; round < 2; ++round) {
        for (int i = 1; i < document.pageCount(); ++i) {
            QVERIFY(!document.pageAt(i));
            QVERIFY(!constDocument.pageAt(i));
        }
    }
    QCOMPARE(constDocument.pageAt(0).toStrongRef(), first);
    const QVector<Backend::SearchResult> hits = document.search(QStringLiteral("x"),
        Backend::Document::SearchWrapAround | Backend::Document::SearchBackwards, document.pageCount() - 1);
    QVERIFY(hits.isEmpty());
}

void TestMuPDFDocument::cookie_abortsLongRender()
{
    Document document(TestDocuments::data(QStringLiteral("nested-forms.pdf")));
    const auto p = page(document, 0);
    Backend::RenderCookie cookie;
    QFuture<QImage> render
        = QtConcurrent::run([&] { return p->renderImage(150, 150, QRect(), false, &cookie); });
    QTest::qWait(150);
    QVERIFY(!render.isFinished());
    cookie.abort();
    QTRY_VERIFY_WITH_TIMEOUT(render.isFinished(), 10000);
    QVERIFY(cookie.isAborted());
    QVERIFY(render.result().isNull());
    // An aborted cookie stops a render before it starts.
    QVERIFY(page(document, 0)->renderImage(10, 10, QRect(), false, &cookie).isNull());
    cookie.reset();
    QVERIFY(!page(document, 0)->renderImage(10, 10, QRect(), false, &cookie).isNull());
}

QTEST_MAIN(TestMuPDFDocument)
#include "tst_mupdfdocument.moc"
