// Times the annotation side of a document tab on a generated 500-page PDF with 2,000 annotations,
// 200 of them on one page, short notes and one in ten with an image; and the text tools on a page
// of 5,000 characters. No arguments.
#include <annotating/markeritem.h>
#include <annotating/noteitem.h>
#include <annotating/undocommands.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <backend/page.h>
#include <domain/metatypes.h>
#include <editor/editortoolbar.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>
#include <reading/tools/noteeditorhost.h>
#include <reading/tools/select.h>
#include <reviewing/scene.h>
#include <reviewing/view.h>

#include <bench/benchdocument.h>
#include <bench/benchsupport.h>
#include <bench/interfacewatch.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardPaths>
#include <QUndoStack>
#include <QWindow>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Nod;
using Domain::Marker;

namespace {

constexpr int kPages = 500;
constexpr int kAnnotations = 2000;
constexpr int kCrowdedPage = 3;
constexpr int kOnCrowdedPage = 200;

// One page of 100 lines of 50 characters.
bool writeDensePdf(const QString &path)
{
    return Bench::writePdf(path, 1, [](QPainter &painter, int) {
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(7);
        painter.setFont(font);
        for (int line = 0; line < 100; ++line) {
            QString text;
            for (int word = 0; text.size() < 50; ++word) {
                text += QStringLiteral("w%1l%2 ").arg(word).arg(line);
            }
            painter.drawText(QPointF(40, 30 + line * 8), text.left(50));
        }
    });
}

template <typename Predicate> bool waitFor(Predicate done, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

// Text-flow selection moves and whole-page highlights on a page of 5,000 characters.
bool benchTextTools(Application::ServiceRegistry *registry, const QString &path)
{
    const int documentId = registry->documentService()->newDocument(
        QStringLiteral("fedcba9876543210fedcba9876543210"), path, QStringLiteral("dense.pdf"));
    auto tab = std::make_unique<Presentation::DocumentWidget>();
    tab->resize(1200, 900);
    tab->show();
    if (!tab->openDocument(registry->documentService()->document(documentId))) {
        return false;
    }
    PDFDocumentView *view = tab->readingView();
    PDFDocumentScene *scene = view->pdfScene().data();
    ReadingPageItem *page = scene->readingPageAt(0);
    scene->annotations()->populate(page);
    waitFor([page] { return page->isSharp(); });
    const QList<Backend::TextBox> boxes = page->page().toStrongRef()->textBoxes();
    int characters = 0;
    for (const Backend::TextBox &box : boxes) {
        characters += box.character != QLatin1Char('\n') ? 1 : 0;
    }
    Bench::print("textflow_page_characters", characters, "chars");
    const auto toView = [view, page](const QPointF &pagePoint) {
        return view->mapFromScene(page->mapToScene(page->pageTransform().map(pagePoint)));
    };
    const auto send
        = [view](QEvent::Type type, const QPoint &at, Qt::MouseButton button, Qt::MouseButtons held) {
              QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), button, held, Qt::NoModifier);
              QApplication::sendEvent(view->viewport(), &event);
          };
    view->armTool(DocumentTool::AbstractTool::TextHighlight);
    const QPoint first = toView(boxes.first().rect.center() - QPointF(boxes.first().rect.width() / 4, 0));
    QRectF lastRect;
    for (const Backend::TextBox &box : boxes) {
        if (!box.rect.isEmpty()) {
            lastRect = box.rect;
        }
    }
    const QPoint last = toView(lastRect.center() + QPointF(lastRect.width() / 4, 0));

    // Moves over the whole page while a selection follows the text.
    std::vector<double> moves;
    std::vector<double> painted;
    send(QEvent::MouseButtonPress, first, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 200; ++i) {
        const QPoint at = first + (last - first) * i / 200 + QPoint((i * 37) % 60 - 30, 0);
        QElapsedTimer one;
        one.start();
        send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        moves.push_back(one.nsecsElapsed() / 1e6);
        view->viewport()->repaint();
        painted.push_back(one.nsecsElapsed() / 1e6);
    }
    send(QEvent::MouseButtonRelease, last, Qt::LeftButton, Qt::NoButton);
    Bench::print("textflow_move_ms", Bench::median(moves), "ms");
    Bench::print("textflow_move_max_ms", *std::max_element(moves.begin(), moves.end()), "ms");
    Bench::print("textflow_move_with_paint_ms", Bench::median(painted), "ms");

