#include "backend/testdocuments.h"
#include "support/desktop.h"
#include "support/servicefixture.h"

#include <domain/annotation.h>
#include <domain/backgroundmode.h>
#include <domain/lastread.h>
#include <domain/metatypes.h>

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QtTest>

#include <memory>

using Nod::Domain::Annotation;

namespace {

// Where things are in the main window of a first start (its own coordinates, 1088 x 680): the page
// starts at (41, 71) and shows 4/3 pixels a point; the tool bar's buttons sit on y = 52.
const QPoint kPageBox(144, 52);
const QPoint kNoteAreaButton(771, 52);
const QPoint kExchangeButton(829, 52);
const QPoint kMainMenuButton(937, 17);
// Below the last line of text of the first page: blank paper.
const QPoint kBlankPaper(600, 620);

// Three letter pages, lines of text down to 350 points and blank paper below them.
bool writeBook(const QString &path)
{
    return TestDocuments::writePdf(path, QPageSize::Letter, 22, 3, [](QPainter &painter, int) {
        for (int y = 30; y <= 350; y += 26) {
            painter.drawText(
                QPointF(4, y), QStringLiteral("lorem ipsum dolor sit amet consectetur adipiscing elit sed"));
        }
    });
}

int redPixels(const QImage &image, int fromY)
{
    int count = 0;
    for (int y = fromY; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
        }
    }
    return count;
}

// The share of pixels in which two grabs of the window differ.
double difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull()) {
        return 1;
    }
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return double(differing) / (a.width() * a.height());
}

} // namespace

// An hour of a reader's work with the real program in a real X server, step by step as a hand does
// it, each step checked in what the program stored: a document from the command line, a text mark
// and an area mark, a note with a picture pasted into it, the mark removed from its menu and brought
// back by undo, the summary and the mind map, the night background, the notes exported; then the
// program is closed and started again and everything is where it was left.
class ReadersHourTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Desktop> m_desktop;
    QString m_window;
    qint64 m_pid = 0;
    QString m_pdf;
    QProcess m_clipboard;

    ProgramHome &home() const { return m_desktop->home(); }
    QString storage() const { return home().defaultStorage(); }
    QString log() const { return home().log(storage()); }
    QString database() const { return QDir(storage()).filePath(QStringLiteral("database")); }
    QStringList marks() const
    {
        return queryRows(database(),
            QStringLiteral("SELECT id, pageIndex, position, canvas, markers, noteText FROM Annotation "
                           "WHERE pageIndex >= 0 ORDER BY id"));
    }
    QStringList annotationRows() const
    {
        return queryRows(database(), QStringLiteral("SELECT * FROM Annotation ORDER BY id"));
    }
    QStringList resourceRows() const
    {
        return queryRows(database(), QStringLiteral("SELECT * FROM Resource ORDER BY id"));
    }
    Annotation annotation(int id) const
    {
        const QStringList row = queryRows(
            database(), QStringLiteral("SELECT canvas, noteText FROM Annotation WHERE id = %1").arg(id));
        Annotation annotation;
        if (row.size() == 1) {
            annotation.setCanvasData(
                QByteArray::fromHex(row.first().section(QLatin1Char('|'), 0, 0).toLatin1()));
            annotation.setNoteText(row.first().section(QLatin1Char('|'), 1));
        }
        return annotation;
    }
    Nod::Domain::LastRead storedLastRead() const
    {
        const QStringList rows = queryRows(database(), QStringLiteral("SELECT siderBarState FROM documents"));
        return rows.size() == 1 ? Nod::Domain::LastRead::decode(QByteArray::fromHex(rows.first().toLatin1()))
                                : Nod::Domain::LastRead();
    }

    bool xdotool(const QStringList &arguments) const { return m_desktop->xdotool(arguments); }
    bool keys(const QStringList &names) const
    {
        return xdotool(
            QStringList { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("200") } + names);
    }
    bool click(QPoint at, int button = 1) const
    {
        return xdotool(
            { QStringLiteral("mousemove"), QStringLiteral("--window"), m_window, QString::number(at.x()),
                QString::number(at.y()), QStringLiteral("click"), QString::number(button) });
    }
    // A drag in small steps, as a hand makes it.
    bool drag(QPoint from, QPoint to) const
    {
        QStringList steps { QStringLiteral("mousemove"), QStringLiteral("--window"), m_window,
            QString::number(from.x()), QString::number(from.y()), QStringLiteral("mousedown"),
            QStringLiteral("1") };
        for (int step = 1; step <= 10; ++step) {
            const QPoint at = from + (to - from) * step / 10;
            steps << QStringLiteral("sleep") << QStringLiteral("0.05") << QStringLiteral("mousemove")
                  << QStringLiteral("--window") << m_window << QString::number(at.x())
                  << QString::number(at.y());
        }
        steps << QStringLiteral("mouseup") << QStringLiteral("1");
        return xdotool(steps);
    }

    // The window as it is on the screen, grabbed by this test run as an X client of its own.
    QImage grab() const
    {
        const QString file = home().filePath(QStringLiteral("grab.png"));
        QFile::remove(file);
        QProcess child;
        child.setProcessEnvironment(m_desktop->environment());
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--grab"), m_window, file });
        if (!child.waitForFinished(20000) || child.exitCode() != 0) {
            return QImage();
        }
        return QImage(file);
    }
    // How many windows of the program are on the screen, menus and dialogs included.
    int shownWindows() const { return m_desktop->windowsOf(m_pid).size(); }
    // Runs `action` and waits until it has opened a window more (a menu, a submenu).
    bool opens(const std::function<bool()> &action) const
    {
        const int before = shownWindows();
        return action() && waitFor([this, before] { return shownWindows() > before; });
    }

    bool start(QProcess &app, int run)
    {
        const QString opened = QStringLiteral("initialize reading for: ") + m_pdf;
        if (!m_desktop->start(app, { m_pdf })
            || !waitFor([this, &opened, run] { return log().count(opened) == run; })) {
            return false;
        }
        m_pid = app.processId();
        m_window = m_desktop->windowOf(m_pid);
        return !m_window.isEmpty();
    }

    // The tool bar's view switch follows the page box in the focus chain; its menu lists the reading
    // view, the summary and the mind map.
    bool switchTo(int view) const
    {
        QStringList names;
        for (int i = 0; i <= view; ++i) {
            names << QStringLiteral("Down");
        }
        return click(kPageBox) && opens([this] {
            return keys({ QStringLiteral("Tab"), QStringLiteral("space") });
        }) && keys(names << QStringLiteral("Return"));
    }

    // Grabs the window until it shows what `shows` looks for, for at most half a minute; the last
    // grab goes to `seen`.
    bool windowShows(const std::function<bool(const QImage &)> &shows, QImage *seen = nullptr) const
    {
        QImage now;
        const bool shown = waitFor([&] {
            now = grab();
            return !now.isNull() && shows(now);
        });
        if (seen) {
            *seen = now;
        }
        return shown;
    }

