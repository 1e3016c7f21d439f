#include "application/damagedtree.h"
#include "backend/testdocuments.h"
#include "support/programhome.h"
#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <domain/hashgenerator.h>
#include <mindmap/annonodeitem.h>
#include <mindmap/mindscene.h>
#include <mindmap/mindview.h>
#include <mindmap/rootmindnodeitem.h>

#include <QProcess>
#include <QUndoStack>

// Damaged children lists in a real database, met by real processes: the mind map opens (a process
// that hangs is stopped after a while and fails the test, one that eats memory runs out of it), and
// "--export-notes" of the real program lists every note once.
class DamagedMapTest : public QObject
{
    Q_OBJECT

    // Runs a program with at most 3 GB of address space and 60 s of time.
    static ProgramRun run(
        const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("/bin/sh"),
            QStringList {
                QStringLiteral("-c"), QStringLiteral("ulimit -v 3000000; exec \"$0\" \"$@\""), program }
                + arguments);
        ProgramRun result;
        result.finished = process.waitForFinished(60000);
        if (!result.finished) {
            process.kill();
            process.waitForFinished();
        }
        result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.output = QString::fromUtf8(process.readAllStandardOutput());
        result.errors = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

private slots:
    void damagedLists_mapOpensAndExportListsEveryNote_data() { addTreeDamageRows(); }

    void damagedLists_mapOpensAndExportListsEveryNote()
    {
        QFETCH(QString, damage);
        ProgramHome home;
        QVERIFY(home.isValid());
        const QString storage = home.useStorage();
        QVERIFY(QFileInfo(storage).isDir());
        const QString pdf = home.filePath(QStringLiteral("paper.pdf"));
        QVERIFY(TestDocuments::writePdf(pdf, QPageSize::A4, 18, 2, [](QPainter &painter, int page) {
            painter.drawText(QPointF(72, 100), QStringLiteral("Page %1").arg(page + 1));
        }));
        const QString database = QDir(storage).filePath(QStringLiteral("database"));
        int documentId = 0;
        TreeIds t;
        {
            Nod::Domain::registerMetaTypes();
            QVERIFY(TestSupport::openMigrated(database));
            Nod::Application::ServiceRegistry registry;
            documentId = registry.documentService()->newDocument(
                Nod::Domain::HashGenerator().generate(pdf), pdf, QStringLiteral("Paper"));
            QVERIFY(documentId > 0);
            t = buildDamageableTree(registry.noteService(), documentId);
            damageTree(damage, t);
        }
        Nod::Infrastructure::Database::close();

        QProcessEnvironment env = home.environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        // The map in a process of its own: every annotation once, under the parent its list gives,
        // the unreached after the listed ones in page order.
        const ProgramRun map = run(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--open-map"), database, QString::number(documentId), pdf }, env);
        QVERIFY2(map.finished, "the mind map did not open within a minute");
        QVERIFY2(map.code == 0, qPrintable(map.errors.right(2000)));
        const bool rootLost = damage.startsWith(QLatin1String("root list"));
        const QString edge = QStringLiteral("%1>%2\n");
        const QString expected = rootLost ? edge.arg(t.root).arg(t.a) + edge.arg(t.a).arg(t.d)
                + edge.arg(t.root).arg(t.b) + edge.arg(t.root).arg(t.c)
                                          : edge.arg(t.root).arg(t.c) + edge.arg(t.root).arg(t.a)
                + edge.arg(t.a).arg(t.d) + edge.arg(t.root).arg(t.b);
        QCOMPARE(map.output, expected);
        if (rootLost) {
            QVERIFY2(
                map.errors.contains(QLatin1String("reached by no children list")), qPrintable(map.errors));
        }

        // The export needs no display.
        const QString target = home.filePath(QStringLiteral("notes.md"));
        const ProgramRun exported = run(
            ProgramHome::program(), { QStringLiteral("--export-notes"), target, pdf }, home.environment());
        QVERIFY2(exported.finished, "the export did not end within a minute");
        QVERIFY2(exported.code == 0, qPrintable(exported.errors.right(2000)));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString md = QString::fromUtf8(file.readAll());
        QStringList order;
        for (const char *name : { "A", "B", "C", "D" }) {
            const QString note = QStringLiteral("Note") + QLatin1String(name);
            QVERIFY2(md.count(note) == 1, qPrintable(md));
            order.append(note);
        }
        // Siblings are exported in page order, the unreached after the listed ones (here the same).
        std::sort(order.begin(), order.end(),
            [&md](const QString &x, const QString &y) { return md.indexOf(x) < md.indexOf(y); });
        QCOMPARE(order,
            (QStringList { QStringLiteral("NoteA"), QStringLiteral("NoteD"), QStringLiteral("NoteB"),
                QStringLiteral("NoteC") }));
    }
};

namespace {

// The child process: opens the mind map of a document over a database, as the tab does, and
// prints each edge of the shown tree, depth first, as "parent>child".
int openMap(int argc, char **argv)
{
    QApplication app(argc, argv);
    Nod::Domain::registerMetaTypes();
    const QStringList arguments = QCoreApplication::arguments();
    if (!TestSupport::openMigrated(arguments.at(2))) {
        return 3;
    }
    int status = 0;
    {
        Nod::Application::ServiceRegistry registry;
        Nod::Application::ServiceRegistry::setInstance(&registry);
        QUndoStack stack;
        Nod::Presentation::MindView view;
        view.resize(800, 600);
        view.show();
        const QSharedPointer<Backend::Document> document
            = BackendManager::instance()->openDocument(arguments.at(4));
        if (!document || !view.openDocument(document, arguments.at(3).toInt(), &stack, 72, 72)) {
            status = 4;
        } else {
            QCoreApplication::processEvents();
            Nod::Presentation::MindScene *scene = view.mindScene();
            QTextStream out(stdout);
            QVector<Nod::Presentation::MindNodeItem *> pending { scene->rootNode() };
            while (!pending.isEmpty()) {
                Nod::Presentation::MindNodeItem *node = pending.takeLast();
                const QVector<Nod::Presentation::MindNodeItem *> children = node->childNodes();
                for (auto it = children.crbegin(); it != children.crend(); ++it) {
                    pending.append(*it);
                }
                if (node != scene->rootNode()) {
                    out << scene->idOf(node->parentNode()) << '>' << scene->idOf(node) << '\n';
                }
            }
        }
        Nod::Application::ServiceRegistry::setInstance(nullptr);
    }
    Nod::Infrastructure::Database::close();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--open-map") == 0) {
        return openMap(argc, argv);
    }
    QApplication app(argc, argv);
    DamagedMapTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_damagedmap.moc"
