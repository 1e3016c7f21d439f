// How much typing a crash can lose, what storing it costs the interface, and how a tab whose note
// holds 50 MB opens and ends on SIGTERM.
//   max_typing_lost_ms  the longest a typed key stays unstored, so the most a kill at any moment loses
//   autosave_stall_ms   the longest the interface thread is held by a timer tick that saw a store
//   tab_open_ms         opening a tab whose document has a 50 MB note, to its first painted view
//   sigterm_exit_ms     SIGTERM to the end of a process busy laying out that note whole

#include <bench/benchdocument.h>
#include <bench/benchsupport.h>

#include <annotating/noteitem.h>
#include <app/terminationhandler.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <vector>

using namespace Nod::Presentation;

namespace {

const char *const kChildVariable = "NODERA_BENCH_NOTES_CHILD";
constexpr int kKeys = 200;
constexpr int kKeyIntervalMs = 100;

Nod::Domain::Marker area()
{
    return Nod::Domain::Marker(
        QPolygonF(QRectF(0, 0, 60, 20)), Nod::Domain::Marker::AllEdges, QPen(Qt::yellow), QBrush(Qt::yellow));
}

QString hugeNote()
{
    const QString paragraph = QStringLiteral("<p>")
        + QStringLiteral("lorem ipsum dolor sit amet ").repeated(40) + QStringLiteral("</p>");
    return paragraph.repeated(50 * 1000 * 1000 / paragraph.size());
}

// A document of the workspace with one annotation on its first page whose note is `html`.
int documentWithNote(Bench::Workspace &workspace, const QString &name, const QString &html)
{
    const QString pdf = workspace.filePath(name);
    if (!Bench::writeTextPdf(pdf, 3)) {
        return 0;
    }
    const int documentId = workspace.addDocument(pdf, name);
    Nod::Application::NoteService *notes = workspace.registry()->noteService();
    Nod::Application::NewAnnotation record;
    record.id = notes->nextId();
    record.documentId = documentId;
    record.position = QPointF(100, 100);
    record.canvas = area();
    record.noteText = html;
    record.createdAt = QDateTime::currentDateTime();
    record.parentId = notes->documentNote(documentId).id();
    record.index = 0;
    notes->newAnnotation(record);
    return documentId;
}

std::unique_ptr<DocumentWidget> openTab(Bench::Workspace &workspace, int documentId)
{
    auto tab = std::make_unique<DocumentWidget>();
    tab->resize(1200, 800);
    tab->show();
    if (!QTest::qWaitForWindowExposed(tab.get())
        || !tab->openDocument(workspace.registry()->documentService()->document(documentId))) {
        return nullptr;
    }
    tab->setNoteAreaMode(1);
    tab->readingView()->pdfScene()->annotations()->populate(tab->readingView()->pdfScene()->readingPageAt(0));
    return tab;
}

NoteItem *firstNote(Bench::Workspace &workspace, DocumentWidget &tab, int documentId)
{
    const int id = workspace.registry()->noteService()->documentNote(documentId).children().value(0);
    return tab.readingView()->pdfScene()->annotations()->noteItem(id);
}

// The process the SIGTERM figure is taken of: the tab with the 50 MB note, then that note opened whole.
int busyChild()
{
    Nod::App::TerminationHandler termination;
    Bench::Workspace workspace;
    if (!workspace.open()) {
        return 2;
    }
    const int documentId = documentWithNote(workspace, QStringLiteral("huge.pdf"), hugeNote());
    std::unique_ptr<DocumentWidget> tab = openTab(workspace, documentId);
    NoteItem *note = tab ? firstNote(workspace, *tab, documentId) : nullptr;
    if (!note) {
        return 3;
    }
    QTimer::singleShot(0, [note] {
        std::printf("busy\n");
        std::fflush(stdout);
        note->openWhole();
    });
    return QApplication::exec();
}

void measureTyping(Bench::Workspace &workspace)
{
    const int documentId = documentWithNote(workspace, QStringLiteral("typing.pdf"), QString());
    std::unique_ptr<DocumentWidget> tab = openTab(workspace, documentId);
    NoteItem *note = tab ? firstNote(workspace, *tab, documentId) : nullptr;
    if (!note) {
        std::fprintf(stderr, "the typing tab did not open\n");
        return;
    }
    tab->activateWindow();
    tab->readingView()->setFocus();
    note->setFocus(Qt::MouseFocusReason);

    QElapsedTimer clock;
    clock.start();
    std::vector<double> typedAt;
    std::vector<std::pair<double, QString>> stores;
    bool stored = false;
    QObject::connect(workspace.registry()->noteService(), &Nod::Application::NoteService::noteChanged,
        [&](const Nod::Domain::Annotation &anno) {
            stores.emplace_back(clock.nsecsElapsed() / 1e6, anno.noteText());
            stored = true;
        });
    // The longest tick of the interface thread in which a store ran.
    double stall = 0;
    qint64 lastTick = clock.nsecsElapsed();
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (stored) {
            stall = std::max(stall, (now - lastTick) / 1e6);
            stored = false;
        }
        lastTick = now;
    });
    ticks.start();
    QTimer keys;
    keys.setInterval(kKeyIntervalMs);
    QObject::connect(&keys, &QTimer::timeout, [&] {
        if (int(typedAt.size()) >= kKeys) {
            keys.stop();
            return;
        }
        QTest::keyClick(tab->readingView()->viewport(), char('a' + typedAt.size() % 26));
        typedAt.push_back(clock.nsecsElapsed() / 1e6);
    });
    keys.start();
    QTest::qWait(kKeys * kKeyIntervalMs + NoteItem::autosaveLongestMs + 1000);

    // Each key is safe from the first store whose text holds it.
    double lost = 0;
    int covered = 0;
    for (const auto &store : stores) {
        QTextDocument document;
        document.setHtml(store.second);
        const int length = document.toPlainText().size();
        for (; covered < length && covered < int(typedAt.size()); ++covered) {
            lost = std::max(lost, store.first - typedAt[covered]);
        }
    }
    if (covered < int(typedAt.size())) {
        std::fprintf(stderr, "%d keys were never stored\n", int(typedAt.size()) - covered);
        lost = clock.nsecsElapsed() / 1e6 - typedAt[covered];
    }
    Bench::print("max_typing_lost_ms", lost, "ms");
    Bench::print("autosave_stall_ms", stall, "ms");
    Bench::print("autosave_stores", double(stores.size()), "stores");
}

