#include "exchangefixture.h"
#include "support/programhome.h"

#include <domain/hashgenerator.h>

// The real program run by a script: "--export-notes FILE DOCUMENT" writes the notes of a document of
// the library and opens no window; a file the library does not hold is refused with a message.
class ExportCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void exportOfALibraryDocument_writesTheFileAndRefusesOthers()
    {
        ProgramHome home;
        QVERIFY(home.isValid());
        const QString storage = home.useStorage();
        QVERIFY(QFileInfo(storage).isDir());
        const auto exportNotes = [&home](const QStringList &arguments) {
            return home.run(QStringList { QStringLiteral("--export-notes") } + arguments);
        };
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

        const ProgramRun written
            = exportNotes({ QStringLiteral("out/../notes.md"), QStringLiteral("paper.pdf") });
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
        const ProgramRun refused = exportNotes({ QStringLiteral("stranger.html"), stranger });
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.errors.contains(QStringLiteral("not in the library")), qPrintable(refused.errors));
        QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("stranger.html"))));

        // A copy of the library's file elsewhere is recognised by its content.
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("moved"))));
        QVERIFY(QFile::copy(pdf, home.filePath(QStringLiteral("moved/paper.pdf"))));
        const ProgramRun copied
            = exportNotes({ QStringLiteral("copy.html"), QStringLiteral("moved/paper.pdf") });
        QVERIFY2(copied.code == 0, qPrintable(copied.errors));
        QVERIFY(QFileInfo::exists(home.filePath(QStringLiteral("copy.html"))));

        const ProgramRun malformed
            = exportNotes({ QStringLiteral("notes.txt"), QStringLiteral("paper.pdf") });
        QCOMPARE(malformed.code, 2);
    }
};

QTEST_MAIN(ExportCommandTest)
#include "tst_exportcommand.moc"
