#include "support/mappings.h"
#include <app/desktopidentity.h>
#include <app/framewarmup.h>
#include <app/readerstyle.h>
#include <app/startheap.h>
#include <app/startup.h>
#include <app/storage/applog.h>
#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <application/startgate.h>
#include <domain/largepages.h>
#include <domain/metatypes.h>
#include <reading/lazyicon.h>

#include <QApplication>
#include <QBackingStore>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <cstdlib>

#include <unistd.h>

using Common::Infrastructure::AppLog;
using Common::Infrastructure::House;
using Common::Infrastructure::Settings;

namespace {
QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The start-up steps in a process of their own, offscreen whatever the caller's platform.
void startChild(QProcess &child, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(NODERA_BINARY_DIR "/tests/app/startupchild"), arguments);
}

// A library made by a first start, for a test to damage.
bool makeLibrary(const QString &storage)
{
    QProcess child;
    startChild(child, { storage });
    return child.waitForFinished(20000) && child.exitCode() == 0;
}

void execOn(const QString &databasePath, const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("damage"));
        db.setDatabaseName(databasePath);
        QVERIFY(db.open());
        for (const QString &sql : statements) {
            QSqlQuery query(db);
            QVERIFY2(query.exec(sql), qPrintable(sql));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("damage"));
}

// Closes the next modal box and remembers its texts.
struct BoxCloser
{
    QString title;
    QString text;

