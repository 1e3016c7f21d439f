#include <app/storage/applog.h>
#include <domain/lastread.h>
#include <domain/metatypes.h>

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using Common::Infrastructure::AppLog;

namespace {
QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeNumberedPdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.drawText(QRect(0, 0, 4000, 1000), QStringLiteral("Page %1").arg(i + 1));
    }
    return painter.end();
}
// A page covered with lines of text, so that a drag anywhere on it crosses words.
bool writeTextPdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    painter.setFont(font);
    for (int y = 30; y < 780; y += 26) {
        painter.drawText(
            QPointF(4, y), QStringLiteral("lorem ipsum dolor sit amet consectetur adipiscing elit sed"));
    }
    return painter.end();
}

// The stored marks of the document, byte for byte (the document note aside).
QStringList storedMarks(const QString &databasePath)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("marks"));
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(
                QStringLiteral("SELECT id, pageIndex, canvas, markers FROM Annotation WHERE pageIndex >= 0"),
                db);
            while (query.next()) {
                rows << QStringLiteral("%1|%2|%3|%4")
                            .arg(query.value(0).toInt())
                            .arg(query.value(1).toInt())
                            .arg(QString::fromLatin1(query.value(2).toByteArray().toHex()),
                                QString::fromLatin1(query.value(3).toByteArray().toHex()));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("marks"));
    return rows;
}

// Every column of every annotation row, the document note and its children list included.
QStringList storedAnnotationRows(const QString &databasePath)
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(QStringLiteral("SELECT * FROM Annotation ORDER BY id"), db);
            while (query.next()) {
                QStringList columns;
                for (int i = 0; i < query.record().count(); ++i) {
                    const QVariant value = query.value(i);
                    columns << (value.type() == QVariant::ByteArray
                            ? QString::fromLatin1(value.toByteArray().toHex())
                            : value.toString());
                }
                rows << columns.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}
} // namespace

