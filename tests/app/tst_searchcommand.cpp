#include "infrastructure/testsupport.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <domain/hashgenerator.h>
#include <domain/metatypes.h>
#include <indexing/searchindexer.h>

#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The real program run by a script: "--search QUERY" prints the hits of the library's index, one a
// line, with no window; without an index it says so and ends with 1.
class SearchCommandTest : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        int code = -1;
        QString output;
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
        process.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError()) };
    }

private slots:
    void initTestCase() { Nod::Domain::registerMetaTypes(); }

    void search_printsHitsOrExplainsWhyNot()
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
        const QString pdf = home.filePath(QStringLiteral("atlas.pdf"));
        {
            QPdfWriter writer(pdf);
            writer.setResolution(72);
            QPainter painter(&writer);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(14);
            painter.setFont(font);
            painter.drawText(QPointF(72, 100), QStringLiteral("Rivers of the north"));
            writer.newPage();
            painter.drawText(QPointF(72, 100), QStringLiteral("The glacier feeds the fjord"));
            painter.end();
        }
        QVERIFY(TestSupport::openMigrated(QDir(storage).filePath(QStringLiteral("database"))));
        auto registry = std::make_unique<Nod::Application::ServiceRegistry>();
        const int documentId = registry->documentService()->newDocument(
            Nod::Domain::HashGenerator().generate(pdf), pdf, QStringLiteral("Atlas"));
        QVERIFY(documentId > 0);
        const int root = registry->noteService()->documentNote(documentId).id();
        Nod::Application::NewAnnotation request;
        request.id = registry->noteService()->nextId();
        request.documentId = documentId;
        request.canvas = Nod::Domain::Marker(QRectF(0, 0, 40, 10));
        request.noteText = QStringLiteral("<p>Ask about the <i>glacier</i> walk</p>");
        request.parentId = root;
        registry->noteService()->newAnnotation(request);

        const Run notBuilt = run(home.path(), { QStringLiteral("--search"), QStringLiteral("glacier") });
        QCOMPARE(notBuilt.code, 1);
        QVERIFY2(notBuilt.errors.contains(QStringLiteral("not built yet")), qPrintable(notBuilt.errors));
        QVERIFY(notBuilt.output.isEmpty());

        {
            Nod::Indexing::SearchIndexer indexer(registry->documentService(), registry->noteService(),
                registry->categoryService(), registry->tagService(),
                QDir(storage).filePath(QStringLiteral("search-index")));
            QSignalSpy idle(&indexer, &Nod::Indexing::SearchIndexer::idle);
            indexer.start();
            QVERIFY(idle.wait(30000));
        }
        registry.reset();
        Nod::Infrastructure::Database::close();

        const Run found = run(home.path(), { QStringLiteral("--search"), QStringLiteral("glacier") });
        QVERIFY2(found.code == 0, qPrintable(found.errors));
        QStringList lines = found.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines,
            QStringList({ pdf + QStringLiteral("\t2\tThe glacier feeds the fjord"),
                pdf + QStringLiteral("\tnote\tAsk about the glacier walk") }));

        const Run none
            = run(home.path(), { QStringLiteral("--search"), QStringLiteral("\"fjord glacier\"") });
        QCOMPARE(none.code, 0);
        QVERIFY(none.output.isEmpty());

        const Run mistake = run(home.path(), { QStringLiteral("--search"), QStringLiteral("\"open phrase") });
        QCOMPARE(mistake.code, 2);
        QVERIFY2(mistake.errors.contains(QStringLiteral("quotation mark")), qPrintable(mistake.errors));
        QCOMPARE(run(home.path(), { QStringLiteral("--search") }).code, 2);
    }
};

QTEST_MAIN(SearchCommandTest)
#include "tst_searchcommand.moc"