    // The whole page highlighted: the release stores it, database commit included.
    std::vector<double> commits;
    for (int i = 0; i < 5; ++i) {
        tab->undoStack()->undo();
        send(QEvent::MouseButtonPress, first, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, last, Qt::NoButton, Qt::LeftButton);
        QElapsedTimer one;
        one.start();
        send(QEvent::MouseButtonRelease, last, Qt::LeftButton, Qt::NoButton);
        commits.push_back(one.nsecsElapsed() / 1e6);
    }
    const QVector<Domain::Annotation> stored = registry->noteService()->annotations(documentId, 0);
    if (stored.size() != 1) {
        std::fprintf(stderr, "the whole-page highlight was not stored once\n");
        return false;
    }
    Bench::print("commit_full_page_ms", Bench::median(commits), "ms");
    Bench::print(
        "commit_full_page_rects", stored.first().canvas().shape().value<Domain::TextRects>().size(), "rects");
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    Domain::registerMetaTypes();
    Bench::Workspace workspace;
    if (!workspace.open()) {
        return 1;
    }
    Application::ServiceRegistry *registry = workspace.registry();
    const QString path = workspace.filePath(QStringLiteral("bench.pdf"));
    if (!Bench::writeTextPdf(path, kPages)) {
        std::fprintf(stderr, "cannot write the document\n");
        return 1;
    }
    const int documentId = workspace.addDocument(path, QStringLiteral("bench.pdf"));
    Bench::fillAnnotations(documentId, kPages, kAnnotations, kCrowdedPage, kOnCrowdedPage);
    {
        // Open the tab with notes on both sides, to the first page painted with its marks and notes.
        auto *documents = registry->documentService();
        const Domain::LastRead last = documents->document(documentId).lastRead();
        const Domain::ViewSetting setting(Domain::ViewSetting::ScaleFactor, 1.0,
            Domain::ViewSetting::NoRotation, Domain::ViewSetting::BothSideMargin);
        documents->changeLastRead(documentId, Domain::LastRead(0, QPointF(), setting, last.siderBarState()));
    }
    auto tab = std::make_unique<Presentation::DocumentWidget>();
    tab->resize(1200, 900);
    QElapsedTimer timer;
    timer.start();
    tab->show();
    if (!tab->openDocument(registry->documentService()->document(documentId))) {
        std::fprintf(stderr, "cannot open the tab\n");
        return 1;
    }
    PDFDocumentScene *scene = tab->readingView()->pdfScene().data();
    AnnotationIndex *index = scene->annotations();
    const bool opened = waitFor([&] { return index->isPopulated(0) && scene->readingPageAt(0)->isSharp(); });
    Bench::print("tab_open_ms", opened ? double(timer.elapsed()) : -1.0, "ms");

    timer.restart();
    index->populate(scene->readingPageAt(kCrowdedPage));
    Bench::print("populate_page_ms", double(timer.elapsed()), "ms");

