#include "exchangefixture.h"
#include "support/tabfixture.h"

#include <annotating/exchange/notetext.h>
#include <annotating/exchange/pdfannotations.h>
#include <app/storage/settings.h>
#include <application/startgate.h>
#include <domain/hashgenerator.h>
#include <reading/tab/documentwidget.h>

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>

#include <memory>

using Nod::Domain::Annotation;
using Nod::Domain::Marker;
using Nod::Domain::TextRects;
using Nod::Exchange::PdfAnnotationRecord;
using Nod::Presentation::DocumentWidget;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray numbers(std::initializer_list<double> values)
{
    QByteArray text;
    for (double value : values) {
        text += QByteArray::number(value) + ' ';
    }
    return text;
}

// Where the file's own annotations draw, in pixels at 72 dpi with the origin at the top left.
const QPoint kRedSquareEdge(103, 342);
const QPoint kBlueCircleEdge(352, 362);

int darkShare(const QImage &image, const QRect &area)
{
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            dark += qGray(image.pixel(x, y)) < 80 ? 1 : 0;
        }
    }
    return 100 * dark / (area.width() * area.height());
}

bool hasBlue(const QImage &image, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 100 && c.green() < 100) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

// The tab's "Notes in and out" menu over a real database, with a PDF annotated by another program:
// the offer on first opening, the import and its undo, the notes and the annotated copy written and
// read back, and pages that no longer draw the annotations that became marks.
class TabExchangeTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ExchangeFixture> m_f;
    QStringList m_boxes; // the texts of the message boxes answered
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
    QString m_saveAs;
    QRect m_highlightArea; // pixels at 72 dpi

    // Answers every dialog the tab opens: file dialogs with m_saveAs, questions with m_answer.
    void answerDialogs()
    {
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                // Later, so that a question the dialog asks (replace the file?) is answered too.
                if (!dialog->property("answered").toBool()) {
                    dialog->setProperty("answered", true);
                    QTimer::singleShot(0, dialog, [this, dialog] {
                        // Typed, as a user would: the dialog leaves a focused name field alone.
                        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(m_saveAs);
                        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
                    });
                }
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                m_boxes.append(box->text());
                QAbstractButton *button = box->button(m_answer);
                (button ? button : box->buttons().constFirst())->click();
            }
        });
        poll->start(20);
    }

    // A PDF with a highlight without a colour (and its popup) drawn tighter than the word's letters,
    // a red square, a blue circle, blue free text and a stamp: the objects 6 to 11.
    QString writeAnnotatedElsewhere()
    {
        const QString pdf = m_f->path(QStringLiteral("elsewhere.pdf"));
        if (!TestDocuments::writePdfWithAnnotations(pdf, {})) {
            return {};
        }
        QRectF word;
        for (const QRectF &box : ExchangeFixture::wordBoxes(pdf, 0, QStringLiteral("Annotated"))) {
            word = word.united(box);
        }
        const QRectF tight = word.adjusted(1, word.height() / 5, -1, -word.height() / 5);
        m_highlightArea = tight.toAlignedRect().adjusted(1, 1, -1, -1);
        const double top = 792 - tight.top();
        const double bottom = 792 - tight.bottom();
        const QByteArray quad
            = numbers({ tight.left(), top, tight.right(), top, tight.left(), bottom, tight.right(), bottom });
        const bool written = TestDocuments::writePdfWithAnnotations(pdf,
            { "<< /Type /Annot /Subtype /Highlight /Rect ["
                    + numbers({ tight.left(), bottom, tight.right(), top }) + "] /QuadPoints [" + quad
                    + "] /Contents (Key word) /Popup 11 0 R >>",
                "<< /Type /Annot /Subtype /Square /Rect [100 400 300 500] /C [1 0 0] /BS << /W 6 >> >>",
                "<< /Type /Annot /Subtype /Circle /Rect [350 380 550 480] /C [0 0 1] /BS << /W 4 >> >>",
                "<< /Type /Annot /Subtype /FreeText /Rect [100 250 400 300] /Contents (Read this first) "
                "/DA (/Helv 14 Tf 0 0 1 rg) >>",
                "<< /Type /Annot /Subtype /Stamp /Rect [400 600 500 650] /Name /Approved >>",
                "<< /Type /Annot /Subtype /Popup /Parent 6 0 R /Rect [300 700 400 750] >>" });
        return written ? pdf : QString();
    }

    int addDocument(const QString &pdf)
    {
        return m_f->registry()->documentService()->newDocument(
            Nod::Domain::HashGenerator().generate(pdf), pdf, QStringLiteral("Elsewhere"));
    }

    std::unique_ptr<DocumentWidget> openTab(int documentId)
    {
        return openDocumentTab(*m_f, documentId, QSize(1000, 700));
    }

    static QAction *menuEntry(DocumentWidget &tab, const QString &name)
    {
        QMenu *menu = tab.findChild<QToolButton *>(QStringLiteral("exchange"))->menu();
        return menu->findChild<QAction *>(name);
    }

    static QImage pageOf(DocumentWidget &tab)
    {
        return tab.document()->pageAt(0).toStrongRef()->renderImage(72, 72);
    }

    QVector<Annotation> marksOf(int documentId) const
    {
        auto *notes = m_f->registry()->noteService();
        QVector<Annotation> marks;
        for (int id : notes->documentNote(documentId).children()) {
            marks.append(notes->annotation(id));
        }
        return marks;
    }

