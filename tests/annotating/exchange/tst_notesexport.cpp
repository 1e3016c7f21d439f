#include "exchangefixture.h"

#include <annotating/exchange/notesexporter.h>
#include <application/resourceservice.h>

#include <QDirIterator>
#include <QRegularExpression>
#include <QXmlStreamReader>

using Nod::Domain::Marker;
using Nod::Domain::TextRects;
using Nod::Exchange::NotesExporter;
using Nod::Exchange::NotesFormat;

class NotesExportTest : public QObject
{
    Q_OBJECT

private:
    struct Library
    {
        int documentId = 0;
        QByteArray imagePng;
        QString imageHash;
    };

    // Page 1 holds, top to bottom, a rectangle, a highlight of "beta" with a nested note on page 2,
    // and an underline; page 2 holds a horizontal line, added first of all.
    Library build(ExchangeFixture &f)
    {
        Library lib;
        const QString pdf = f.writePdf();
        lib.documentId = f.addDocument(pdf);
        auto *docs = f.registry()->documentService();
        docs->changeOverview(lib.documentId, QStringLiteral("First line of the overview\nSecond # line"));
        const int root = f.rootOf(lib.documentId);
        f.registry()->noteService()->changeNote(root, QStringLiteral("<p>About the whole book</p>"));

        f.annotate(lib.documentId, root, 1, Marker(QRectF(60, 200, 200, 40)),
            QStringLiteral("<p>Last page line</p>"), { Marker(QLineF(60, 220, 260, 220), QPen(Qt::red, 2)) });
        const int highlight = f.annotate(lib.documentId, root, 0,
            Marker(ExchangeFixture::wordBoxes(pdf, 0, QStringLiteral("beta")), Marker::NoLine, Qt::NoPen,
                QColor(255, 255, 0, 128)),
            QStringLiteral(
                "<p>Plain <b>bold</b> and <i>italic</i>, *not bold* &lt;script&gt;alert(1)&lt;/script&gt;</p>"
                "<ul><li>first</li><li>second<ul><li>nested</li></ul></li></ul>"
                "<ol><li>one</li><li>two</li></ol>"
                "<p><a href=\"https://example.org/a b\">web</a> <a "
                "href=\"javascript:alert(1)\">evil</a></p>"));
        lib.imagePng = ServiceFixture::pngBytes(Qt::green);
        lib.imageHash
            = QString::fromLatin1(QCryptographicHash::hash(lib.imagePng, QCryptographicHash::Sha1).toHex());
        f.annotate(lib.documentId, highlight, 1,
            Marker(QPolygonF(QRectF(300, 500, 50, 20)), Marker::NoLine, Qt::NoPen, QColor(0, 255, 0, 128)),
            QStringLiteral("<p>Child <img src=\"database:%1\"/><img src=\"database:../../escape\"/></p>")
                .arg(lib.imageHash));
        const int child = f.registry()->noteService()->annotation(highlight).children().constFirst();
        f.registry()->resourceService()->handle(ServiceFixture::imageRequest(child, lib.imagePng));
        // A stored name that is not a hash must not lead a picture file out of its folder.
        f.registry()->resourceService()->handle({ child, "../../escape", QSize(4, 3), lib.imagePng });
        f.annotate(lib.documentId, root, 0,
            Marker(ExchangeFixture::wordBoxes(pdf, 0, QStringLiteral("line")), Marker::Underline,
                QPen(Qt::red, 2), Qt::NoBrush));
        const int rectangle = f.annotate(lib.documentId, root, 0,
            Marker(QPolygonF(QRectF(290, 390, 120, 80)), Marker::AllEdges, QPen(Qt::red, 2), Qt::NoBrush),
            QStringLiteral("<p>Blue box</p>"));
        const int tag = f.registry()->tagService()->newTag(QStringLiteral("figures"), 0);
        f.registry()->tagService()->addItem(tag, rectangle);
        return lib;
    }