private slots:
    void initTestCase()
    {
        if (!Desktop::toolsInstalled()) {
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        }
        m_desktop = std::make_unique<Desktop>(1000);
        QVERIFY(m_desktop->isRunning());
        Nod::Domain::registerMetaTypes();
    }

    void cleanupTestCase()
    {
        if (m_clipboard.state() != QProcess::NotRunning) {
            m_clipboard.kill();
            m_clipboard.waitForFinished();
        }
        m_desktop.reset();
    }

    void aReadersHour_isFoundAsItWasLeftAfterARestart()
    {
        m_pdf = home().filePath(QStringLiteral("hour.pdf"));
        QVERIFY(writeBook(m_pdf));

        // Opened from the command line: the document enters the library, without marks.
        QProcess app;
        QVERIFY(start(app, 1));
        QCOMPARE(
            queryRows(database(), QStringLiteral("SELECT localUrl FROM documents")), QStringList { m_pdf });
        QVERIFY(marks().isEmpty());

        // Notes shown on the right of the page, so that a new mark's note takes the keyboard.
        QVERIFY(opens([this] { return click(kNoteAreaButton); }));
        QVERIFY(keys({ QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
            QStringLiteral("Return") }));

        // A text highlight over words of the first line (Ctrl+T), then an area highlight over three
        // lines (Ctrl+R), each stored as its kind of mark on the first page.
        QVERIFY(click(kBlankPaper));
        QVERIFY(keys({ QStringLiteral("ctrl+t") }));
        QVERIFY(drag(QPoint(150, 100), QPoint(340, 104)));
        QTRY_COMPARE_WITH_TIMEOUT(marks().size(), 1, 20000);
        const int textMark = marks().first().section(QLatin1Char('|'), 0, 0).toInt();
        QCOMPARE(annotation(textMark).canvas().shape().userType(), qMetaTypeId<Nod::Domain::TextRects>());

        QVERIFY(keys({ QStringLiteral("Escape") }));
        QVERIFY(click(kBlankPaper));
        QVERIFY(keys({ QStringLiteral("ctrl+r") }));
        QVERIFY(drag(QPoint(200, 300), QPoint(350, 420)));
        QTRY_COMPARE_WITH_TIMEOUT(marks().size(), 2, 20000);
        const int areaMark = marks().last().section(QLatin1Char('|'), 0, 0).toInt();
        QVERIFY(areaMark != textMark);
        QCOMPARE(annotation(areaMark).canvas().shape().userType(), int(QMetaType::QPolygonF));
        QCOMPARE(
            queryRows(database(), QStringLiteral("SELECT pageIndex FROM Annotation WHERE pageIndex >= 0")),
            (QStringList { QStringLiteral("0"), QStringLiteral("0") }));

        // The new mark's note has the keyboard: a line of text, then a picture pasted from the
        // clipboard, which another program of the desktop holds.
        QVERIFY(xdotool({ QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"),
            QStringLiteral("Seen at the river") }));
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const QString pictureFile = home().filePath(QStringLiteral("picture.png"));
        QVERIFY(picture.save(pictureFile));
        m_clipboard.setProcessEnvironment(m_desktop->environment());
        m_clipboard.start(
            QCoreApplication::applicationFilePath(), { QStringLiteral("--own-clipboard"), pictureFile });
        QVERIFY(m_clipboard.waitForReadyRead(20000));
        QVERIFY(keys({ QStringLiteral("ctrl+v") }));
        QTRY_COMPARE_WITH_TIMEOUT(resourceRows().size(), 1, 20000);
        const QStringList resource = resourceRows().first().split(QLatin1Char('|'));
        QCOMPARE(resource.at(1).toInt(), areaMark); // ownerId
        const QByteArray pictureBytes = QByteArray::fromHex(resource.at(5).toLatin1());
        QCOMPARE(QImage::fromData(pictureBytes).convertToFormat(QImage::Format_RGB32), picture);
        const QString hash = resource.at(2);
        QCOMPARE(hash,
            QString::fromLatin1(QCryptographicHash::hash(pictureBytes, QCryptographicHash::Sha1).toHex()));
        QTRY_VERIFY_WITH_TIMEOUT(
            annotation(areaMark).noteText().contains(QStringLiteral("database:") + hash), 20000);
        QVERIFY(annotation(areaMark).noteText().contains(QStringLiteral("Seen at the river")));
        QVERIFY(!annotation(textMark).noteText().contains(hash));
        m_clipboard.kill();
        m_clipboard.waitForFinished();
        const QStringList annotated = annotationRows();
        const QStringList pictured = resourceRows();

        // A right click on the area mark offers its menu; "Remove" takes the mark and its note away.
        QVERIFY(opens([this] { return click(QPoint(230, 320), 3); }));
        QVERIFY(keys({ QStringLiteral("r") }));
        QTRY_COMPARE_WITH_TIMEOUT(marks().size(), 1, 20000);
        QCOMPARE(marks().first().section(QLatin1Char('|'), 0, 0).toInt(), textMark);

        // Undo brings it back as it was, note and picture included.
        QVERIFY(keys({ QStringLiteral("ctrl+z") }));
        QTRY_COMPARE_WITH_TIMEOUT(annotationRows(), annotated, 20000);
        QCOMPARE(resourceRows(), pictured);

        // The summary and the mind map each show the document their way, the note's picture with
        // them; Ctrl+/ comes back to the page as it was. Looking changes nothing stored.
        const auto pictureShown = [](const QImage &window) { return redPixels(window, 80) >= 900; };
        QVERIFY(keys({ QStringLiteral("Escape") }));
        QVERIFY(click(kBlankPaper));
        QImage reading;
        QVERIFY(windowShows(pictureShown, &reading));
        const auto showsReading
            = [&reading](const QImage &window) { return difference(window, reading) < 0.02; };
        QImage summary;
        QVERIFY(switchTo(1));
        QVERIFY2(
            windowShows([&](const QImage &window) { return difference(window, reading) > 0.2; }, &summary),
            "the summary was not shown");
        QVERIFY(pictureShown(summary));
        QVERIFY(keys({ QStringLiteral("ctrl+slash") }));
        QVERIFY(windowShows(showsReading));
        QImage map;
        QVERIFY(switchTo(2));
        QVERIFY2(windowShows(
                     [&](const QImage &window) {
                         return difference(window, reading) > 0.2 && difference(window, summary) > 0.2;
                     },
                     &map),
            "the mind map was not shown");
        QVERIFY(pictureShown(map));
        QVERIFY(keys({ QStringLiteral("ctrl+slash") }));
        QVERIFY(windowShows(showsReading));
        QCOMPARE(annotationRows(), annotated);
        QCOMPARE(resourceRows(), pictured);

        // The main menu's night background darkens the paper at once.
        const auto night = [](const QImage &window) { return qGray(window.pixel(kBlankPaper)) < 100; };
        QVERIFY(!night(reading));
        QVERIFY(opens([this] { return click(kMainMenuButton); }));
        QVERIFY(opens([this] { return keys({ QStringLiteral("Down"), QStringLiteral("Right") }); }));
        QVERIFY(keys({ QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Down"),
            QStringLiteral("Down"), QStringLiteral("Return") }));
        QVERIFY(windowShows(night));

        // "Export notes..." of the tab's notes menu writes the note and its picture.
        const QString exported = home().filePath(QStringLiteral("notes.md"));
        QVERIFY(opens([this] { return click(kExchangeButton); }));
        QVERIFY(keys({ QStringLiteral("Down"), QStringLiteral("Return") }));
        // The file dialog shows with its name field selected.
        QVERIFY(waitFor(
            [this] { return !m_desktop->windowsOf(m_pid, QStringLiteral("Export notes")).isEmpty(); }));
        QVERIFY(
            xdotool({ QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), exported }));
        QVERIFY(keys({ QStringLiteral("Return") }));
        QTRY_VERIFY_WITH_TIMEOUT(readText(exported).contains(QStringLiteral("Seen at the river")), 20000);
        const QString markdown = readText(exported);
        const QString pictureLink = QStringLiteral("notes_files/%1.png").arg(hash);
        QVERIFY2(
            markdown.contains(QStringLiteral("(") + pictureLink + QStringLiteral(")")), qPrintable(markdown));
        QFile written(home().filePath(pictureLink));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), pictureBytes);
        QCOMPARE(annotationRows(), annotated);

        // The reader turns to the last page, where the note is out of sight, and closes the program.
        const auto noPicture = [](const QImage &window) { return redPixels(window, 80) == 0; };
        QVERIFY(keys({ QStringLiteral("Escape") }));
        QVERIFY(click(kBlankPaper));
        QVERIFY(keys({ QStringLiteral("End") }));
        QVERIFY(windowShows(noPicture));
        app.terminate();
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QCOMPARE(storedLastRead().pageIndex(), 2);
        QCOMPARE(annotationRows(), annotated);
        QCOMPARE(resourceRows(), pictured);
        const QSettings ini(
            home().filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")),
            QSettings::IniFormat);
        const auto stored
            = ini.value(QStringLiteral("mainWindow/backgroundMode")).value<Nod::Domain::BackgroundMode>();
        QCOMPARE(stored, Nod::Domain::BackgroundMode(1, QColor(53, 62, 66)));

        // Started again on the same storage: the last page at night, the marks, the note with its
        // picture, as they were left.
        QVERIFY(start(app, 2));
        QImage reopened;
        QVERIFY(windowShows(night, &reopened));
        QVERIFY(noPicture(reopened));
        QCOMPARE(annotationRows(), annotated);
        QCOMPARE(resourceRows(), pictured);
        QVERIFY(click(kBlankPaper));
        QVERIFY(keys({ QStringLiteral("Home") }));
        QVERIFY(windowShows(pictureShown));
        QVERIFY(keys({ QStringLiteral("End") }));
        QVERIFY(windowShows(noPicture));

        app.terminate();
        QVERIFY(app.waitForFinished(20000));
        QCOMPARE(app.exitCode(), 0);
        QCOMPARE(storedLastRead().pageIndex(), 2);
        QCOMPARE(annotationRows(), annotated);
        QCOMPARE(resourceRows(), pictured);
        QVERIFY2(!log().contains(QStringLiteral(" - Critical - ")), qPrintable(log()));
        QCOMPARE(queryRows(database(), QStringLiteral("PRAGMA integrity_check")),
            QStringList { QStringLiteral("ok") });
    }
};

namespace {

// The test's own X clients, run as children on the test's display: one holds a picture on the
// clipboard until it is stopped, as an image viewer would; one grabs a window into a file.
int ownClipboard(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QImage image(QString::fromLocal8Bit(argv[2]));
    if (image.isNull()) {
        return 3;
    }
    QApplication::clipboard()->setImage(image);
    QCoreApplication::processEvents();
    QTextStream(stdout) << "holding" << Qt::endl;
    return app.exec();
}

int grabWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QPixmap window = QGuiApplication::primaryScreen()->grabWindow(QByteArray(argv[2]).toULongLong());
    return !window.isNull() && window.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 3;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--own-clipboard") == 0) {
        return ownClipboard(argc, argv);
    }
    if (argc == 4 && qstrcmp(argv[1], "--grab") == 0) {
        return grabWindow(argc, argv);
    }
    // The hour takes a few minutes on a loaded machine.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT")) {
        qputenv("QTEST_FUNCTION_TIMEOUT", "900000");
    }
    QApplication app(argc, argv);
    ReadersHourTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_readershour.moc"
