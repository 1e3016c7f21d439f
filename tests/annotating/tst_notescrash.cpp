#include "infrastructure/testsupport.h"

#include <annotating/noteitem.h>
#include <app/terminationhandler.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <domain/metatypes.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>

#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>

using namespace Nod::Presentation;

namespace {

const char *const kModeVariable = "NODERA_TYPIST_MODE";
const char *const kFolderVariable = "NODERA_TYPIST_FOLDER";
// Typed one key at a time, at a steady pace, for longer than any test waits.
const QString kSteadyText = QStringLiteral("the quick brown fox jumps over the lazy dog ").repeated(12);

bool writePdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    QPainter painter(&writer);
    painter.drawText(QPointF(72, 100), QStringLiteral("Page 1"));
    return painter.end();
}

// A note of 50 MB, in paragraphs of plain words.
QString hugeNote()
{
    const QString paragraph = QStringLiteral("<p>")
        + QStringLiteral("lorem ipsum dolor sit amet ").repeated(40) + QStringLiteral("</p>");
    return paragraph.repeated(50 * 1000 * 1000 / paragraph.size());
}

// The child: a real tab over a database in the given folder, with one annotation whose note gets
// the keys. "pause" types one word and stops; "steady" types on for a minute. "huge" opens a
// document whose note holds 50 MB and then opens that note whole, which keeps the interface thread
// busy for long. It is killed or signalled by the test, never ends by itself.
int runTypist(const QString &mode, const QString &folder)
{
    Nod::App::TerminationHandler termination;
    Nod::Domain::registerMetaTypes();
    if (!TestSupport::openMigrated(QDir(folder).filePath(QStringLiteral("database")))) {
        return 2;
    }
    Nod::Application::ServiceRegistry registry;
    Nod::Application::ServiceRegistry::setInstance(&registry);
    const QString pdf = QDir(folder).filePath(QStringLiteral("doc.pdf"));
    if (!writePdf(pdf)) {
        return 3;
    }
    const int documentId = registry.documentService()->newDocument(
        QStringLiteral("0123456789abcdef0123456789abcdef"), pdf, QStringLiteral("doc.pdf"));
    const bool huge = mode == QLatin1String("huge");
    if (huge) {
        Nod::Application::NoteService *notes = registry.noteService();
        Nod::Application::NewAnnotation record;
        record.id = notes->nextId();
        record.documentId = documentId;
        record.position = QPointF(100, 100);
        record.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 60, 20)), Nod::Domain::Marker::AllEdges,
            QPen(Qt::yellow), QBrush(Qt::yellow));
        record.noteText = hugeNote();
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = notes->documentNote(documentId).id();
        record.index = 0;
        notes->newAnnotation(record);
        std::printf("stored\n");
        std::fflush(stdout);
    }
    DocumentWidget tab;
    tab.resize(1000, 700);
    tab.show();
    if (!QTest::qWaitForWindowActive(&tab)
        || !tab.openDocument(registry.documentService()->document(documentId))) {
        return 4;
    }
    tab.setNoteAreaMode(1);
    AnnotationIndex *index = tab.readingView()->pdfScene()->annotations();
    index->populate(tab.readingView()->pdfScene()->readingPageAt(0));
    if (huge) {
        NoteItem *note
            = index->noteItem(registry.noteService()->documentNote(documentId).children().value(0));
        if (!note || !note->isPreview()) {
            return 6;
        }
        std::printf("opened\n");
        std::fflush(stdout);
        QTimer::singleShot(0, [note] {
            std::printf("busy\n");
            std::fflush(stdout);
            note->openWhole();
        });
        return QApplication::exec();
    }
    const int id = index->createAnnotation(0, QPointF(100, 100),
        Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 60, 20)), Nod::Domain::Marker::AllEdges, QPen(Qt::yellow),
            QBrush(Qt::yellow)));
    NoteItem *note = index->noteItem(id);
    if (!note) {
        return 5;
    }
    tab.readingView()->setFocus();
    note->setFocus(Qt::MouseFocusReason);
    std::printf("annotation %d\n", id);
    std::fflush(stdout);

    const QString text = mode == QLatin1String("pause") ? QStringLiteral("alpha") : kSteadyText;
    int typed = 0;
    QTimer keys;
    keys.setInterval(100);
    QObject::connect(&keys, &QTimer::timeout, [&] {
        if (typed >= text.size()) {
            keys.stop();
            return;
        }
        QTest::keyClicks(tab.readingView()->viewport(), text.mid(typed++, 1));
    });
    keys.start();
    return QApplication::exec();
}

} // namespace

