#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPdfWriter>
#include <QString>

#include <functional>

namespace TestDocuments {

#ifdef BACKEND_TEST_DATA
inline QString data(const QString &name) { return QDir(QStringLiteral(BACKEND_TEST_DATA)).filePath(name); }
#endif

// A PDF at 72 dpi without margins, written in DejaVu Sans of fontPixels; draw paints page after page.
inline bool writePdf(const QString &path, QPageSize::PageSizeId size, int fontPixels, int pages,
    const std::function<void(QPainter &, int page)> &draw)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(size));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(fontPixels);
    painter.setFont(font);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        draw(painter, i);
    }
    return painter.end();
}

// A PDF of `pages` letter-size pages; page i carries "Page <i+1> marker" near its top.
inline bool writeNumberedPdf(const QString &path, int pages)
{
    return writePdf(path, QPageSize::Letter, 20, pages, [](QPainter &painter, int i) {
        painter.drawText(QPointF(72, 100), QStringLiteral("Page %1 marker").arg(i + 1));
        painter.fillRect(QRectF(72, 200, 200, 100), Qt::black);
    });
}

// A one-page PDF whose embedded font program expands from a small compressed stream into
// `decodedBytes` bytes, all of which the library has to hold at once to load the font.
inline bool writeDecompressionBomb(const QString &path, int decodedBytes)
{
    QByteArray compressed = qCompress(QByteArray(decodedBytes, '\0'), 9).mid(4); // a bare zlib stream
    QByteArray pdf;
    pdf += "%PDF-1.4\n";
    pdf += "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
    pdf += "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n";
    pdf += "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
           "/Resources << /Font << /F1 5 0 R >> >> >> endobj\n";
    pdf += "4 0 obj << /Length 44 >> stream\nBT /F1 24 Tf 72 700 Td (Bomb) Tj ET\nendstream endobj\n";
    pdf += "5 0 obj << /Type /Font /Subtype /TrueType /BaseFont /Bomb /FirstChar 32 /LastChar 126 "
           "/FontDescriptor 6 0 R >> endobj\n";
    pdf += "6 0 obj << /Type /FontDescriptor /FontName /Bomb /Flags 32 /FontBBox [0 0 1000 1000] "
           "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 7 0 R >> endobj\n";
    pdf += "7 0 obj << /Filter /FlateDecode /Length " + QByteArray::number(compressed.size())
        + " >> stream\n";
    pdf += compressed;
    pdf += "\nendstream endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

// A picture of four solid quadrants: red, green, blue and yellow.
inline QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 2, QColor(220, 40, 40));
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, QColor(40, 180, 60));
    painter.fillRect(0, height / 2, width / 2, height - height / 2, QColor(30, 60, 200));
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, QColor(240, 220, 30));
    return image;
}

// Where writePicturePdf puts things on its first (letter) page, in points.
namespace PicturePage {
const QRectF Picture(72, 200, 160, 120);
const QRectF VectorBox(320, 200, 160, 120);
const QRectF ClippedPicture(72, 400, 160, 120);
const QRectF Clip(72, 400, 80, 60);
const QPointF Text(72, 120);
} // namespace PicturePage

// Page 1: black text on white, a colour picture, a vector rectangle, and a picture cut by a clip;
// page 2: one picture over the whole page, as a scanner makes it.
inline bool writePicturePdf(const QString &path)
{
    return writePdf(path, QPageSize::Letter, 28, 2, [](QPainter &painter, int page) {
        if (page == 0) {
            painter.setPen(Qt::black);
            painter.drawText(PicturePage::Text, QStringLiteral("Reading at night"));
            painter.drawImage(PicturePage::Picture, quadrants(160, 120));
            painter.fillRect(PicturePage::VectorBox, QColor(200, 30, 30));
            painter.save();
            painter.setClipRect(PicturePage::Clip);
            painter.drawImage(PicturePage::ClippedPicture, quadrants(160, 120));
            painter.restore();
        } else {
            QImage scan(306, 396, QImage::Format_RGB32);
            scan.fill(QColor(250, 246, 236));
            QPainter ink(&scan);
            for (int y = 40; y < 360; y += 14) {
                ink.fillRect(30, y, 240, 5, QColor(20, 20, 20));
            }
            ink.end();
            painter.drawImage(QRectF(0, 0, 612, 792), scan);
        }
    });
}

// Two pages by the page count, one in the page tree: the second cannot be loaded.
inline bool writeDamagedPdf(const QString &path)
{
    const QByteArray contents = "0 0 1 rg 72 500 200 100 re f";
    QByteArray pdf;
    pdf += "%PDF-1.4\n";
    pdf += "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n";
    pdf += "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 2 >> endobj\n";
    pdf += "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >> endobj\n";
    pdf += "4 0 obj << /Length " + QByteArray::number(contents.size()) + " >> stream\n" + contents
        + "\nendstream endobj\n";
    pdf += "trailer << /Root 1 0 R >>\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

// A one-page 612 × 792 PDF with "Annotated page" near its top, whose page holds the given annotation
// dictionaries, written as another program would: objects 6, 7, ... in order, and a complete
// cross-reference table, so that every reader opens the file as it is.
inline bool writePdfWithAnnotations(const QString &path, const QList<QByteArray> &annotations)
{
    const QByteArray content = "BT /F1 24 Tf 72 700 Td (Annotated page) Tj ET";
    QByteArray annots;
    for (int i = 0; i < annotations.size(); ++i) {
        annots += QByteArray::number(6 + i) + " 0 R ";
    }
    QList<QByteArray> objects { "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> /Annots ["
            + annots + "] >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>" };
    objects += annotations;
    QByteArray pdf = "%PDF-1.7\n";
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets) {
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

} // namespace TestDocuments
