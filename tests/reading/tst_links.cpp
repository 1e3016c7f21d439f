#include "readingtestsupport.h"

#include <reading/linkpolicy.h>
#include <reading/pdflinkgraphicsitem.h>

#include <backend/pdfaction.h>

#include <QAbstractButton>
#include <QDesktopServices>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUndoStack>

using namespace ReadingTest;

namespace {

// Receives what the program hands to the desktop.
class DesktopRecorder final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};

struct LinkSpec
{
    QByteArray rect; // PDF user space, origin bottom-left
    QByteArray action;
};

// Three letter pages; page 1 carries the given links.
bool writeLinkedPdf(const QString &path, const QList<LinkSpec> &links)
{
    QList<QByteArray> objects;
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    objects << "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>";
    QByteArray annots;
    for (int i = 0; i < links.size(); ++i) {
        annots += QByteArray::number(7 + i) + " 0 R ";
    }
    objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R /Annots [" + annots
            + "] >>";
    objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R >>";
    objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R >>";
    const QByteArray content = "0 0 0 rg 72 300 200 100 re f";
    objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
    for (const LinkSpec &link : links) {
        objects << "<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [" + link.rect + "] " + link.action
                + " >>";
    }
    QByteArray pdf = "%PDF-1.4\n";
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int offset : offsets) {
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    }
    pdf += "trailer << /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

} // namespace

// What a click on a link may do: documents are untrusted, so only web and mail addresses reach the
// desktop, local PDFs open inside the program after a question, and nothing else happens at all.
class TestLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void classify_data();
    void classify();
    void clicks_followThePolicyAndTheHistory();

private:
    PDFLinkGraphicsItem *linkTo(ReadingPageItem *page, const QString &text) const;
    void click(PDFDocumentView *view, QGraphicsItem *item, bool releaseOutside = false) const;
    void answerNextQuestion(QMessageBox::StandardButton answer);

    QTemporaryDir m_dir;
    QString m_linked;
    QString m_other;
    DesktopRecorder m_desktop;
    QString m_question;
};

void TestLinks::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_other = m_dir.filePath(QStringLiteral("other.pdf"));
    QVERIFY(writePdf(m_other, 1));
    QFile text(m_dir.filePath(QStringLiteral("notes.txt")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("sub.pdf")));
    m_linked = m_dir.filePath(QStringLiteral("linked.pdf"));
    QVERIFY(writeLinkedPdf(m_linked,
        { { "72 700 200 720", "/Dest [4 0 R /XYZ 0 792 0]" },
            { "72 650 200 670", "/A << /S /URI /URI (http://example.org/a?q=<b>x</b>&y=1) >>" },
            { "72 600 200 620", "/A << /S /URI /URI (javascript:alert\\(1\\)) >>" },
            { "72 550 200 570", "/A << /S /Launch /F (other.pdf) >>" },
            { "72 500 200 520", "/A << /S /URI /URI (file:///etc/passwd) >>" },
            { "72 450 200 470", "/A << /S /Launch /F (notes.txt) >>" },
            { "72 400 200 420", "/A << /S /URI /URI (mailto:someone@example.org) >>" } }));
    for (const char *scheme : { "http", "https", "mailto", "file", "javascript", "smb" }) {
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_desktop, "open");
    }
}

void TestLinks::cleanupTestCase()
{
    for (const char *scheme : { "http", "https", "mailto", "file", "javascript", "smb" }) {
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
}

void TestLinks::classify_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<int>("verdict");
    const QString other = QUrl::fromLocalFile(m_other).toString();
    QTest::newRow("http") << QUrl(QStringLiteral("http://example.org/x")) << int(LinkPolicy::OpenExternally);
    QTest::newRow("https") << QUrl(QStringLiteral("HTTPS://example.org")) << int(LinkPolicy::OpenExternally);
    QTest::newRow("mailto") << QUrl(QStringLiteral("mailto:a@example.org"))
                            << int(LinkPolicy::OpenExternally);
    QTest::newRow("http without host") << QUrl(QStringLiteral("http:/etc/passwd")) << int(LinkPolicy::Refuse);
    QTest::newRow("local pdf") << QUrl(other) << int(LinkPolicy::OpenDocumentInside);
    QTest::newRow("relative pdf") << QUrl(QStringLiteral("file:other.pdf"))
                                  << int(LinkPolicy::OpenDocumentInside);
    QTest::newRow("missing pdf") << QUrl(QStringLiteral("file:///nowhere/x.pdf")) << int(LinkPolicy::Refuse);
    QTest::newRow("local text") << QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("notes.txt")))
                                << int(LinkPolicy::Refuse);
    QTest::newRow("program") << QUrl(QStringLiteral("file:///bin/sh")) << int(LinkPolicy::Refuse);
    QTest::newRow("launch form") << QUrl(QStringLiteral("file://other.pdf"))
                                 << int(LinkPolicy::OpenDocumentInside);
    QTest::newRow("host form of a missing file")
        << QUrl(QStringLiteral("file://server/share/x.pdf")) << int(LinkPolicy::Refuse);
    QTest::newRow("folder") << QUrl::fromLocalFile(m_dir.path() + QStringLiteral("/sub.pdf"))
                            << int(LinkPolicy::Refuse);
    QTest::newRow("javascript") << QUrl(QStringLiteral("javascript:alert(1)")) << int(LinkPolicy::Refuse);
    QTest::newRow("smb") << QUrl(QStringLiteral("smb://server/x.pdf")) << int(LinkPolicy::Refuse);
    QTest::newRow("ftp") << QUrl(QStringLiteral("ftp://example.org/x.pdf")) << int(LinkPolicy::Refuse);
    QTest::newRow("empty") << QUrl() << int(LinkPolicy::Refuse);
}