void measureHugeNote(Bench::Workspace &workspace)
{
    const int documentId = documentWithNote(workspace, QStringLiteral("huge.pdf"), hugeNote());
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<DocumentWidget> tab = openTab(workspace, documentId);
    if (!tab) {
        std::fprintf(stderr, "the tab with the huge note did not open\n");
        return;
    }
    tab->readingView()->viewport()->repaint();
    QCoreApplication::processEvents();
    Bench::print("tab_open_ms", clock.nsecsElapsed() / 1e6, "ms");
}

void measureSigterm()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kChildVariable), QStringLiteral("busy"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QByteArray line;
    while (line.trimmed() != "busy" && child.waitForReadyRead(300000)) {
        while (child.canReadLine() && line.trimmed() != "busy") {
            line = child.readLine();
        }
    }
    if (line.trimmed() != "busy") {
        std::fprintf(stderr, "the busy child did not start\n");
        return;
    }
    QTest::qWait(200);
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(child.processId()), SIGTERM);
    if (!child.waitForFinished(600000)) {
        std::fprintf(stderr, "SIGTERM did not end the child\n");
        child.kill();
    }
    Bench::print("sigterm_exit_ms", clock.nsecsElapsed() / 1e6, "ms");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildVariable)) {
        return busyChild();
    }
    Bench::Workspace workspace;
    if (!workspace.open()) {
        return 1;
    }
    measureTyping(workspace);
    measureHugeNote(workspace);
    measureSigterm();
    return 0;
}