    static QString read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void markdown_keepsReadingOrderNestingTextAndImages()
    {
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const Library lib = build(f);
        auto *r = f.registry();
        NotesExporter out(r->documentService(), r->noteService(), r->resourceService(), r->tagService());
        const QString file = f.path(QStringLiteral("My notes.md"));
        QVERIFY2(out.exportNotes(lib.documentId, file, NotesFormat::Markdown), qPrintable(out.errorString()));
        const QString md = read(file);

        QVERIFY(md.startsWith(QStringLiteral("# A \\<Book\\> \\& \\*notes\\*\n")));
        QVERIFY(md.contains(QStringLiteral("\\# line")) || md.contains(QStringLiteral("Second # line")));
        QVERIFY(md.contains(QStringLiteral("About the whole book")));

        // Page 1 top to bottom, the nested note right after its parent and one level deeper, then page 2.
        const QStringList headings = [&] {
            QStringList h;
            for (const QString &line : md.split(QLatin1Char('\n'))) {
                if (line.startsWith(QStringLiteral("##"))) {
                    h << line;
                }
            }
            return h;
        }();
        QCOMPARE(headings,
            QStringList({ QStringLiteral("## Page 1 \u00b7 Highlight"),
                QStringLiteral("### Page 2 \u00b7 Area highlight"),
                QStringLiteral("## Page 1 \u00b7 Underline"), QStringLiteral("## Page 1 \u00b7 Rectangle"),
                QStringLiteral("## Page 2 \u00b7 Line") }));

        QVERIFY(md.contains(QStringLiteral("> beta\n")));
        QVERIFY(md.contains(QStringLiteral("> line\n")));
        QVERIFY(md.contains(QStringLiteral("**bold**")));
        QVERIFY(md.contains(QStringLiteral("*italic*")));
        QVERIFY(md.contains(QStringLiteral("\\*not bold\\* \\<script\\>")));
        QVERIFY(md.contains(QStringLiteral("- first\n- second\n    - nested\n\n1. one\n2. two")));
        QVERIFY(md.contains(QStringLiteral("[web](https://example.org/a%20b)")));
        QVERIFY(!md.contains(QStringLiteral("javascript")));
        QVERIFY(md.contains(QStringLiteral("evil")));
        QVERIFY(md.contains(QStringLiteral("*Tags:* figures")));

        // Every picture the text names is a file in the folder named after the export.
        const QRegularExpression pictures(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+)\\)"));
        QStringList targets;
        for (auto it = pictures.globalMatch(md); it.hasNext();) {
            targets << QUrl::fromPercentEncoding(it.next().captured(1).toUtf8());
        }
        QCOMPARE(targets.size(), 4); // the note image and the excerpts of the two areas and the line
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("../escape.png"))));
        for (const QString &target : qAsConst(targets)) {
            QVERIFY2(target.startsWith(QStringLiteral("My notes_files/")), qPrintable(target));
            QVERIFY2(QFileInfo::exists(f.path(target)), qPrintable(target));
        }
        QFile image(f.path(QStringLiteral("My notes_files/") + lib.imageHash + QStringLiteral(".png")));
        QVERIFY(image.open(QIODevice::ReadOnly));
        QCOMPARE(image.readAll(), lib.imagePng);
        // The rectangle's excerpt shows the blue box of the page under the red outline.
        const QImage excerpt(f.path(targets.at(2)));
        QVERIFY(!excerpt.isNull());
        const QColor middle = excerpt.pixelColor(excerpt.width() / 2, excerpt.height() / 2);
        QVERIFY2(middle.blue() > 150 && middle.red() < 100, qPrintable(middle.name()));
        QCOMPARE(excerpt.pixelColor(2, excerpt.height() / 2).red(), 255);
    }

    void html_isOneSelfContainedWellFormedFile()
    {
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const Library lib = build(f);
        auto *r = f.registry();
        NotesExporter out(r->documentService(), r->noteService(), r->resourceService(), r->tagService());
        const QString file = f.path(QStringLiteral("notes.html"));
        QVERIFY2(out.exportNotes(lib.documentId, file, NotesFormat::Html), qPrintable(out.errorString()));

        QFile input(file);
        QVERIFY(input.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&input);
        QStringList sections; // heading of each section, indented by its nesting
        int sectionDepth = 0;
        QStringList imageSources;
        QStringList elements;
        QString text;
        QString pendingHeading;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                elements << xml.name().toString();
                if (xml.name() == QLatin1String("section")) {
                    ++sectionDepth;
                } else if (xml.name() == QLatin1String("img")) {
                    imageSources << xml.attributes().value(QStringLiteral("src")).toString();
                } else if (xml.name().startsWith(QLatin1Char('h')) && sectionDepth > 0) {
                    sections << QString(sectionDepth - 1, QLatin1Char(' ')) + xml.readElementText();
                }
            } else if (xml.isEndElement() && xml.name() == QLatin1String("section")) {
                --sectionDepth;
            } else if (xml.isCharacters()) {
                text += xml.text();
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(sections,
            QStringList({ QStringLiteral("Page 1 \u00b7 Highlight"),
                QStringLiteral(" Page 2 \u00b7 Area highlight"), QStringLiteral("Page 1 \u00b7 Underline"),
                QStringLiteral("Page 1 \u00b7 Rectangle"), QStringLiteral("Page 2 \u00b7 Line") }));
        QVERIFY(!elements.contains(QStringLiteral("script")));
        QVERIFY(text.contains(QStringLiteral("<script>alert(1)</script>")));
        QVERIFY(text.contains(QStringLiteral("A <Book> & *notes*")));
        QVERIFY(text.contains(QStringLiteral("beta")));
        QCOMPARE(imageSources.size(), 4);
        for (const QString &source : qAsConst(imageSources)) {
            QVERIFY(source.startsWith(QStringLiteral("data:image/png;base64,")));
        }
        QVERIFY(imageSources.contains(
            QStringLiteral("data:image/png;base64,") + QString::fromLatin1(lib.imagePng.toBase64())));
        QVERIFY(elements.contains(QStringLiteral("ul")) && elements.contains(QStringLiteral("ol")));
        QVERIFY(!read(file).contains(QStringLiteral("javascript")));
    }

    void cancelledExport_leavesTheEarlierFileAndNoTraces()
    {
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const Library lib = build(f);
        auto *r = f.registry();
        NotesExporter out(r->documentService(), r->noteService(), r->resourceService(), r->tagService());
        const QString file = f.path(QStringLiteral("notes.md"));
        {
            QFile earlier(file);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier");
        }
        QList<int> steps;
        connect(&out, &NotesExporter::progressChanged, &out, [&](int done, int total) {
            QCOMPARE(total, 5);
            steps << done;
            if (done == 3) {
                out.cancel();
            }
        });
        QVERIFY(!out.exportNotes(lib.documentId, file, NotesFormat::Markdown));
        QVERIFY(out.wasCanceled());
        QCOMPARE(steps, QList<int>({ 0, 1, 2, 3 }));
        QCOMPARE(read(file), QStringLiteral("earlier"));
        const QStringList left
            = QDir(f.path(QString())).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(left.filter(QStringLiteral("notes_files")).size()
                + left.filter(QStringLiteral(".nodera-export")).size(),
            0);

        // A document that is not in the library is refused without writing anything.
        QVERIFY(!out.exportNotes(
            lib.documentId + 1000, f.path(QStringLiteral("none.md")), NotesFormat::Markdown));
        QVERIFY(!out.errorString().isEmpty());
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("none.md"))));
        QCOMPARE(Nod::Exchange::safeFileName(QStringLiteral("../a/b:c*?\n.")), QStringLiteral("_a_b_c___"));
        QCOMPARE(Nod::Exchange::safeFileName(QStringLiteral("  ...  ")), QStringLiteral("Notes"));
    }

    void markdown_neverTouchesAPicturesFolderItDidNotWriteAlone()
    {
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const Library lib = build(f);
        auto *r = f.registry();
        NotesExporter out(r->documentService(), r->noteService(), r->resourceService(), r->tagService());
        const auto put = [&](const QString &name) {
            QVERIFY(QDir().mkpath(QFileInfo(f.path(name)).absolutePath()));
            QFile file(f.path(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("mine");
        };

        // A folder of the pictures' name that the user keeps.
        put(QStringLiteral("notes_files/holiday.png"));
        QVERIFY(!out.exportNotes(lib.documentId, f.path(QStringLiteral("notes.md")), NotesFormat::Markdown));
        QVERIFY2(out.errorString().contains(QStringLiteral("notes_files")), qPrintable(out.errorString()));
        QVERIFY(!QFileInfo::exists(f.path(QStringLiteral("notes.md"))));
        QCOMPARE(read(f.path(QStringLiteral("notes_files/holiday.png"))), QStringLiteral("mine"));

        // The export's own folder, once the user added a file to it, is no longer the export's to replace.
        const QString other = f.path(QStringLiteral("other.md"));
        QVERIFY(out.exportNotes(lib.documentId, other, NotesFormat::Markdown));
        const QString written = read(other);
        put(QStringLiteral("other_files/added.png"));
        QVERIFY(!out.exportNotes(lib.documentId, other, NotesFormat::Markdown));
        QCOMPARE(read(other), written);
        QCOMPARE(read(f.path(QStringLiteral("other_files/added.png"))), QStringLiteral("mine"));
        QVERIFY(QDir(f.path(QStringLiteral("other_files"))).count() > 3);
    }
};

QTEST_MAIN(NotesExportTest)
#include "tst_notesexport.moc"