// The real program in a real X server, driven by keys as a user would: a document named on the
// command line opens in a tab, and where the reader left it is stored when the desktop ends the
// program.
class ReadingEndToEndTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QProcess m_xserver;
    QString m_display;
    QString m_xdotool;
    QString m_window;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral(".cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("run")));
        return env;
    }

    QString storage() const { return m_home.filePath(QStringLiteral("Documents/Nodera Reader")); }
    QString log() const
    {
        return readAll(storage() + QStringLiteral("/Logs/") + AppLog::fileNameFor(QDate::currentDate()));
    }

    bool xdotool(const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.start(m_xdotool, arguments);
        return tool.waitForFinished(10000) && tool.exitStatus() == QProcess::NormalExit
            && tool.exitCode() == 0;
    }

    QString database() const { return storage() + QStringLiteral("/database"); }

    bool startOn(QProcess &app, const QString &pdf)
    {
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), { pdf });
        if (!app.waitForStarted()) {
            return false;
        }
        QElapsedTimer waited;
        waited.start();
        while (!log().contains(QStringLiteral("initialize reading for: ") + pdf)) {
            if (waited.hasExpired(30000)) {
                return false;
            }
            QTest::qWait(100);
        }
        QProcess search;
        search.setProcessEnvironment(environment());
        search.start(m_xdotool,
            { QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                QStringLiteral("--pid"), QString::number(app.processId()) });
        if (!search.waitForFinished(10000) || search.exitCode() != 0) {
            return false;
        }
        m_window
            = QString::fromLatin1(search.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
        return !m_window.isEmpty();
    }

    // Clicks the page with the hand tool, so the reading view has the keyboard, then Ctrl+T arms the
    // text highlight and a drag over the lines of text in steps, as a hand makes it, lays one mark.
    bool highlightByDrag()
    {
        if (!xdotool({ QStringLiteral("windowfocus"), m_window }) || !clickInWindow(500, 400)
            || !xdotool({ QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("200"),
                QStringLiteral("ctrl+t") })) {
            return false;
        }
        QTest::qWait(500);
        QStringList drag { QStringLiteral("mousemove"), QStringLiteral("500"), QStringLiteral("380"),
            QStringLiteral("mousedown"), QStringLiteral("1") };
        for (int step = 1; step <= 10; ++step) {
            drag << QStringLiteral("sleep") << QStringLiteral("0.05") << QStringLiteral("mousemove")
                 << QString::number(500 + step * 25) << QString::number(380 + step * 4);
        }
        drag << QStringLiteral("mouseup") << QStringLiteral("1");
        return xdotool(drag);
    }

    // Clicks at a point of the program's main window (its own coordinates); the window is the one
    // found when the document opened, as notes being edited show tool windows of their own.
    bool clickInWindow(int x, int y)
    {
        return xdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), m_window,
            QString::number(x), QString::number(y), QStringLiteral("click"), QStringLiteral("1") });
    }

    // The view switch by keyboard: the page number field (the leftmost field of the tool bar, only
    // enabled in the reading view) is followed in the focus chain by the view switch, whose menu lists
    // the reading view, the summary and the mind map in that order.
    bool switchFromReadingViewTo(int menuEntry)
    {
        if (!clickInWindow(144, 52)) {
            return false;
        }
        QStringList keys { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("200"),
            QStringLiteral("Tab"), QStringLiteral("space") };
        for (int i = 0; i <= menuEntry; ++i) {
            keys << QStringLiteral("Down");
        }
        keys << QStringLiteral("Return");
        const bool sent = xdotool(keys);
        QTest::qWait(800);
        return sent;
    }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xvfb.isEmpty() || m_xdotool.isEmpty()) {
            QSKIP("Xvfb and xdotool are needed (scripts/install-deps installs them)");
        }
        QDir(m_home.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(
            m_home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const int number = 500 + QCoreApplication::applicationPid() % 400;
        m_display = QStringLiteral(":%1").arg(number);
        m_xserver.start(xvfb,
            { m_display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                QStringLiteral("-nolisten"), QStringLiteral("tcp") });
        QVERIFY(m_xserver.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)), 10000);
        Nod::Domain::registerMetaTypes();
    }

    void cleanupTestCase()
    {
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
    }

    void pagedToTheEndAndZoomed_isWhereTheNextStartOpens()
    {
        const QString pdf = m_home.filePath(QStringLiteral("ten pages.pdf"));
        QVERIFY(writeNumberedPdf(pdf, 10));

        QProcess app;
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), { pdf });
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("initialize reading for:")), 30000);

        // A click on the page, then End goes to the last page and Ctrl+= zooms in once.
        QVERIFY(xdotool({ QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
            QStringLiteral("--pid"), QString::number(app.processId()), QStringLiteral("windowfocus"),
            QStringLiteral("mousemove"), QStringLiteral("--window"), QStringLiteral("%1"),
            QStringLiteral("600"), QStringLiteral("400"), QStringLiteral("click"), QStringLiteral("1") }));
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("200"),
            QStringLiteral("End"), QStringLiteral("ctrl+equal") }));
        // Nothing in the program shows when a key has been handled; give the event loop its turn.
        QTest::qWait(1500);

        app.terminate();
        QVERIFY(app.waitForFinished(15000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QVERIFY2(!log().contains(QStringLiteral(" - Critical - ")), qPrintable(log()));

        QByteArray stored;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(storage() + QStringLiteral("/database"));
            QVERIFY(db.open());
            QSqlQuery query(QStringLiteral("SELECT siderBarState FROM documents"), db);
            QVERIFY(query.next());
            stored = query.value(0).toByteArray();
            QVERIFY(!query.next());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        const Nod::Domain::LastRead lastRead = Nod::Domain::LastRead::decode(stored);
        QCOMPARE(lastRead.pageIndex(), 9);
        QVERIFY2(qFuzzyCompare(lastRead.viewSetting().scaleFactor(), 1.1),
            qPrintable(QString::number(lastRead.viewSetting().scaleFactor())));
    }

    // Runs after the test above, whose database must hold one document only.
    void textHighlightedByDrag_isStoredUndoneAndRedone()
    {
        const QString pdf = m_home.filePath(QStringLiteral("text page.pdf"));
        QVERIFY(writeTextPdf(pdf));
        QProcess app;
        QVERIFY(startOn(app, pdf));
        QVERIFY(storedMarks(database()).isEmpty());

        QVERIFY(highlightByDrag());
        QTRY_COMPARE_WITH_TIMEOUT(storedMarks(database()).size(), 1, 10000);
        const QStringList created = storedMarks(database());

        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+z") }));
        QTRY_VERIFY_WITH_TIMEOUT(storedMarks(database()).isEmpty(), 10000);
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+shift+z") }));
        QTRY_COMPARE_WITH_TIMEOUT(storedMarks(database()), created, 10000);

        app.terminate();
        QVERIFY(app.waitForFinished(15000));
        QCOMPARE(app.exitCode(), 0);
        QVERIFY2(!log().contains(QStringLiteral(" - Critical - ")), qPrintable(log()));
    }

    // A mark made in the reader is a row of the summary: removed there with Delete and brought back
    // with Ctrl+Z under its own id, the mind map and the reader shown after it, and the program ends
    // cleanly with the row as it was.
    void rowRemovedInSummary_isRestoredByUndoAcrossTheViews()
    {
        const QString pdf = m_home.filePath(QStringLiteral("summary page.pdf"));
        QVERIFY(writeTextPdf(pdf));
        QProcess app;
        QVERIFY(startOn(app, pdf));
        // The test above left its mark in another document.
        const QStringList marksBefore = storedMarks(database());

        QVERIFY(highlightByDrag());
        QTRY_COMPARE_WITH_TIMEOUT(storedMarks(database()).size(), marksBefore.size() + 1, 10000);
        QTest::qWait(500);
        const QStringList created = storedAnnotationRows(database());

        // The summary starts at the top of the page's rows: the first row is under the tool bar.
        QVERIFY(switchFromReadingViewTo(1));
        QVERIFY(clickInWindow(304, 140));
        QTest::qWait(300);
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("Delete") }));
        QTRY_COMPARE_WITH_TIMEOUT(storedMarks(database()), marksBefore, 10000);

        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+z") }));
        QTRY_COMPARE_WITH_TIMEOUT(storedAnnotationRows(database()), created, 10000);

        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+slash") }));
        QTest::qWait(500);
        // The mind map centres its tree: the mark's node is right of the centre, where the root's line
        // ends. Its removal asks first (answered with the Yes button's key); the keyboard comes back to
        // the map when the question closes, so Ctrl+Z brings the row back.
        QVERIFY(switchFromReadingViewTo(2));
        QVERIFY(clickInWindow(654, 360));
        QTest::qWait(300);
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("500"),
            QStringLiteral("Delete"), QStringLiteral("y") }));
        QTRY_COMPARE_WITH_TIMEOUT(storedMarks(database()), marksBefore, 10000);
        QTest::qWait(300);
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+z") }));
        QTRY_COMPARE_WITH_TIMEOUT(storedAnnotationRows(database()), created, 10000);
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+slash") }));
        QTest::qWait(500);
        QCOMPARE(storedAnnotationRows(database()), created);

        app.terminate();
        QVERIFY(app.waitForFinished(15000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        QVERIFY2(!log().contains(QStringLiteral(" - Critical - ")), qPrintable(log()));
        QCOMPARE(storedAnnotationRows(database()), created);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(database());
            QVERIFY(db.open());
            QSqlQuery query(QStringLiteral("PRAGMA integrity_check"), db);
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toString(), QStringLiteral("ok"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    }
};

QTEST_MAIN(ReadingEndToEndTest)
#include "tst_readingendtoend.moc"
