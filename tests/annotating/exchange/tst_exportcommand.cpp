#include "exchangefixture.h"

#include <domain/hashgenerator.h>

#include <QProcess>
#include <QSettings>

// The real program run by a script: "--export-notes FILE DOCUMENT" writes the notes of a document of
// the library and opens no window; a file the library does not hold is refused with a message.
class ExportCommandTest : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        int code = -1;
        QString errors;
    };

    static Run run(const QString &home, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the program must not need a display
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home);
        process.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"),
            QStringList { QStringLiteral("--export-notes") } + arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError()) };
    }

private slots:
    void exportOfALibraryDocument_writesTheFileAndRefusesOthers()
    {
        QTemporaryDir home;
        const QString storage = home.filePath(QStringLiteral("library"));
        QVERIFY(QDir().mkpath(storage));
        QDir().mkpath(home.filePath(QStringLiteral("run")));
        QFile::setPermissions(home.filePath(QStringLiteral("run")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        {
            QSettings ini(
                home.filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")),
                QSettings::IniFormat);
            ini.setValue(QStringLiteral("General/storageLocation"), storage);
        }
        ExchangeFixture f;
        QVERIFY(f.isValid());
        const QString pdf = home.filePath(QStringLiteral("paper.pdf"));
        QVERIFY(QFile::copy(f.writePdf(), pdf));
        {
            QVERIFY(TestSupport::openMigrated(QDir(storage).filePath(QStringLiteral("database"))));
            Nod::Application::ServiceRegistry registry;
            const int documentId = registry.documentService()->newDocument(
                Nod::Domain::HashGenerator().generate(pdf), pdf, QStringLiteral("Paper"));
            const int root = registry.noteService()->documentNote(documentId).id();
            Nod::Application::NewAnnotation request;
            request.id = registry.noteService()->nextId();
            request.documentId = documentId;
            request.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 40, 10)), Nod::Domain::Marker::NoLine,
                Qt::NoPen, QColor(255, 255, 0, 128));
            request.position = QPointF(72, 80);
            request.noteText = QStringLiteral("<p>Remember <b>this</b></p>");
            request.parentId = root;
            registry.noteService()->newAnnotation(request);
        }
        Nod::Infrastructure::Database::close();

        const Run written
            = run(home.path(), { QStringLiteral("out/../notes.md"), QStringLiteral("paper.pdf") });
        QVERIFY2(written.code == 0, qPrintable(written.errors));
        QFile notes(home.filePath(QStringLiteral("notes.md")));
        QVERIFY(notes.open(QIODevice::ReadOnly));
        const QString md = QString::fromUtf8(notes.readAll());
        QVERIFY2(md.startsWith(QStringLiteral("# Paper\n")), qPrintable(md));
        QVERIFY(md.contains(QStringLiteral("Remember **this**")));
        QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("notes_files"))));

        // A file the library does not hold, by path or by content.
        const QString stranger = home.filePath(QStringLiteral("stranger.pdf"));
        QVERIFY(QFile::copy(f.writePdf(QStringLiteral("other.pdf")), stranger));
        {
            QFile append(stranger);
            QVERIFY(append.open(QIODevice::Append));
            append.write("% another file\n");
        }
        const Run refused = run(home.path(), { QStringLiteral("stranger.html"), stranger });
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.errors.contains(QStringLiteral("not in the library")), qPrintable(refused.errors));
        QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("stranger.html"))));

        // A copy of the library's file elsewhere is recognised by its content.
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("moved"))));
        QVERIFY(QFile::copy(pdf, home.filePath(QStringLiteral("moved/paper.pdf"))));
        const Run copied
            = run(home.path(), { QStringLiteral("copy.html"), QStringLiteral("moved/paper.pdf") });
        QVERIFY2(copied.code == 0, qPrintable(copied.errors));
        QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("copy.html"))));

        const Run malformed = run(home.path(), { QStringLiteral("notes.txt"), QStringLiteral("paper.pdf") });
        QCOMPARE(malformed.code, 2);
    }
};

QTEST_MAIN(ExportCommandTest)
#include "tst_exportcommand.moc"
