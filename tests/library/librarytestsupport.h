#pragma once

#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/tagservice.h>
#include <library/librarywidget.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QPainter>
#include <QPdfWriter>
#include <QTimer>

#include <functional>

// Shared by the library tests: documents with annotation trees and images, real PDF files, and a
// hand that answers the next modal dialog.
namespace LibraryTest {

inline QString hashOf(const QString &name)
{
    return QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex());
}

// A document over an existing file (the content does not matter to the services).
inline int addDocument(ServiceFixture &fixture, const QString &title)
{
    const QString file = fixture.makeFile(title + QStringLiteral(".pdf"));
    return fixture.registry()->documentService()->newDocument(hashOf(title), file, title);
}

// The library tab over the fixture's services, shown; null when it does not come on the screen.
inline std::unique_ptr<Nod::Presentation::LibraryWidget> showLibrary(ServiceFixture &fixture)
{
    auto library = std::make_unique<Nod::Presentation::LibraryWidget>();
    Nod::Application::ServiceRegistry *registry = fixture.registry();
    library->setServices(registry->categoryService(), registry->documentService(), registry->noteService());
    library->resize(1000, 600);
    library->show();
    return QTest::qWaitForWindowExposed(library.get()) ? std::move(library) : nullptr;
}

inline int rows(const QString &sql) { return TestSupport::scalar(sql).toInt(); }

// A real one-page PDF with `text` on it, so that detection by content sees a PDF.
inline bool writePdf(const QString &path, const QString &text)
{
    QPdfWriter writer(path);
    writer.setTitle(text);
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    painter.drawText(QPointF(100, 100), text);
    return painter.end();
}

// Runs `answer` on the next modal widget as soon as it shows, polling until it does.
inline void whenModal(std::function<void(QWidget *)> answer, int attempts = 200)
{
    QTimer::singleShot(10, [answer, attempts] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            answer(modal);
        } else if (attempts > 0) {
            whenModal(answer, attempts - 1);
        }
    });
}

} // namespace LibraryTest

#include <QAbstractButton>
#include <QMessageBox>

namespace LibraryTest {

// The text of a message box and a click on its button with this text (or standard button).
struct BoxAnswer
{
    QString text;
    QString informative;
    QString title;
};

inline QAbstractButton *buttonWithText(QMessageBox *box, const QString &text)
{
    const QList<QAbstractButton *> buttons = box->buttons();
    for (QAbstractButton *button : buttons) {
        if (button->text().remove(QLatin1Char('&')) == text) {
            return button;
        }
    }
    return nullptr;
}

// Answers the next message boxes in turn by clicking the buttons with these texts (mnemonics
// ignored), recording what each said into `seen`.
inline void answerBoxes(QStringList buttonTexts, QList<BoxAnswer> *seen)
{
    if (buttonTexts.isEmpty()) {
        return;
    }
    const QString buttonText = buttonTexts.takeFirst();
    whenModal([buttonText, buttonTexts, seen](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close();
            return;
        }
        if (seen) {
            seen->append(BoxAnswer { box->text(), box->informativeText(), box->windowTitle() });
        }
        if (QAbstractButton *button = buttonWithText(box, buttonText)) {
            button->click();
        } else {
            box->reject();
        }
        // The next box can only come once this one has closed.
        QTimer::singleShot(0, [buttonTexts, seen] { answerBoxes(buttonTexts, seen); });
    });
}

inline void answerBox(const QString &buttonText, QList<BoxAnswer> *seen)
{
    answerBoxes({ buttonText }, seen);
}

struct ZipEntry
{
    QByteArray name;
    QByteArray content;
    bool deflated = false;
};

// A zip archive of the entries in order, with real CRCs; deflated entries hold raw deflate data.
inline QByteArray zipOf(const QList<ZipEntry> &entries)
{
    auto crc32 = [](const QByteArray &data) {
        quint32 crc = 0xffffffffu;
        for (char c : data) {
            crc ^= quint8(c);
            for (int k = 0; k < 8; ++k) {
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
            }
        }
        return ~crc;
    };
    auto le16 = [](QByteArray &out, quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    auto le32 = [&](QByteArray &out, quint32 v) {
        le16(out, quint16(v & 0xffff));
        le16(out, quint16(v >> 16));
    };
    QByteArray zip;
    QByteArray central;
    for (const ZipEntry &entry : entries) {
        // qCompress gives a length, a two-byte zlib header, the deflate data and a checksum.
        const QByteArray stored
            = entry.deflated ? qCompress(entry.content, 9).mid(6).chopped(4) : entry.content;
        const quint16 method = entry.deflated ? 8 : 0;
        const quint32 offset = quint32(zip.size());
        const quint32 crc = crc32(entry.content);
        le32(zip, 0x04034b50u);
        for (quint16 v : { quint16(20), quint16(0), method, quint16(0), quint16(0) }) {
            le16(zip, v);
        }
        le32(zip, crc);
        le32(zip, quint32(stored.size()));
        le32(zip, quint32(entry.content.size()));
        le16(zip, quint16(entry.name.size()));
        le16(zip, 0);
        zip.append(entry.name).append(stored);

        le32(central, 0x02014b50u);
        for (quint16 v : { quint16(20), quint16(20), quint16(0), method, quint16(0), quint16(0) }) {
            le16(central, v);
        }
        le32(central, crc);
        le32(central, quint32(stored.size()));
        le32(central, quint32(entry.content.size()));
        for (quint16 v : { quint16(entry.name.size()), quint16(0), quint16(0), quint16(0), quint16(0) }) {
            le16(central, v);
        }
        le32(central, 0);
        le32(central, offset);
        central.append(entry.name);
    }
    const quint32 centralOffset = quint32(zip.size());
    zip.append(central);
    le32(zip, 0x06054b50u);
    le16(zip, 0);
    le16(zip, 0);
    le16(zip, quint16(entries.size()));
    le16(zip, quint16(entries.size()));
    le32(zip, quint32(central.size()));
    le32(zip, centralOffset);
    le16(zip, 0);
    return zip;
}

inline QByteArray epubContainer(const QByteArray &packagePath)
{
    return "<?xml version=\"1.0\"?><container version=\"1.0\" "
           "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile full-path=\""
        + packagePath + "\" media-type=\"application/oebps-package+xml\"/></rootfiles></container>";
}

inline QByteArray epubPackage(const QByteArray &chapterHref)
{
    return "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\" "
           "unique-identifier=\"id\"><metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
           "<dc:title>Book</dc:title><dc:identifier id=\"id\">book</dc:identifier></metadata>"
           "<manifest><item id=\"c1\" href=\""
        + chapterHref
        + "\" media-type=\"application/xhtml+xml\"/></manifest><spine><itemref idref=\"c1\"/>"
          "</spine></package>";
}

inline QByteArray epubChapter()
{
    return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Chapter one</p></body></html>";
}

// A one-chapter EPUB whose first entry is the uncompressed "mimetype" file, as the format asks.
inline QList<ZipEntry> epubEntries()
{
    return { { "mimetype", "application/epub+zip" },
        { "META-INF/container.xml", epubContainer("OEBPS/content.opf") },
        { "OEBPS/content.opf", epubPackage("chapter.xhtml") }, { "OEBPS/chapter.xhtml", epubChapter() } };
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool writeEpub(const QString &path) { return writeBytes(path, zipOf(epubEntries())); }

} // namespace LibraryTest