    void arm()
    {
        QTimer::singleShot(50, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box) {
                arm();
                return;
            }
            title = box->windowTitle();
            text = box->text();
            box->accept();
        });
    }
};
} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Nod::Domain::registerMetaTypes();
        QStandardPaths::setTestModeEnabled(true);
        Nod::App::setApplicationIdentity();
    }

    void firstStart_createsStorageAndLog()
    {
        // The real program, with a home of its own: no settings yet, so the storage folder is
        // "Nodera Reader" in the documents folder.
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess app;
        app.setProcessEnvironment(env);
        app.start(
            QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), { QStringLiteral("/no/such/file.pdf") });
        QVERIFY(app.waitForStarted());

        const QString storage = home.path() + QStringLiteral("/Documents/Nodera Reader");
        const QString log = storage + QStringLiteral("/Logs/") + AppLog::fileNameFor(QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(readAll(log).contains(QStringLiteral("Command arguments")), 20000);
        app.terminate();
        app.waitForFinished(5000);

        for (const char *room : { "Documents", "Logs", "Crashes", "Backups", "Resources" }) {
            QVERIFY2(QFileInfo(storage + QLatin1Char('/') + QLatin1String(room)).isDir(), room);
        }
        const QString text = readAll(log);
        QVERIFY2(text.contains(QStringLiteral(" - Info - Nodera Reader started. VERSION: \"1.5.0.7\"\n")),
            qPrintable(text));
        QVERIFY(text.contains(QStringLiteral(" - Info - OS Version: \"")));
        QVERIFY(text.contains(QStringLiteral(", Screen size: ")));
        QVERIFY(text.contains(QStringLiteral(" - Info - exe location: \"")));
        QVERIFY(text.contains(
            QStringLiteral(" - Info - Storage location: \"") + storage + QStringLiteral("\"\n")));
        QVERIFY(text.contains(QStringLiteral("/NoderaReader\", \"/no/such/file.pdf\")\n")));
        QVERIFY(!text.contains(QStringLiteral(" - Debug - ")));
    }

    void unusableDatabase_endsTheProgramAfterTelling_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("title");
        QTest::newRow("text file") << QByteArray("this is not a database\n").repeated(400) << false
                                   << QStringLiteral("Database file corrupted!");
        QTest::newRow("garbage after a valid header") << QByteArray("SQLite format 3\0", 16)
                + QByteArray(8192, '\xa5') << false << QStringLiteral("Database file corrupted!");
        QTest::newRow("folder in its place")
            << QByteArray() << true << QStringLiteral("Open database FAILED!");
    }

    void unusableDatabase_endsTheProgramAfterTelling()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, folder);
        QFETCH(QString, title);
        QTemporaryDir storage;
        if (folder) {
            QVERIFY(QDir(storage.path()).mkdir(QStringLiteral("database")));
        } else {
            QFile file(storage.filePath(QStringLiteral("database")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QProcess child;
        startChild(child, { storage.path() });
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit); // ended, not crashed
        QCOMPARE(child.exitCode(), EXIT_FAILURE);
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(output.startsWith(QStringLiteral("box: %1\n").arg(title)), qPrintable(output));
        QCOMPARE(output.count(QStringLiteral("box: ")), 1);
        const QString log
            = readAll(storage.filePath(QStringLiteral("Logs/")) + AppLog::fileNameFor(QDate::currentDate()));
        QVERIFY2(log.contains(QStringLiteral(" - Fatal - Create database FAILED.\n")), qPrintable(log));
        if (!folder) {
            QFile file(storage.filePath(QStringLiteral("database")));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), content); // the user's file is left as it was
        }
    }

    // A logout or a service stop while a message box waits for the user: the box goes, the
    // window saves its state as on a normal close, and the program ends without the backstop; files
    // still waiting on the command line are left alone.
    void closingSignal_whileAMessageBoxIsOpen_savesAndEnds_data()
    {
        QTest::addColumn<int>("files");
        QTest::newRow("one box") << 1;
        QTest::newRow("more boxes waiting") << 3;
    }
    void closingSignal_whileAMessageBoxIsOpen_savesAndEnds()
    {
        QFETCH(int, files);
        QTemporaryDir home;
        QStringList arguments;
        for (int i = 0; i < files; ++i) {
            const QString path = home.filePath(QStringLiteral("notes%1.pdf").arg(i));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("plain notes, no document\n");
            arguments << path;
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess app;
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), arguments);
        QVERIFY(app.waitForStarted());

        const QString logPath = home.filePath(QStringLiteral("Documents/Nodera Reader/Logs/"))
            + AppLog::fileNameFor(QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(
            readAll(logPath).contains(QStringLiteral("is not a valid PDF/EPUB file")), 20000);
        QTest::qWait(200); // the box is up
        app.terminate();
        const bool ended = app.waitForFinished(15000);
        if (!ended) {
            app.kill();
            app.waitForFinished();
        }
        QVERIFY2(ended, "still running after the closing signal");
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);

        const QString log = readAll(logPath);
        QVERIFY2(log.contains(QStringLiteral(" - Info - Closing on signal 15\n")), qPrintable(log));
        QVERIFY2(!log.contains(QStringLiteral("Still busy")), qPrintable(log));
        QCOMPARE(log.count(QStringLiteral("is not a valid PDF/EPUB file")), 1);
        const QString ini
            = readAll(home.filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")));
        QVERIFY2(ini.contains(QStringLiteral("geometry=")), qPrintable(ini));
    }

    void firstPageLine_isWrittenOncePerStart()
    {
        QTemporaryDir home;
        QStringList books;
        for (const QString &name : { QStringLiteral("a.pdf"), QStringLiteral("b.pdf") }) {
            books << home.filePath(name);
            QPdfWriter writer(books.last());
            QPainter painter(&writer);
            for (int page = 0; page < 3; ++page) {
                if (page > 0) {
                    writer.newPage();
                }
                painter.drawText(QRect(0, 0, 3000, 600), name);
            }
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString logPath = home.filePath(QStringLiteral("Documents/Nodera Reader/Logs/"))
            + AppLog::fileNameFor(QDate::currentDate());
        const QRegularExpression line(QStringLiteral(" - Info - first page shown: \\d+ ms\n"));

        // Two documents on a fresh start; then the same two again over the session they left.
        for (int start = 1; start <= 2; ++start) {
            if (start == 2) {
                QSettings ini(
                    home.filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")),
                    QSettings::IniFormat);
                ini.setValue(QStringLiteral("General/loadLastSessionWhenStart"), true);
            }
            QProcess app;
            app.setProcessEnvironment(env);
            app.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), books);
            QVERIFY(app.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(readAll(logPath).count(line), start, 30000);
            // The library and the tab behind follow the first page; none of them writes it again. How
            // smoothly they did is said once, after it.
            const QString pauses = QStringLiteral("pauses after the first page: longest ");
            QTRY_COMPARE_WITH_TIMEOUT(readAll(logPath).count(pauses), start, 30000);
            app.terminate();
            QVERIFY(app.waitForFinished(15000));
            QCOMPARE(app.exitCode(), 0);
            const QString log = readAll(logPath);
            QCOMPARE(log.count(line), start);
            QCOMPARE(log.count(QStringLiteral("Main window shown: ")), start);
            QVERIFY(log.lastIndexOf(pauses) > log.lastIndexOf(line));
            if (start == 1) {
                // Each book is read once on the way to the first page, though it is checked before it
                // joins the library and then shown.
                const QString beforeFirstPage = log.left(log.indexOf(line));
                for (const QString &book : books) {
                    QCOMPARE(
                        beforeFirstPage.count(QStringLiteral("open document: ") + book + QLatin1Char(' ')),
                        1);
                }
            }
        }
        const QString ini
            = readAll(home.filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")));
        QVERIFY2(ini.contains(QStringLiteral("lastSessionDocuments=")), qPrintable(ini));
    }

    void startHeap_isInLargePagesUntilReleasedThenGivenBack()
    {
        if (!Nod::Domain::LargePages::onRequest()) {
            QSKIP("the kernel gives no large pages on request here");
        }
        // Blocks from the heap (under the size the allocator maps on its own).
        const auto allocate = [] {
            std::vector<void *> blocks;
            for (int i = 0; i < 160; ++i) {
                blocks.push_back(std::malloc(48 << 10));
            }
            return blocks;
        };
        const auto freeAll = [](const std::vector<void *> &blocks) {
            for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
                std::free(*it);
            }
        };
        const auto heapEnd = [] { return reinterpret_cast<quintptr>(sbrk(0)); };

        // Past what the heap held before (freed blocks fill first), in large pages; while the start
        // lasts, the heap keeps what it grew by.
        Nod::App::reserveStartHeap();
        // Its first large pages are made aside, before anything touches them (the reserve begins
        // with what the next large block takes, less than a large page from its first boundary).
        void *const first = std::malloc(1 << 20);
        const char *const inside = static_cast<char *>(first) + (4 << 20);
        QVERIFY(mappingFlags(inside).contains(" hg"));
        QTRY_VERIFY(mappingResidentKiB(inside) >= 4096);
        std::free(first);
        std::vector<void *> blocks = allocate();
        QVERIFY(mappingFlags(blocks.back()).contains(" hg"));
        const quintptr reserved = heapEnd();
        freeAll(blocks);
        QVERIFY(heapEnd() >= reserved);

        // Once released, what the start no longer uses goes back.
        Nod::App::releaseStartHeap();
        QVERIFY(heapEnd() < reserved);

        // No setting of the allocator was changed: it still adapts to the large blocks freed (the
        // reserve was one), serving them from the heap instead of mapping each on its own.
        const auto inHeap = [](const void *address) {
            QFile maps(QStringLiteral("/proc/self/maps"));
            const auto at = reinterpret_cast<quintptr>(address);
            if (!maps.open(QIODevice::ReadOnly)) {
                return false;
            }
            for (const QByteArray &line : maps.readAll().split('\n')) {
                if (!line.endsWith("[heap]")) {
                    continue;
                }
                const int dash = line.indexOf('-');
                const int space = line.indexOf(' ');
                if (at >= line.left(dash).toULongLong(nullptr, 16)
                    && at < line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16)) {
                    return true;
                }
            }
            return false;
        };
        void *large = std::malloc(20 << 20);
        QVERIFY(inHeap(large));
        std::free(large);
    }

    void firstFrame_madeAheadOfItsPaint_showsTheWholeWindow()
    {
        // A window in two colours, split where a missed or stale part of the frame would show.
        QWidget window;
        window.setAutoFillBackground(true);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, Qt::darkCyan);
        window.setPalette(palette);
        auto *lower = new QWidget(&window);
        lower->setAutoFillBackground(true);
        palette.setColor(QPalette::Window, Qt::darkMagenta);
        lower->setPalette(palette);
        window.resize(400, 300);
        lower->setGeometry(0, 150, 400, 150);
        window.show();
        Nod::App::FrameWarmUp frame(&window);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.backingStore()->size(), window.size());
        const QImage shown = window.screen()->grabWindow(window.winId()).toImage();
        QCOMPARE(shown.size(), window.size() * window.devicePixelRatioF());
        for (const QPoint &point : { QPoint(1, 1), QPoint(398, 148), QPoint(200, 75) }) {
            QCOMPARE(QColor(shown.pixel(point)), QColor(Qt::darkCyan));
        }
        for (const QPoint &point : { QPoint(1, 151), QPoint(398, 298), QPoint(200, 225) }) {
            QCOMPARE(QColor(shown.pixel(point)), QColor(Qt::darkMagenta));
        }
    }

    void overflowAndClearButtons_showTheProgramsOwnIcons()
    {
        QApplication::setStyle(new Nod::App::ReaderStyle);
        QWidget window;
        auto *bar = new QToolBar(&window);
        for (int i = 0; i < 12; ++i) {
            bar->addAction(QStringLiteral("Action %1").arg(i));
        }
        window.resize(160, 60);
        bar->resize(160, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *overflow = bar->findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button"));
        QVERIFY(overflow);
        QTRY_VERIFY(overflow->isVisible());
        const QImage drawn = overflow->icon().pixmap(16, 16).toImage();
        QVERIFY(!drawn.isNull());
        QCOMPARE(drawn,
            Nod::Presentation::lazyIcon(QStringLiteral(":icons/chevron-right.svg")).pixmap(16, 16).toImage());
        bool inked = false;
        for (int y = 0; y < drawn.height() && !inked; ++y) {
            for (int x = 0; x < drawn.width() && !inked; ++x) {
                inked = qAlpha(drawn.pixel(x, y)) > 0;
            }
        }
        QVERIFY(inked);

        // A search field's clear button, likewise.
        QLineEdit search(&window);
        search.setClearButtonEnabled(true);
        search.setText(QStringLiteral("query"));
        const auto *clear = search.findChild<QToolButton *>();
        QVERIFY(clear);
        QCOMPARE(clear->icon().pixmap(16, 16).toImage(),
            Nod::Presentation::lazyIcon(QStringLiteral(":icons/x.svg")).pixmap(16, 16).toImage());
    }

    void windowIcon_followsTheFirstPageOrComesWithTheFirstDialog()
    {
        QGuiApplication::setWindowIcon(QIcon());
        Nod::Application::StartGate::hold();
        Nod::App::applyWindowIconAfterStart();
        // The main window shows before its first page; the icon waits for the page.
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(QGuiApplication::windowIcon().isNull());
        Nod::Application::StartGate::open();
        QTRY_VERIFY(!QGuiApplication::windowIcon().isNull());
        // Sharp at every size the window system is given, none of them blank.
        for (const int side : { 16, 32, 64, 128 }) {
            const QImage drawn = QGuiApplication::windowIcon().pixmap(side, side).toImage();
            QCOMPARE(drawn.size(), QSize(side, side));
            QVERIFY(qAlpha(drawn.pixel(side / 2, side / 2)) > 0);
        }

        // A warning before the first page shows with the icon.
        QGuiApplication::setWindowIcon(QIcon());
        Nod::Application::StartGate::hold();
        Nod::App::applyWindowIconAfterStart();
        QMessageBox warning(
            QMessageBox::Warning, QStringLiteral("Warning"), QStringLiteral("The library is read-only."));
        warning.show();
        QVERIFY(!QGuiApplication::windowIcon().isNull());
        QCOMPARE(warning.windowIcon().cacheKey(), QGuiApplication::windowIcon().cacheKey());
        Nod::Application::StartGate::open();
        QTest::qWait(20);
        QVERIFY(!QGuiApplication::windowIcon().isNull());
    }

    void damagedLibrary_isExplainedAndEndsCleanly_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("told");
        const QString unusable = QStringLiteral("Database can't be used");
        QTest::newRow("missing table") << QStringLiteral("drop") << QStringList { unusable }
                                       << QStringLiteral("Table Category is missing.");
        QTest::newRow("missing column") << QStringLiteral("column") << QStringList { unusable }
                                        << QStringLiteral("Table Resource lacks the columns data, width.");
        QTest::newRow("failed upgrade")
            << QStringLiteral("oldest") << QStringList { QStringLiteral("Warning"), unusable }
            << QStringLiteral("Migrating task(M20170111_2100_createDocuments) FAILD");
    }

    void damagedLibrary_isExplainedAndEndsCleanly()
    {
        QFETCH(QString, damage);
        QFETCH(QStringList, titles);
        QFETCH(QString, told);
        QTemporaryDir storage;
        const QString database = storage.filePath(QStringLiteral("database"));
        if (damage == QLatin1String("oldest")) {
            execOn(database, { QStringLiteral("CREATE TABLE documents_v1 (id INTEGER PRIMARY KEY)") });
        } else {
            QVERIFY(makeLibrary(storage.path()));
            if (damage == QLatin1String("drop")) {
                execOn(database, { QStringLiteral("DROP TABLE Category") });
            } else {
                execOn(database,
                    { QStringLiteral("DROP TABLE Resource"),
                        QStringLiteral("CREATE TABLE Resource (id INTEGER PRIMARY KEY, ownerId INTEGER, hash "
                                       "TEXT, height INTEGER)") });
            }
        }
        QProcess child;
        startChild(child, { storage.path() });
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), EXIT_FAILURE);
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        QStringList shown;
        const QStringList lines = output.split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1String("box: "))) {
                shown << line.mid(5);
            }
        }
        QCOMPARE(shown, titles);
        QVERIFY2(output.contains(told), qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("Backups")), qPrintable(output));
        const QString log
            = readAll(storage.filePath(QStringLiteral("Logs/")) + AppLog::fileNameFor(QDate::currentDate()));
        QVERIFY2(log.contains(QStringLiteral(" - Fatal - Check tables FAILED.\n")), qPrintable(log));
    }

    void readOnlyDatabase_isReportedAtStart()
    {
        QTemporaryDir storage;
        QVERIFY(makeLibrary(storage.path()));
        // A write version above 2 in the file header makes SQLite refuse every change, even to root.
        QFile file(storage.filePath(QStringLiteral("database")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(18));
        QVERIFY(file.putChar(3));
        file.close();

        QProcess child;
        startChild(child, { storage.path() });
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitCode(), 0);
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        QVERIFY2(output.contains(QStringLiteral("box: Warning\ntext: The library is read-only.")),
            qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("cannot be written")), qPrintable(output));
        QVERIFY(output.endsWith(QStringLiteral("upgraded: 1\n")));
    }

    void existingDatabase_upgradesOnceWithOneBackup()
    {
        // A library of the first schema version, holding a document.
        QTemporaryDir storage;
        execOn(storage.filePath(QStringLiteral("database")),
            { QStringLiteral("CREATE TABLE schema_versions (version TEXT NOT NULL UNIQUE)"),
                QStringLiteral("CREATE TABLE documents (id INTEGER PRIMARY KEY AUTOINCREMENT,title TEXT NOT "
                               "NULL,localUrl TEXT NOT NULL UNIQUE,lastReadedPage INTEGER DEFAULT "
                               "0,lastReadedAt DATETIME )"),
                QStringLiteral("INSERT INTO documents (title, localUrl) VALUES ('Old book', '/old.pdf')"),
                QStringLiteral("INSERT INTO schema_versions VALUES ('M20170111_2100_createDocuments')") });
        for (int run = 0; run < 2; ++run) {
            QProcess child;
            startChild(child, { storage.path() });
            QVERIFY(child.waitForFinished(20000));
            QCOMPARE(child.exitCode(), 0);
            QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), QStringLiteral("upgraded: 1\n"));
        }
        // The second start found every version recorded: no second backup.
        QCOMPARE(QDir(storage.filePath(QStringLiteral("Backups"))).entryList(QDir::Files).size(), 1);
        const QString log
            = readAll(storage.filePath(QStringLiteral("Logs/")) + AppLog::fileNameFor(QDate::currentDate()));
        QCOMPARE(log.count(QStringLiteral("Migrate database SUCCESSED.")), 1);
        QCOMPARE(log.count(QStringLiteral("Backup database file Succesed.")), 1);
        QCOMPARE(log.count(QStringLiteral("Commands count:  13 , need to execute count:  12")), 1);

        // A database made by this very start holds nothing to keep a copy of.
        QTemporaryDir fresh;
        QProcess child;
        startChild(child, { fresh.path() });
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()), QStringLiteral("upgraded: 1\n"));
        QVERIFY(QDir(fresh.filePath(QStringLiteral("Backups"))).entryList(QDir::Files).isEmpty());
        const QString freshLog
            = readAll(fresh.filePath(QStringLiteral("Logs/")) + AppLog::fileNameFor(QDate::currentDate()));
        QCOMPARE(freshLog.count(QStringLiteral("Creating a new database.")), 1);
        QCOMPARE(freshLog.count(QStringLiteral("Backup database file")), 0);
    }

    void fatalSignal_leavesAReportInTheCrashesRoom()
    {
        QTemporaryDir storage;
        QProcess child;
        startChild(child, { storage.path(), QStringLiteral("crash") });
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QStringList reports = QDir(storage.filePath(QStringLiteral("Crashes"))).entryList(QDir::Files);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().startsWith(QStringLiteral("crash ")));
        const QString report = readAll(storage.filePath(QStringLiteral("Crashes/")) + reports.first());
        QVERIFY2(report.startsWith(QStringLiteral("Nodera Reader ended by signal 11\n")), qPrintable(report));
        QVERIFY(report.count(QLatin1Char('\n')) > 2); // the stack follows
    }

    void uncreatableStorage_warnsAndLeavesNoLog()
    {
        QTemporaryDir tmp;
        QFile blocker(tmp.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString bad = tmp.filePath(QStringLiteral("file/storage"));
        Settings::instance()->general.setStorageLocation(bad);

        QSignalSpy spy(House::instance(), &House::locationChanged);
        BoxCloser closer;
        closer.arm();
        QVERIFY(!Nod::App::prepareStorage());
        QCOMPARE(closer.title, QStringLiteral("Warning"));
        QCOMPARE(closer.text, QStringLiteral("Create working directory failed! %1").arg(bad));
        QCOMPARE(spy.count(), 0);
        QVERIFY(AppLog::filePath().isEmpty());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
