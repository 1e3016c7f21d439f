#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
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

} // namespace TestDocuments