// Typing survives a kill -9 of the program, short of its last seconds.
class NotesCrashTest : public QObject
{
    Q_OBJECT

    QString storedText(const QString &folder)
    {
        QString text;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("watch"));
            db.setDatabaseName(QDir(folder).filePath(QStringLiteral("database")));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            if (db.open()) {
                QSqlQuery query(db);
                // The one page annotation: the document note has page index -1.
                if (query.exec(QStringLiteral("SELECT noteText FROM Annotation WHERE pageIndex = 0"))
                    && query.next()) {
                    QTextDocument document;
                    document.setHtml(query.value(0).toString());
                    text = document.toPlainText();
                }
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("watch"));
        return text;
    }

    // Reads the child's lines until one is `line`.
    static bool waitForLine(QProcess &child, const QByteArray &line, int timeout)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeout) {
            while (child.canReadLine()) {
                if (child.readLine().trimmed() == line) {
                    return true;
                }
            }
            if (!child.waitForReadyRead(int(qMax<qint64>(1, timeout - clock.elapsed())))) {
                return false;
            }
        }
        return false;
    }

private slots:
    void killedWhileTyping_losesOnlyTheLastSeconds_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("after a pause") << QStringLiteral("pause");
        QTest::newRow("typing on") << QStringLiteral("steady");
    }

    void killedWhileTyping_losesOnlyTheLastSeconds()
    {
        QFETCH(QString, mode);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(kModeVariable), mode);
        environment.insert(QLatin1String(kFolderVariable), folder.path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted());
        QVERIFY2(child.waitForReadyRead(60000), "the typist did not start");

        // The child never leaves the note: whatever is stored was stored while it was being edited.
        if (mode == QLatin1String("pause")) {
            QTRY_COMPARE_WITH_TIMEOUT(storedText(folder.path()), QStringLiteral("alpha"), 30000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(storedText(folder.path()).size() >= 10, 30000);
            QCOMPARE(child.state(), QProcess::Running);
        }
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QString kept = storedText(folder.path());
        if (mode == QLatin1String("pause")) {
            QCOMPARE(kept, QStringLiteral("alpha"));
        } else {
            QVERIFY(kept.size() >= 10);
            QVERIFY2(kSteadyText.startsWith(kept), qPrintable(kept));
        }
    }

    void hugeNote_opensTheTab_andTheProgramStillEndsOnSignal()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(kModeVariable), QStringLiteral("huge"));
        environment.insert(QLatin1String(kFolderVariable), folder.path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted());
        QVERIFY2(waitForLine(child, "stored", 120000), "the note was not stored");
        // The tab opens with the note previewed, not after the whole of it is laid out.
        QVERIFY2(waitForLine(child, "opened", 60000), "the tab did not open");
        // Then the interface thread lays out the whole note, and the program is asked to end.
        QVERIFY(waitForLine(child, "busy", 60000));
        QTest::qWait(200);
        QCOMPARE(child.state(), QProcess::Running);
        ::kill(pid_t(child.processId()), SIGTERM);
        QVERIFY2(child.waitForFinished(20000), "SIGTERM did not end the program");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString mode = qEnvironmentVariable(kModeVariable);
    if (!mode.isEmpty()) {
        return runTypist(mode, qEnvironmentVariable(kFolderVariable));
    }
    QStandardPaths::setTestModeEnabled(true);
    NotesCrashTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notescrash.moc"