private slots:
    void init()
    {
        m_f = std::make_unique<ExchangeFixture>();
        QVERIFY(m_f->isValid());
        m_f->install();
        // What was offered and brought in is remembered in the settings file, per document id.
        QFile::remove(Common::Infrastructure::Settings::filePath());
        m_boxes.clear();
        m_answer = QMessageBox::Yes;
        answerDialogs();
    }

    void cleanup()
    {
        Nod::Application::StartGate::open();
        qDeleteAll(findChildren<QTimer *>());
        m_f.reset();
    }

    void firstOpening_offersTheImport_andPagesStopDrawingWhatBecameMarks()
    {
        const QString pdf = writeAnnotatedElsewhere();
        QVERIFY(!pdf.isEmpty());
        const QByteArray original = bytesOf(pdf);
        // As the file draws its annotations: the frames, a black bar over the word, blue text.
        const QImage drawn
            = BackendManager::instance()->openDocument(pdf)->pageAt(0).toStrongRef()->renderImage(72, 72);
        QCOMPARE(drawn.pixel(kRedSquareEdge), qRgb(255, 0, 0));
        QCOMPARE(drawn.pixel(kBlueCircleEdge), qRgb(0, 0, 255));
        QVERIFY(darkShare(drawn, m_highlightArea) > 90);
        QVERIFY(hasBlue(drawn, QRect(100, 492, 300, 50)));

        const int documentId = addDocument(pdf);
        std::unique_ptr<DocumentWidget> tab = openTab(documentId);
        QVERIFY(tab);
        QTRY_COMPARE(m_boxes.size(), 1);
        QVERIFY2(
            m_boxes.at(0).contains(QStringLiteral("carries 4 annotation(s)")), qPrintable(m_boxes.at(0)));
        QVERIFY2(
            m_boxes.at(0).contains(QStringLiteral("Stamp (page 1): this program has no mark of that kind.")),
            qPrintable(m_boxes.at(0)));
        QVERIFY(!m_boxes.at(0).contains(QStringLiteral("Popup")));

        const QVector<Annotation> marks = marksOf(documentId);
        QCOMPARE(marks.size(), 4);
        QCOMPARE(tab->undoStack()->count(), 1);
        // Reading order: the highlight, the square, the circle, the free text.
        const Marker highlight = marks.at(0).canvas();
        QCOMPARE(highlight.shape().userType(), qMetaTypeId<TextRects>());
        QCOMPARE(highlight.brush().color(), QColor(255, 255, 0, 128));
        QCOMPARE(Nod::Exchange::notePlainText(marks.at(0).noteText()), QStringLiteral("Key word"));
        QCOMPARE(marks.at(1).canvas().pen().color().rgb(), QColor(Qt::red).rgb());
        const Marker circle = marks.at(2).canvas();
        QCOMPARE(circle.shape().userType(), int(QMetaType::QPolygonF));
        QCOMPARE(circle.shape().value<QPolygonF>().size(), 12);
        QCOMPARE(circle.outline(), Marker::AllEdges);
        QCOMPARE(circle.pen().color().rgb(), QColor(Qt::blue).rgb());
        QCOMPARE(circle.pen().widthF(), 4.0);
        const QRectF circleBox
            = circle.shape().value<QPolygonF>().boundingRect().translated(marks.at(2).position());
        QVERIFY(qAbs(circleBox.left() - 352) < 0.5 && qAbs(circleBox.bottom() - 410) < 0.5);
        const Marker freeText = marks.at(3).canvas();
        QCOMPARE(freeText.shape().userType(), int(QMetaType::QPolygonF));
        QCOMPARE(freeText.pen().color().rgb(), QColor(Qt::blue).rgb());
        QCOMPARE(Nod::Exchange::notePlainText(marks.at(3).noteText()), QStringLiteral("Read this first"));

        // The page no longer draws what became marks; the stamp still draws, the file is as it was.
        QImage page = pageOf(*tab);
        QCOMPARE(page.pixel(kRedSquareEdge), qRgb(255, 255, 255));
        QCOMPARE(page.pixel(kBlueCircleEdge), qRgb(255, 255, 255));
        QVERIFY(darkShare(page, m_highlightArea) < 50);
        QVERIFY(!hasBlue(page, QRect(100, 492, 300, 50)));
        QCOMPARE(page.copy(390, 140, 120, 60), drawn.copy(390, 140, 120, 60));
        QCOMPARE(bytesOf(pdf), original);

        // Undone, the marks go and the file's annotations draw again; redone, they are marks again.
        tab->undoStack()->undo();
        QVERIFY(marksOf(documentId).isEmpty());
        QTRY_COMPARE(pageOf(*tab).pixel(kRedSquareEdge), qRgb(255, 0, 0));
        QVERIFY(darkShare(pageOf(*tab), m_highlightArea) > 90);
        tab->undoStack()->redo();
        QTRY_COMPARE(pageOf(*tab).pixel(kRedSquareEdge), qRgb(255, 255, 255));

        // Opened again: no second offer, and the pages leave the imported annotations out from the start.
        tab->closeDocument();
        tab.reset();
        tab = openTab(documentId);
        QVERIFY(tab);
        QTest::qWait(300);
        QCOMPARE(m_boxes.size(), 1);
        page = pageOf(*tab);
        QCOMPARE(page.pixel(kBlueCircleEdge), qRgb(255, 255, 255));
        QVERIFY(darkShare(page, m_highlightArea) < 50);
    }

    // A start holds the reading of the file until its first page is shown; a tab closed meanwhile
    // reads nothing.
    void heldStart_offersOnceTheGateOpens()
    {
        const QString pdf = writeAnnotatedElsewhere();
        QVERIFY(!pdf.isEmpty());
        const int documentId = addDocument(pdf);
        Nod::Application::StartGate::hold();
        std::unique_ptr<DocumentWidget> closed = openTab(documentId);
        QVERIFY(closed);
        closed.reset();
        std::unique_ptr<DocumentWidget> tab = openTab(documentId);
        QVERIFY(tab);
        QTest::qWait(300);
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(marksOf(documentId).isEmpty());

        Nod::Application::StartGate::open();
        QTRY_COMPARE(m_boxes.size(), 1);
        QCOMPARE(marksOf(documentId).size(), 4);
        QTest::qWait(200);
        QCOMPARE(m_boxes.size(), 1);
    }

    void menuEntries_workThroughTheTab_andTheirFilesReadBack()
    {
        const QString pdf = writeAnnotatedElsewhere();
        QVERIFY(!pdf.isEmpty());
        const int documentId = addDocument(pdf);
        m_answer = QMessageBox::No;
        std::unique_ptr<DocumentWidget> tab = openTab(documentId);
        QVERIFY(tab);
        QTRY_COMPARE(m_boxes.size(), 1);
        QVERIFY(marksOf(documentId).isEmpty());
        QCOMPARE(pageOf(*tab).pixel(kRedSquareEdge), qRgb(255, 0, 0));

        // Declined on opening, the import is still in the menu.
        m_answer = QMessageBox::Yes;
        menuEntry(*tab, QStringLiteral("importAnnotations"))->trigger();
        QCOMPARE(m_boxes.size(), 2);
        QVERIFY2(m_boxes.at(1).contains(QStringLiteral("Bring 4 annotation(s)")), qPrintable(m_boxes.at(1)));
        QVERIFY(m_boxes.at(1).contains(QStringLiteral("Stamp (page 1)")));
        QCOMPARE(marksOf(documentId).size(), 4);
        QCOMPARE(pageOf(*tab).pixel(kRedSquareEdge), qRgb(255, 255, 255));
        menuEntry(*tab, QStringLiteral("importAnnotations"))->trigger();
        QCOMPARE(m_boxes.size(), 3);
        QVERIFY2(m_boxes.at(2).startsWith(
                     QStringLiteral("Every annotation of this PDF is among the marks already.")),
            qPrintable(m_boxes.at(2)));

        // A mark of two lines drawn with one pen.
        const int root = m_f->rootOf(documentId);
        const QPen pen(QColor(0, 128, 0), 3);
        const int lines = m_f->annotate(documentId, root, 0, Marker(QRectF(72, 600, 300, 40)),
            QStringLiteral("<p>Two lines</p>"),
            { Marker(QLineF(72, 610, 372, 610), pen), Marker(QLineF(72, 630, 300, 630), pen) });

        // Notes out as Markdown: the word under the tight highlight is quoted, the areas have pictures.
        const QString notes = m_f->path(QStringLiteral("out/notes.md"));
        QVERIFY(QDir().mkpath(m_f->path(QStringLiteral("out"))));
        m_saveAs = notes;
        menuEntry(*tab, QStringLiteral("exportNotes"))->trigger();
        const QString markdown = QString::fromUtf8(bytesOf(notes));
        QVERIFY2(markdown.contains(QStringLiteral("> Annotated\n")),
            qPrintable(markdown + m_boxes.join(QLatin1Char('|'))));
        QVERIFY(markdown.contains(QStringLiteral("Read this first")));
        QVERIFY(markdown.contains(QStringLiteral("Two lines")));
        const int square = marksOf(documentId).at(1).id();
        QDir pictures(m_f->path(QStringLiteral("out/notes_files")));
        const QString squarePicture = QStringLiteral("excerpt-%1.png").arg(square);
        QVERIFY(pictures.exists(squarePicture));
        QVERIFY(markdown.contains(QStringLiteral("notes_files/") + squarePicture));

        // The square's mark removed, a second export over the first leaves no picture of it.
        auto *service = m_f->registry()->noteService();
        service->handle(Nod::Application::RemoveRequest { 1, root });
        QVERIFY(!service->find(square));
        QTRY_COMPARE(pageOf(*tab).pixel(kRedSquareEdge), qRgb(255, 0, 0));
        menuEntry(*tab, QStringLiteral("exportNotes"))->trigger();
        QVERIFY2(m_boxes.last().contains(QStringLiteral("already exists")),
            qPrintable(m_boxes.join(QLatin1Char('|'))));
        QVERIFY(!bytesOf(notes).contains(squarePicture.toUtf8()));
        QVERIFY(!pictures.exists(squarePicture));
        QVERIFY(pictures.exists(QStringLiteral("excerpt-%1.png").arg(lines)));
        QCOMPARE(QDir(m_f->path(QStringLiteral("out")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({ QStringLiteral("notes.md"), QStringLiteral("notes_files") }));

        // The annotated copy: every mark once, as it is now, in place of the annotation it came from;
        // the square, no longer a mark, and the stamp stay as the file has them.
        const QString copy = m_f->path(QStringLiteral("out/copy.pdf"));
        m_saveAs = copy;
        const int boxesBefore = m_boxes.size();
        menuEntry(*tab, QStringLiteral("exportAnnotatedPdf"))->trigger();
        QCOMPARE(m_boxes.size(), boxesBefore);
        QVector<PdfAnnotationRecord> back;
        QVector<Nod::Exchange::SkippedPdfAnnotation> skipped;
        QString error;
        QVERIFY2(Nod::Exchange::readPdfAnnotations(copy, back, &error, &skipped), qPrintable(error));
        QMap<int, int> kinds;
        for (const PdfAnnotationRecord &record : qAsConst(back)) {
            ++kinds[record.kind];
        }
        QCOMPARE(back.size(), 5);
        QCOMPARE(kinds.value(PdfAnnotationRecord::Highlight), 1);
        QCOMPARE(kinds.value(PdfAnnotationRecord::Square), 3);
        QCOMPARE(kinds.value(PdfAnnotationRecord::Ink), 1);
        QCOMPARE(skipped.size(), 1);
        QCOMPARE(skipped.at(0).subtype, QStringLiteral("Stamp"));
        for (const PdfAnnotationRecord &record : qAsConst(back)) {
            if (record.kind == PdfAnnotationRecord::Ink) {
                QCOMPARE(record.lines.size(), 2);
                QVERIFY(
                    qAbs(record.lines.at(1).y1() - 630) < 0.5 && qAbs(record.lines.at(1).x2() - 300) < 0.5);
                QCOMPARE(record.contents, QStringLiteral("Two lines"));
                QCOMPARE(record.color, QColor(0, 128, 0));
            } else if (record.kind == PdfAnnotationRecord::Highlight) {
                QCOMPARE(record.contents, QStringLiteral("Key word"));
            }
        }
    }
};

QTEST_MAIN(TabExchangeTest)
#include "tst_tabexchange.moc"
