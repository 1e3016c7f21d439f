#include "exchangefixture.h"

#include <annotating/exchange/markconversion.h>
#include <annotating/exchange/notesexporter.h>
#include <annotating/exchange/notetext.h>
#include <annotating/exchange/pdfannotations.h>
#include <annotating/exchange/pdfmarkimport.h>
#include <domain/hashgenerator.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUndoStack>

using Nod::Domain::Annotation;
using Nod::Domain::Marker;
using Nod::Domain::TextRects;
using Nod::Exchange::PdfAnnotationRecord;

namespace {

bool near(const QRectF &a, const QRectF &b, double tolerance = 1.0)
{
    return qAbs(a.left() - b.left()) <= tolerance && qAbs(a.top() - b.top()) <= tolerance
        && qAbs(a.right() - b.right()) <= tolerance && qAbs(a.bottom() - b.bottom()) <= tolerance;
}

QRectF united(const QVector<QRectF> &rects)
{
    QRectF all;
    for (const QRectF &r : rects) {
        all = all.united(r);
    }
    return all;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Marks in from a PDF's own annotations and out as an annotated copy, read back by MuPDF and poppler.
class PdfAnnotationsTest : public QObject
{
    Q_OBJECT

private slots:
    void importedAnnotations_becomeMarksOnceInOneUndoStep()
    {
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const QString plain = f.writePdf();
        const TextRects beta = ExchangeFixture::wordBoxes(plain, 0, QStringLiteral("beta"));
        const TextRects line = ExchangeFixture::wordBoxes(plain, 0, QStringLiteral("line"));
        QVERIFY(!beta.isEmpty() && !line.isEmpty());

        // Another reader's annotations, made through the library in a copy of the file.
        QVector<PdfAnnotationRecord> source(6);
        source[0].kind = PdfAnnotationRecord::Highlight;
        source[0].boxes = beta;
        source[0].color = QColor(255, 255, 0);
        source[0].contents = QStringLiteral("Seen <elsewhere>");
        source[1].kind = PdfAnnotationRecord::Underline;
        source[1].boxes = line;
        source[1].color = QColor(255, 0, 0);
        source[2].kind = PdfAnnotationRecord::Square;
        source[2].rect = QRectF(300, 400, 100, 60);
        source[2].color = QColor(0, 0, 255);
        source[2].width = 3;
        source[3].kind = PdfAnnotationRecord::Ink;
        source[3].lines = { QLineF(100, 600, 150, 620), QLineF(150, 620, 200, 600) };
        source[3].color = QColor(0, 128, 0);
        source[3].width = 2;
        source[4].kind = PdfAnnotationRecord::Text;
        source[4].page = 1;
        source[4].rect = QRectF(500, 50, 20, 20);
        source[4].color = QColor(255, 128, 0);
        source[4].contents = QStringLiteral("Sticky remark");
        source[5].kind = PdfAnnotationRecord::Line;
        source[5].page = 1;
        source[5].lines = { QLineF(72, 200, 300, 200) };
        source[5].color = QColor(255, 0, 255);
        source[5].width = 2;
        const QString pdf = f.path(QStringLiteral("annotated elsewhere.pdf"));
        QString error;
        QVERIFY2(Nod::Exchange::writeAnnotatedPdf(plain, pdf, source, &error), qPrintable(error));

        QVector<PdfAnnotationRecord> read;
        QVERIFY2(Nod::Exchange::readPdfAnnotations(pdf, read, &error), qPrintable(error));
        QCOMPARE(read.size(), 6);
        QSet<int> objects;
        for (const PdfAnnotationRecord &record : qAsConst(read)) {
            objects.insert(record.objectNumber);
        }
        QCOMPARE(objects.size(), 6);
        QVERIFY(!objects.contains(0));

        const int documentId = f.registry()->documentService()->newDocument(
            Nod::Domain::HashGenerator().generate(pdf), pdf, QStringLiteral("Elsewhere"));
        auto *notes = f.registry()->noteService();
        const int root = f.rootOf(documentId);
        QUndoStack stack;
        Nod::Exchange::PdfMarkImport import(notes, documentId, Nod::Domain::HashGenerator().generate(pdf));
        QCOMPARE(import.pending(read).size(), 6);
        QCOMPARE(import.import(read, &stack), 6);
        QCOMPARE(stack.count(), 1);

        QVector<Annotation> made;
        for (int id : notes->documentNote(documentId).children()) {
            made.append(notes->annotation(id));
        }
        QCOMPARE(made.size(), 6);
        // In reading order: page 1 top to bottom, then page 2.
        const Annotation &highlight = made.at(0);
        const Marker hl = highlight.canvas();
        QCOMPARE(hl.shape().userType(), qMetaTypeId<TextRects>());
        QCOMPARE(hl.outline(), Marker::NoLine);
        QCOMPARE(hl.brush().color(), QColor(255, 255, 0, 128));
        QVERIFY(near(united(hl.shape().value<TextRects>()).translated(highlight.position()), united(beta)));
        QCOMPARE(Nod::Exchange::notePlainText(highlight.noteText()), QStringLiteral("Seen <elsewhere>"));

        const Marker ul = made.at(1).canvas();
        QCOMPARE(ul.outline(), Marker::Underline);
        QCOMPARE(ul.pen().color(), QColor(255, 0, 0));

        const Annotation &square = made.at(2);
        QCOMPARE(square.canvas().shape().userType(), int(QMetaType::QPolygonF));
        QCOMPARE(square.canvas().shape().value<QPolygonF>().size(), 12);
        QCOMPARE(square.canvas().outline(), Marker::AllEdges);
        QCOMPARE(square.canvas().pen().color(), QColor(0, 0, 255));
        QCOMPARE(square.canvas().pen().widthF(), 3.0);
        QVERIFY(near(square.canvas().shape().value<QPolygonF>().boundingRect().translated(square.position()),
            QRectF(300, 400, 100, 60), 0.1));

        const Annotation &ink = made.at(3);
        QCOMPARE(ink.markers().size(), 2);
        QCOMPARE(ink.markers().at(0).pen().color(), QColor(0, 128, 0));
        const QLineF first = ink.markers().at(0).shape().toLineF().translated(ink.position());
        QVERIFY(qAbs(first.x1() - 100) < 1 && qAbs(first.y1() - 600) < 1 && qAbs(first.x2() - 150) < 1);

        QCOMPARE(made.at(4).pageIndex(), 1);
        QCOMPARE(Nod::Exchange::notePlainText(made.at(4).noteText()), QStringLiteral("Sticky remark"));
        QCOMPARE(made.at(4).canvas().brush().color(), QColor(255, 128, 0, 128));
        QCOMPARE(made.at(5).pageIndex(), 1);
        QCOMPARE(made.at(5).markers().size(), 1);
        QCOMPARE(made.at(5).markers().at(0).pen().color(), QColor(255, 0, 255));

        // A second import adds nothing, on demand or on opening.
        QVERIFY(import.pending(read).isEmpty());
        QCOMPARE(import.import(read, &stack), 0);
        QCOMPARE(notes->documentNote(documentId).children().size(), 6);
        QCOMPARE(stack.count(), 1);

        // The import is one step: undone, every mark goes and may come in again; redone, they are back.
        stack.undo();
        QVERIFY(notes->documentNote(documentId).children().isEmpty());
        QCOMPARE(import.pending(read).size(), 6);
        stack.redo();
        QCOMPARE(notes->documentNote(documentId).children().size(), 6);
        QVERIFY(import.pending(read).isEmpty());
        QCOMPARE(root, notes->documentNote(documentId).id());
    }

    void annotatedCopy_isReadByMuPdfAndPoppler_andLeavesTheOriginal()
    {
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const QString pdf = f.writePdf();
        const QByteArray original = bytesOf(pdf);
        const int documentId = f.addDocument(pdf);
        const int root = f.rootOf(documentId);
        const TextRects beta = ExchangeFixture::wordBoxes(pdf, 0, QStringLiteral("beta"));
        f.annotate(documentId, root, 0, Marker(beta, Marker::NoLine, Qt::NoPen, QColor(255, 255, 0, 128)),
            QStringLiteral("<p>Key <b>word</b></p><ul><li>point</li></ul>"));
        const int rectangle = f.annotate(documentId, root, 0,
            Marker(QPolygonF(QRectF(300, 400, 100, 60)), Marker::AllEdges, QPen(Qt::red, 2), Qt::NoBrush));
        f.annotate(documentId, rectangle, 1, Marker(QRectF(72, 190, 228, 20)), QStringLiteral("<p>Lines</p>"),
            { Marker(QLineF(72, 200, 300, 200), QPen(QColor(0, 0, 255), 2)) });

        const QVector<PdfAnnotationRecord> records
            = Nod::Exchange::pdfRecordsOfDocument(f.registry()->noteService(), documentId);
        QCOMPARE(records.size(), 3);
        const QString copy = f.path(QStringLiteral("copy.pdf"));
        QString error;
        QVERIFY2(Nod::Exchange::writeAnnotatedPdf(pdf, copy, records, &error), qPrintable(error));
        QCOMPARE(bytesOf(pdf), original);
        QVERIFY(!Nod::Exchange::writeAnnotatedPdf(pdf, pdf, records, &error));
        QCOMPARE(bytesOf(pdf), original);

        QVector<PdfAnnotationRecord> back;
        QVERIFY2(Nod::Exchange::readPdfAnnotations(copy, back, &error), qPrintable(error));
        QCOMPARE(back.size(), 3);
        QCOMPARE(back.at(0).kind, PdfAnnotationRecord::Highlight);
        QVERIFY(near(united(back.at(0).boxes), united(beta)));
        QCOMPARE(back.at(0).color, QColor(255, 255, 0));
        QCOMPARE(back.at(0).contents, QStringLiteral("Key word\npoint"));
        QCOMPARE(back.at(1).kind, PdfAnnotationRecord::Square);
        QVERIFY(near(back.at(1).rect, QRectF(300, 400, 100, 60), 0.1));
        QCOMPARE(back.at(1).color, QColor(255, 0, 0));
        QCOMPARE(back.at(2).kind, PdfAnnotationRecord::Line);
        QCOMPARE(back.at(2).page, 1);
        QVERIFY(qAbs(back.at(2).lines.first().y1() - 200) < 0.5
            && qAbs(back.at(2).lines.first().x2() - 300) < 0.5);
        QCOMPARE(back.at(2).contents, QStringLiteral("Lines"));

        // Poppler opens the copy and finds its text.
        const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
        if (pdfinfo.isEmpty()) {
            QSKIP("poppler-utils is not installed (scripts/install-deps installs it)");
        }
        QProcess info;
        info.start(pdfinfo, { copy });
        QVERIFY(info.waitForFinished(30000));
        QCOMPARE(info.exitCode(), 0);
        const QString summary = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(summary.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(summary));
        QProcess text;
        text.start(
            QStandardPaths::findExecutable(QStringLiteral("pdftotext")), { copy, QStringLiteral("-") });
        QVERIFY(text.waitForFinished(30000));
        QCOMPARE(text.exitCode(), 0);
        QVERIFY(text.readAllStandardOutput().contains("Alpha beta gamma"));
        QVERIFY2(text.readAllStandardError().isEmpty(), "poppler reported errors");
    }
};

QTEST_MAIN(PdfAnnotationsTest)
#include "tst_pdfannotations.moc"