    // Mouse moves over the crowded page.
    PDFDocumentView *view = tab->readingView();
    view->goToPage(kCrowdedPage);
    QCoreApplication::processEvents();
    ReadingPageItem *crowded = scene->readingPageAt(kCrowdedPage);
    std::vector<double> moves;
    for (int i = 0; i < 200; ++i) {
        const QPointF scenePos = crowded->mapToScene(
            QPointF(40 + (i * 53) % 480, 40 + (i * 31) % 760) * crowded->resolutionX() / 72.0);
        const QPoint at = view->mapFromScene(scenePos);
        QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
            Qt::NoModifier);
        QElapsedTimer one;
        one.start();
        QApplication::sendEvent(view->viewport(), &move);
        moves.push_back(one.nsecsElapsed() / 1e6);
    }
    Bench::print("hover_move_ms", Bench::median(moves), "ms");

    {
        // Notes of the crowded page start editing one after the other: each focus-in attaches the
        // note editor's tool bar, places it above the note and shows it.
        tab->activateWindow();
        view->setFocus();
        QCoreApplication::processEvents();
        Presentation::EditorToolBar *bar = tab->noteEditor()->toolBar();
        const QVector<Domain::Annotation> notes
            = registry->noteService()->annotations(documentId, kCrowdedPage);
        std::vector<double> attaches;
        for (int i = 0; i < 40 && i < notes.size(); ++i) {
            Presentation::NoteItem *note = index->noteItem(notes.at(i * notes.size() / 40).id());
            if (!note) {
                continue;
            }
            QElapsedTimer one;
            one.start();
            note->setFocus(Qt::MouseFocusReason);
            const double ms = one.nsecsElapsed() / 1e6;
            if (bar->isVisible() && bar->annotationId() == note->annotationId()) {
                attaches.push_back(ms);
            }
            scene->clearFocus();
            QCoreApplication::processEvents();
        }
        const bool all = attaches.size() == 40;
        Bench::print("toolbar_attach_ms", all ? Bench::median(attaches) : -1.0, "ms");
        Bench::print(
            "toolbar_attach_max_ms", all ? *std::max_element(attaches.begin(), attaches.end()) : -1.0, "ms");
    }

    QUndoStack *stack = tab->undoStack();
    std::vector<double> steps;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer one;
        one.start();
        const int id = index->createAnnotation(kCrowdedPage, QPointF(100 + i, 300),
            Marker(QPolygonF(QRectF(0, 0, 40, 10)), Marker::AllEdges, QPen(Qt::NoPen), QBrush(Qt::yellow)));
        stack->undo();
        stack->redo();
        if (id <= 0) {
            std::fprintf(stderr, "creation failed\n");
            return 1;
        }
        steps.push_back(one.nsecsElapsed() / 1e6 / 3.0);
    }
    Bench::print("create_undo_redo_ms", Bench::median(steps), "ms");

    const QVector<Domain::Annotation> onPage = registry->noteService()->annotations(documentId, kCrowdedPage);
    stack->clear();
    for (int i = 0; i < 500; ++i) {
        const Domain::Annotation &anno = onPage.at(i % onPage.size());
        Presentation::AnnotationCommand::push(stack,
            new Presentation::ChangeNoteCommand(registry->noteService(), anno.id(),
                QStringLiteral("<p>change %1</p>").arg(i),
                registry->noteService()->annotation(anno.id()).noteText()));
    }
    timer.restart();
    while (stack->canUndo()) {
        stack->undo();
    }
    Bench::print("undo_all_ms", double(timer.elapsed()), "ms");

    {
        // The summary of the same document with notes on both sides, from building its scene to
        // its first paint; then scrolling through it at 60 steps a second, half a view a step.
        const double dpi = tab->logicalDpiX();
        Reviewing::View summary;
        summary.resize(1200, 900);
        summary.show();
        waitFor([&summary] { return summary.windowHandle() && summary.windowHandle()->isExposed(); });
        timer.restart();
        auto summaryScene = QSharedPointer<Reviewing::Scene>::create(
            tab->document(), documentId, stack, dpi, dpi, Base::Page::BothNoteAreas);
        summary.setScene(summaryScene);
        summary.viewport()->repaint();
        Bench::print("summary_first_paint_ms", double(timer.elapsed()), "ms");
        Bench::print("summary_rows", summaryScene->annotationCount(), "rows");

        QScrollBar *bar = summary.verticalScrollBar();
        const int steps = std::max(1, (bar->maximum() - bar->value()) / (summary.viewport()->height() / 2));
        const double stepSize = double(bar->maximum() - bar->value()) / steps;
        const int startValue = bar->value();
        int step = 0;
        QTimer stepper;
        stepper.setTimerType(Qt::PreciseTimer);
        stepper.setInterval(1000 / 60);
        QObject::connect(&stepper, &QTimer::timeout, [&] {
            ++step;
            bar->setValue(startValue + int(step * stepSize));
            if (step >= steps) {
                stepper.stop();
            }
        });
        Bench::Watchdog watchdog;
        watchdog.start();
        stepper.start();
        waitFor([&stepper] { return !stepper.isActive(); }, 600000);
        Bench::print("summary_scroll_max_ui_stall_ms", watchdog.stop(), "ms");
        Bench::print("summary_scroll_steps", steps, "steps");
    }

    tab.reset();
    const QString dense = workspace.filePath(QStringLiteral("dense.pdf"));
    if (!writeDensePdf(dense) || !benchTextTools(registry, dense)) {
        std::fprintf(stderr, "the text tools could not be timed\n");
        return 1;
    }
    return 0;
}
