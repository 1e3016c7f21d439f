#include "infrastructure/testsupport.h"
#include "support/programhome.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <domain/hashgenerator.h>
#include <domain/metatypes.h>
#include <indexing/searchindexer.h>

#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The real program run by a script: "--search QUERY" prints the hits of the library's index, one a
// line, with no window; without an index it says so and ends with 1.
class SearchCommandTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Nod::Domain::registerMetaTypes(); }

    void search_printsHitsOrExplainsWhyNot()
    {
        ProgramHome home;
        QVERIFY(home.isValid());
        const QString storage = home.useStorage();
        QVERIFY(QFileInfo(storage).isDir());
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

        const ProgramRun notBuilt = home.run({ QStringLiteral("--search"), QStringLiteral("glacier") });
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

        const ProgramRun found = home.run({ QStringLiteral("--search"), QStringLiteral("glacier") });
        QVERIFY2(found.code == 0, qPrintable(found.errors));
        QStringList lines = found.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines,
            QStringList({ pdf + QStringLiteral("\t2\tThe glacier feeds the fjord"),
                pdf + QStringLiteral("\tnote\tAsk about the glacier walk") }));

        const ProgramRun none = home.run({ QStringLiteral("--search"), QStringLiteral("\"fjord glacier\"") });
        QCOMPARE(none.code, 0);
        QVERIFY(none.output.isEmpty());

        const ProgramRun mistake = home.run({ QStringLiteral("--search"), QStringLiteral("\"open phrase") });
        QCOMPARE(mistake.code, 2);
        QVERIFY2(mistake.errors.contains(QStringLiteral("quotation mark")), qPrintable(mistake.errors));
        QCOMPARE(home.run({ QStringLiteral("--search") }).code, 2);
    }
};

QTEST_MAIN(SearchCommandTest)
#include "tst_searchcommand.moc"
