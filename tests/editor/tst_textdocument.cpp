#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <editor/textdocument.h>

#include <QAbstractTextDocumentLayout>
#include <QMimeData>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextImageFormat>

#include <sys/stat.h>
#include <sys/types.h>

using Nod::Presentation::TextDocument;

namespace {

QString sha1Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QByteArray pngOf(const QSize &size, QColor color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The names of the image characters of a document, in order.
QStringList imageNames(const QTextDocument &document)
{
    QStringList names;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) {
                for (int i = 0; i < it.fragment().length(); ++i) {
                    names << format.toImageFormat().name();
                }
            }
        }
    }
    return names;
}

// Lays the document out and paints it, as a note on screen does; returns the picture.
QImage paint(QTextDocument &document)
{
    document.setTextWidth(300);
    const QSizeF size = document.documentLayout()->documentSize();
    QImage image(size.toSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    document.drawContents(&painter);
    return image;
}

bool containsColor(const QImage &image, QColor color)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == color) {
                return true;
            }
        }
    }
    return false;
}

int resourceRows(int ownerId)
{
    return TestSupport::scalar(
        QStringLiteral("SELECT COUNT(*) FROM Resource WHERE ownerId = %1").arg(ownerId))
        .toInt();
}

} // namespace

class TextDocumentTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    int m_note = 0;

    Nod::Application::ResourceService *resources() const { return m_fixture->registry()->resourceService(); }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        const int document = m_fixture->registry()->documentService()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), m_fixture->makeFile(QStringLiteral("a.pdf")),
            QStringLiteral("a"));
        const int root = m_fixture->registry()->noteService()->documentNote(document).id();
        m_note = m_fixture->appendNode(document, root);
    }

    void cleanup() { m_fixture.reset(); }

    void imageLifeCycle_oneRowPerPictureNamedBySha1()
    {
        const QByteArray red = pngOf(QSize(6, 5), Qt::red);
        const QString path = m_fixture->makeFile(QStringLiteral("RED.PNG"), red);
        const QString skipped = m_fixture->makeFile(QStringLiteral("notes.txt"), red);

        TextDocument document(m_note, resources());
        QTextCursor cursor(&document);
        QVERIFY(document.insertImageFiles(cursor, { path, skipped }).isEmpty());
        cursor.insertText(QStringLiteral(" and again "));
        const QUrl url = document.addImage(red);
        QTextImageFormat format;
        format.setName(url.toString());
        cursor.insertImage(format);

        const QString hash = sha1Hex(red);
        QCOMPARE(url.toString(), QStringLiteral("database:") + hash);
        QCOMPARE(imageNames(document), QStringList({ url.toString(), url.toString() }));
        QCOMPARE(resourceRows(m_note), 1);
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT hash FROM Resource")).toString(), hash);
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT width FROM Resource")).toInt(), 6);
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT data FROM Resource")).toByteArray(), red);
        QCOMPARE(document.usedImageNames(), QSet<QString>({ hash }));

        // A note opened again from its stored HTML shows the stored picture.
        const QString storedHtml = document.toHtml();
        TextDocument reopened(m_note, resources());
        reopened.setHtml(storedHtml);
        QVERIFY(containsColor(paint(reopened), Qt::red));

        // Images go only when the stored text no longer names them.
        QCOMPARE(TextDocument::removeUnusedImages(resources(), m_note, storedHtml), 0);
        QCOMPARE(resourceRows(m_note), 1);
        QCOMPARE(
            TextDocument::removeUnusedImages(resources(), m_note, QStringLiteral("<p>no pictures</p>")), 1);
        QCOMPARE(resourceRows(m_note), 0);

        // A name whose row is gone shows a placeholder and logs; nothing is thrown.
        TestSupport::LogCapture log;
        TextDocument missing(m_note, resources());
        missing.setHtml(storedHtml);
        const QImage shown = paint(missing);
        QVERIFY(!containsColor(shown, Qt::red));
        QVERIFY(log.contains(QStringLiteral("missing image")));
    }

    void pastedPicture_storedWithinCaps()
    {
        TextDocument document(m_note, resources());
        QTextCursor cursor(&document);
        QImage picture(20, 10, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QMimeData data;
        data.setImageData(picture);
        QVERIFY(document.insertFromMimeData(cursor, &data));
        QCOMPARE(resourceRows(m_note), 1);
        QCOMPARE(imageNames(document).size(), 1);
        const QByteArray stored
            = TestSupport::scalar(QStringLiteral("SELECT data FROM Resource")).toByteArray();
        QCOMPARE(QImage::fromData(stored).size(), QSize(20, 10));

        // Over the pixel cap: refused before any encoding, nothing stored.
        QImage huge(8000, 8000, QImage::Format_Mono);
        huge.fill(0);
        QVERIFY(!document.insertImage(cursor, huge));
        QCOMPARE(resourceRows(m_note), 1);
    }

    void largePicture_fitsTheTextWidth()
    {
        TextDocument document(m_note, resources());
        document.setTextWidth(300);
        QTextCursor cursor(&document);
        QVERIFY(document.insertImage(cursor, QImage::fromData(pngOf(QSize(2000, 100), Qt::green))));
        QVERIFY(document.documentLayout()->documentSize().width() <= 300);
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT width FROM Resource")).toInt(), 2000);

        document.setTextWidth(1000);
        document.fitImagesToWidth();
        const qreal wide = document.documentLayout()->documentSize().width();
        QVERIFY(wide > 900 && wide <= 1000);
    }

    void hostileHtml_neverReadsOrFetches_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("fifo") << QStringLiteral("FIFO");
        QTest::newRow("device") << QStringLiteral("/dev/zero");
        QTest::newRow("remote") << QStringLiteral("http://127.0.0.1:9/picture.png");
        QTest::newRow("huge data url") << QStringLiteral("HUGE");
        QTest::newRow("relative path") << QStringLiteral("red.png");
        QTest::newRow("other note's picture") << QStringLiteral("database:") + sha1Hex("elsewhere");
    }

    void hostileHtml_neverReadsOrFetches()
    {
        QFETCH(QString, source);
        // A red picture beside the note: a document that read files would show it.
        m_fixture->makeFile(QStringLiteral("red.png"), pngOf(QSize(8, 8), Qt::red));
        if (source == QLatin1String("FIFO")) {
            source = m_fixture->path(QStringLiteral("pipe.png"));
            QCOMPARE(::mkfifo(QFile::encodeName(source).constData(), 0600), 0);
        } else if (source == QLatin1String("HUGE")) {
            const QByteArray big(TextDocument::maxPasteBytes + 1024, 'A');
            source = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(big);
        }
        const QString html = QStringLiteral("<p>before<img src=\"%1\">after</p>"
                                            "<link rel=\"stylesheet\" href=\"%2\">"
                                            "<table background=\"%1\"><tr><td>cell</td></tr></table>")
                                 .arg(source, m_fixture->path(QStringLiteral("red.png")));

        TextDocument document(m_note, resources());
        QTextCursor cursor(&document);
        cursor.insertFragment(document.importHtml(html));
        QVERIFY(imageNames(document).isEmpty());
        QVERIFY(document.toPlainText().contains(QStringLiteral("beforeafter")));
        QCOMPARE(resourceRows(m_note), 0);

        // Picked as a file, the same source is refused with a message, without a read that blocks.
        if (!source.contains(QLatin1Char(':')) && source.endsWith(QLatin1String(".png"))) {
            QCOMPARE(document.insertImageFiles(cursor, { source }).size(), 1);
        }

        // The same HTML loaded as a stored note is shown, with placeholders, without reading anything.
        TextDocument stored(m_note, resources());
        stored.setHtml(html);
        QVERIFY(!containsColor(paint(stored), Qt::red));
        QCOMPARE(resourceRows(m_note), 0);
    }

    void pastedHtml_importsLocalAndInlinePictures()
    {
        const QByteArray red = pngOf(QSize(8, 8), Qt::red);
        const QByteArray blue = pngOf(QSize(9, 9), Qt::blue);
        const QString file = m_fixture->makeFile(QStringLiteral("red.png"), red);
        const QString html
            = QStringLiteral("<p><img src=\"%1\"> <img src=\"%2\"> <img src=\"data:image/png;base64,%3\">"
                             " <img src=\"https://example.com/x.png\"></p>")
                  .arg(file, QUrl::fromLocalFile(file).toString(), QString::fromLatin1(blue.toBase64()));
        TextDocument document(m_note, resources());
        QTextCursor cursor(&document);
        QMimeData data;
        data.setHtml(html);
        QVERIFY(document.insertFromMimeData(cursor, &data));
        const QString redName = QStringLiteral("database:") + sha1Hex(red);
        const QString blueName = QStringLiteral("database:") + sha1Hex(blue);
        QCOMPARE(imageNames(document), QStringList({ redName, redName, blueName }));
        QCOMPARE(resourceRows(m_note), 2);
        const QImage shown = paint(document);
        QVERIFY(containsColor(shown, Qt::red));
        QVERIFY(containsColor(shown, Qt::blue));
    }
};

QTEST_MAIN(TextDocumentTest)
#include "tst_textdocument.moc"
