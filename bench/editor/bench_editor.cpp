// Times the note editor's tool bar as a note starts editing: attaching the bar to a focused note
// beside a page and showing it, first when the bar is new (it polishes and lays out then), then as
// the median and the slowest of switching between 40 notes. Opening the font-family menu once is
// timed too, since it lists every family the system has. Takes no arguments; prints one
// "name: value unit" line per figure.

#include <editor/editortoolbar.h>
#include <editor/textdocument.h>

#include <bench/benchsupport.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include <vector>

using namespace Nod::Presentation;

namespace {

constexpr int kNotes = 40;
constexpr int kRounds = 10;

double elapsedMs(const QElapsedTimer &timer) { return timer.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    QGraphicsScene scene(0, 0, 900, 1200);
    QGraphicsView view(&scene);
    view.resize(1000, 800);
    std::vector<QGraphicsTextItem *> notes;
    for (int i = 0; i < kNotes; ++i) {
        auto *note = new QGraphicsTextItem;
        note->setDocument(new TextDocument(i + 1, nullptr, note));
        note->setTextInteractionFlags(Qt::TextEditorInteraction);
        note->setTextWidth(240);
        note->setHtml(
            QStringLiteral("<p>Note %1 with <b>bold</b>, <i>italic</i> and <u>underlined</u> words, "
                           "a list:</p><ul><li>one</li><li>two</li></ul>")
                .arg(i));
        note->setPos(620, 20 + i * 28);
        scene.addItem(note);
        notes.push_back(note);
    }
    auto *bar = new EditorToolBar(view.viewport());
    bar->hide();
    view.show();
    app.processEvents();

    auto startEditing = [&](QGraphicsTextItem *note) {
        note->setFocus();
        QElapsedTimer timer;
        timer.start();
        bar->attach(note, 1);
        bar->adjustSize();
        bar->move(note->mapToScene(note->boundingRect().topLeft()).toPoint() - QPoint(0, bar->height()));
        bar->show();
        bar->raise();
        return elapsedMs(timer);
    };

    Bench::print("toolbar_first_attach_ms", startEditing(notes.front()), "ms");
    app.processEvents();

    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        for (QGraphicsTextItem *note : notes) {
            bar->hide();
            bar->detach();
            times.push_back(startEditing(note));
            app.processEvents();
        }
    }
    Bench::print("toolbar_attach_ms", Bench::median(times), "ms");
    Bench::print("toolbar_attach_max_ms", *std::max_element(times.begin(), times.end()), "ms");

    auto *fontButton = bar->findChild<QToolButton *>(QStringLiteral("NoteEditor-fontFamily"));
    QElapsedTimer timer;
    double openMs = 0;
    QTimer::singleShot(0, [&] {
        openMs = elapsedMs(timer);
        bar->fontFamilyMenu()->close();
    });
    timer.start();
    fontButton->showMenu();
    Bench::print("font_menu_first_open_ms", openMs, "ms");
    Bench::print("font_families", bar->fontFamilyMenu()->actions().size(), "families");
    return 0;
}