void TestLinks::classify()
{
    QFETCH(QUrl, url);
    QFETCH(int, verdict);
    QCOMPARE(int(LinkPolicy::classify(url, m_dir.path())), verdict);
}

PDFLinkGraphicsItem *TestLinks::linkTo(ReadingPageItem *page, const QString &text) const
{
    for (PDFLinkGraphicsItem *item : page->linkItems()) {
        const PDFAction *action = item->link()->action();
        if (action && action->type() == PDFAction::ActionTypeURI
            && static_cast<const PDFURIAction *>(action)->url().toString().contains(text)) {
            return item;
        }
        if (action && action->type() == PDFAction::ActionTypeGoTo && text == QLatin1String("#goto")) {
            return item;
        }
    }
    return nullptr;
}

void TestLinks::click(PDFDocumentView *view, QGraphicsItem *item, bool releaseOutside) const
{
    const QPoint pos = view->mapFromScene(item->sceneBoundingRect().center());
    QVERIFY(view->viewport()->rect().contains(pos));
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier,
        releaseOutside ? pos + QPoint(0, int(item->sceneBoundingRect().height()) + 40) : pos);
    // The link posts its action to the scene.
    QCoreApplication::processEvents();
}

void TestLinks::answerNextQuestion(QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, this, [this, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            answerNextQuestion(answer);
            return;
        }
        m_question = box->text();
        box->button(answer)->click();
    });
}

void TestLinks::clicks_followThePolicyAndTheHistory()
{
    Reader reader(m_linked, QSize(600, 500));
    PDFDocumentView *view = reader.view.get();
    QSignalSpy openUrl(view, &PDFDocumentView::requestOpenUrl);
    QSignalSpy openPdf(view, &PDFDocumentView::requestOpenPdf);
    QVERIFY(reader.waitSharp(0));
    ReadingPageItem *page = reader.page(0);
    QTRY_COMPARE(page->linkItems().size(), 7);

    // A web address goes to the desktop; its tool tip shows the address as text.
    PDFLinkGraphicsItem *web = linkTo(page, QStringLiteral("example.org/a"));
    QVERIFY(web);
    QVERIFY(web->toolTip().contains(QStringLiteral("&amp;y=1")));
    QVERIFY(!web->toolTip().contains(QStringLiteral("<b>")));
    const int steps = view->history()->count();
    click(view, web, true);
    QVERIFY(m_desktop.urls.isEmpty());
    click(view, web);
    QCOMPARE(m_desktop.urls.size(), 1);
    QCOMPARE(m_desktop.urls.at(0).host(), QStringLiteral("example.org"));
    QCOMPARE(openUrl.count(), 1);
    QCOMPARE(view->history()->count(), steps);
    click(view, linkTo(page, QStringLiteral("mailto:")));
    QCOMPARE(m_desktop.urls.size(), 2);
    QCOMPARE(m_desktop.urls.at(1).scheme(), QStringLiteral("mailto"));

    // Other schemes, and local files that are not documents, are refused and logged.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused .*javascript")));
    click(view, linkTo(page, QStringLiteral("javascript")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused .*/etc/passwd")));
    click(view, linkTo(page, QStringLiteral("/etc/passwd")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused .*notes.txt")));
    click(view, linkTo(page, QStringLiteral("notes.txt")));
    QCOMPARE(m_desktop.urls.size(), 2);
    QCOMPARE(openPdf.count(), 0);

    // A launch of a PDF beside the document opens it inside the program, if the user agrees.
    PDFLinkGraphicsItem *launch = linkTo(page, QStringLiteral("other.pdf"));
    QVERIFY(launch);
    answerNextQuestion(QMessageBox::No);
    click(view, launch);
    QTRY_VERIFY(!m_question.isEmpty());
    QVERIFY(m_question.contains(QFileInfo(m_other).canonicalFilePath()));
    QCOMPARE(openPdf.count(), 0);
    answerNextQuestion(QMessageBox::Yes);
    click(view, launch);
    QTRY_COMPARE(openPdf.count(), 1);
    QCOMPARE(openPdf.at(0).at(0).toString(), QFileInfo(m_other).canonicalFilePath());
    QCOMPARE(m_desktop.urls.size(), 2);

    // An internal link moves through the history; Previous View returns to the exact view.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + 37);
    const int before = view->verticalScrollBar()->value();
    click(view, linkTo(page, QStringLiteral("#goto")));
    QTRY_COMPARE(view->currentPage(), 1);
    QCOMPARE(view->visibleSceneRect().top(), reader.page(1)->sceneBoundingRect().top());
    // The questions took the focus for a while.
    QApplication::setActiveWindow(view);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(view->currentPage(), 0);
    QCOMPARE(view->verticalScrollBar()->value(), before);
}

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
