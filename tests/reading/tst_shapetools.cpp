#include "support/tabfixture.h"

#include <annotating/noteitem.h>
#include <application/documentservice.h>
#include <application/tagservice.h>
#include <domain/marker.h>
#include <editor/editortoolbar.h>
#include <editor/tagsdialog.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>
#include <reading/tools/linedialog.h>
#include <reading/tools/linetool.h>
#include <reading/tools/noteeditorhost.h>
#include <reading/tools/recttool.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>

#include <memory>

using Nod::Domain::Marker;
using Nod::Presentation::DocumentWidget;

namespace {

struct Row
{
    int id = 0;
    int pageIndex = -1;
    QPointF position;
    Marker canvas;
    QVector<Marker> markers;
    QByteArray bytes; // every column, for byte comparisons
};

// The stored page annotations, in id order.
QList<Row> rows()
{
    QList<Row> out;
    QSqlQuery query(QStringLiteral("SELECT * FROM Annotation WHERE pageIndex >= 0 ORDER BY id"));
    while (query.next()) {
        Row row;
        row.id = query.value(QStringLiteral("id")).toInt();
        row.pageIndex = query.value(QStringLiteral("pageIndex")).toInt();
        Nod::Domain::Annotation anno;
        anno.setPositionData(query.value(QStringLiteral("position")).toByteArray());
        anno.setCanvasData(query.value(QStringLiteral("canvas")).toByteArray());
        anno.setMarkersData(query.value(QStringLiteral("markers")).toByteArray());
        row.position = anno.position();
        row.canvas = anno.canvas();
        row.markers = anno.markers();
        for (int i = 0; i < query.record().count(); ++i) {
            row.bytes += query.value(i).toByteArray() + '|';
        }
        out << row;
    }
    return out;
}

QString stored(int id)
{
    return TestSupport::scalar(QStringLiteral("SELECT noteText FROM Annotation WHERE id = %1").arg(id))
        .toString();
}

} // namespace

// The rectangle and line tools, driven by mouse and key events on a real tab over a real database.
class ShapeToolsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    std::unique_ptr<DocumentWidget> m_tab;

    PDFDocumentView *view() const { return m_tab->readingView(); }
    QWidget *viewport() const { return view()->viewport(); }
    AnnotationIndex *index() const { return view()->pdfScene()->annotations(); }
    QUndoStack *stack() const { return m_tab->undoStack(); }

    bool openTab(int pages)
    {
        const QString path = m_fixture->path(QStringLiteral("doc.pdf"));
        if (!writeNumberedPdf(path, pages)) {
            return false;
        }
        m_tab = openDocumentTab(*m_fixture, m_fixture->newDocument(path), QSize(900, 800), TabWait::Active);
        if (!m_tab) {
            return false;
        }
        // Small enough that the first page, its right margin and the top of the second are in view.
        view()->setZoomLevel(0.5);
        view()->goToPage(0, PDFDocumentView::AlignTop | PDFDocumentView::AlignLeft);
        QCoreApplication::processEvents();
        index()->populate(view()->pdfScene()->readingPageAt(0));
        return true;
    }

    // A point of a page, in page points, as a viewport position.
    QPoint at(int page, QPointF point) const
    {
        ReadingPageItem *item = view()->pdfScene()->readingPageAt(page);
        return view()->mapFromScene(item->mapToScene(item->pageTransform().map(point)));
    }

    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(viewport(), (from + to) / 2);
        QTest::mouseMove(viewport(), to);
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, to);
    }

    // Answers the next question box once it shows, and keeps its text.
    void answerNextQuestion(QMessageBox::StandardButton answer)
    {
        m_question.clear();
        auto *poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll, answer] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                poll->deleteLater();
                m_question = box->text();
                box->button(answer)->click();
            }
        });
        poll->start(20);
    }

    QString m_question;

    void send(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, pos, viewport()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &event);
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_fixture->install();
    }

    void cleanup()
    {
        m_tab.reset();
        m_fixture.reset();
    }

    void rectangles_commitOnlyRealDragsClippedToTheirPage_andUndoRedoToTheByte()
    {
        QVERIFY(openTab(2));
        view()->armTool(DocumentTool::AbstractTool::Rectangle);
        const int slop = QApplication::startDragDistance();

        // Within the start-drag distance: nothing.
        const QPoint start = at(0, QPointF(100, 300));
        drag(start, start + QPoint(slop / 2, slop / 2));
        QCOMPARE(rows().size(), 0);

        // The right button joins in during the drag: nothing, not even once the left one is let go.
        send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, start + QPoint(80, 80), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonPress, start + QPoint(80, 80), Qt::RightButton,
            Qt::LeftButton | Qt::RightButton);
        send(QEvent::MouseButtonRelease, start + QPoint(80, 80), Qt::RightButton, Qt::LeftButton);
        send(QEvent::MouseMove, start + QPoint(90, 90), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, start + QPoint(90, 90), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(rows().size(), 0);

        // Dragged past the page's right edge: the mark stops at the edge of the page it began on.
        const QPoint end = at(0, QPointF(700, 400));
        QVERIFY(view()->viewport()->rect().contains(end));
        drag(start, end);
        QList<Row> stored = rows();
        QCOMPARE(stored.size(), 1);
        const Row rect = stored.first();
        QCOMPARE(rect.pageIndex, 0);
        QCOMPARE(rect.canvas.outline(), Marker::AllEdges);
        QCOMPARE(rect.canvas.pen().color(), QColor(Qt::red));
        const QPolygonF polygon = rect.canvas.shape().value<QPolygonF>();
        QCOMPARE(polygon.size(), 12);
        QCOMPARE(polygon.at(0), QPointF(0, 0));
        QCOMPARE(polygon.at(2), QPointF(0, 0));
        QCOMPARE(polygon.at(3), polygon.at(5));
        const QRectF onPage = polygon.boundingRect().translated(rect.position);
        QVERIFY2(qAbs(onPage.left() - 100) < 1.5 && qAbs(onPage.top() - 300) < 1.5,
            qPrintable(QString::number(onPage.left())));
        QVERIFY2(qAbs(onPage.right() - 612) < 1e-6, qPrintable(QString::number(onPage.right())));
        QVERIFY(qAbs(onPage.bottom() - 400) < 1.5);

        // Undo and redo bring back the same row, byte for byte.
        stack()->undo();
        QCOMPARE(rows().size(), 0);
        stack()->redo();
        QCOMPARE(rows().size(), 1);
        QCOMPARE(rows().first().bytes, rect.bytes);
        QVERIFY(index()->canvasItem(rect.id));
    }

    void rectangleStartedOnAMark_addsAMarkerToItsAnnotation()
    {
        QVERIFY(openTab(1));
        const int highlight = index()->createAnnotation(0, QPointF(100, 100),
            Marker(QPolygonF(QRectF(0, 0, 200, 50)), Marker::NoLine, QPen(Qt::NoPen), QBrush(Qt::yellow)));
        QVERIFY(highlight);
        view()->armTool(DocumentTool::AbstractTool::RectangleHighlight);
        view()->tool(DocumentTool::AbstractTool::RectangleHighlight)->setColor(Qt::green);
        drag(at(0, QPointF(150, 120)), at(0, QPointF(400, 300)));

        const QList<Row> stored = rows();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().markers.size(), 1);
        const Marker added = stored.first().markers.first();
        QCOMPARE(added.outline(), Marker::NoLine);
        QCOMPARE(added.brush().color(), QColor(0, 255, 0, 128));
        // Relative to the annotation's position.
        const QRectF bounds = added.shape().value<QPolygonF>().boundingRect();
        QVERIFY(qAbs(bounds.left() - 50) < 1.5 && qAbs(bounds.top() - 20) < 1.5);
    }

    void horizontalLines_areSavedTogetherOnReturn_andAnotherPageAsksFirst()
    {
        QVERIFY(openTab(2));
        view()->armTool(DocumentTool::AbstractTool::HorLine);
        auto *tool
            = static_cast<DocumentTool::AbstractLine *>(view()->tool(DocumentTool::AbstractTool::HorLine));

        // The pointer wanders up and down: lines stay level; past the page edge they stop at it.
        drag(at(0, QPointF(100, 200)), at(0, QPointF(300, 230)));
        drag(at(0, QPointF(150, 260)), at(0, QPointF(700, 250)));
        // A twitch within the start-drag distance adds no line.
        const QPoint twitch = at(0, QPointF(100, 400));
        drag(twitch, twitch + QPoint(QApplication::startDragDistance() / 2, 0));
        QCOMPARE(tool->unsavedLineCount(), 2);
        QCOMPARE(rows().size(), 0);
        QVERIFY(tool->lineDialog()->isVisible());
        QTest::keyClick(tool->lineDialog(), Qt::Key_Return);

        QList<Row> stored = rows();
        QCOMPARE(stored.size(), 1);
        const Row lines = stored.first();
        QCOMPARE(lines.pageIndex, 0);
        QCOMPARE(lines.markers.size(), 2);
        const QRectF canvas = lines.canvas.shape().toRectF().translated(lines.position);
        QVector<QLineF> onPage;
        for (const Marker &marker : lines.markers) {
            QCOMPARE(marker.pen(), QPen(Qt::red, 2));
            const QLineF line = marker.shape().toLineF().translated(lines.position);
            QCOMPARE(line.y1(), line.y2());
            QVERIFY(canvas.contains(line.p1()) && canvas.contains(line.p2()));
            onPage << line;
        }
        QVERIFY(qAbs(onPage.at(0).y1() - 200) < 1.5 && qAbs(onPage.at(0).x2() - 300) < 1.5);
        QCOMPARE(qMax(onPage.at(1).x1(), onPage.at(1).x2()), 612.0);
        QVERIFY(canvas.right() <= 612.0);
        QVERIFY(!tool->lineDialog()->isVisible());

        stack()->undo();
        QCOMPARE(rows().size(), 0);
        stack()->redo();
        QCOMPARE(rows().size(), 1);
        QCOMPARE(rows().first().bytes, lines.bytes);

        // A single line's frame reaches 20 units above it.
        drag(at(0, QPointF(100, 500)), at(0, QPointF(300, 500)));
        QCOMPARE(tool->unsavedLineCount(), 1);
        // Drawing on the next page first asks about these: No drops them, and the press draws nothing.
        answerNextQuestion(QMessageBox::No);
        drag(at(1, QPointF(100, 50)), at(1, QPointF(300, 50)));
        QVERIFY2(m_question.contains(QStringLiteral("save")), qPrintable(m_question));
        QCOMPARE(tool->unsavedLineCount(), 0);
        QCOMPARE(rows().size(), 1);

        // Yes stores them as their own annotation.
        drag(at(0, QPointF(100, 500)), at(0, QPointF(300, 500)));
        answerNextQuestion(QMessageBox::Yes);
        drag(at(1, QPointF(100, 50)), at(1, QPointF(300, 50)));
        stored = rows();
        QCOMPARE(stored.size(), 2);
        const Row single = stored.last();
        QCOMPARE(single.markers.size(), 1);
        const QRectF frame = single.canvas.shape().toRectF().translated(single.position);
        const double y = single.markers.first().shape().toLineF().translated(single.position).y1();
        QVERIFY2(qAbs(frame.top() - (y - 21 * 72.0 / view()->logicalDpiY())) < 1e-6,
            qPrintable(QStringLiteral("%1 %2").arg(frame.top()).arg(y)));

        // Escape in the bar drops the lines and keeps the tool, whatever the window binds Escape to.
        drag(at(0, QPointF(100, 600)), at(0, QPointF(300, 600)));
        QTest::keyClick(tool->lineDialog(), Qt::Key_Escape);
        QCOMPARE(tool->unsavedLineCount(), 0);
        QCOMPARE(view()->armedTool(), tool);
        // Leaving the tool with unsaved lines asks, and Yes stores them.
        drag(at(0, QPointF(100, 650)), at(0, QPointF(300, 650)));
        answerNextQuestion(QMessageBox::Yes);
        view()->armTool(DocumentTool::AbstractTool::Move);
        QVERIFY(m_question.contains(QStringLiteral("unsaved")));
        QCOMPARE(rows().size(), 3);
        QCOMPARE(rows().last().markers.size(), 1);
    }

    void lineStartedOnAMark_isAddedToItsAnnotationAtOnce()
    {
        QVERIFY(openTab(1));
        const int box = index()->createAnnotation(0, QPointF(100, 100),
            Marker(QPolygonF(QRectF(0, 0, 300, 100)), Marker::NoLine, QPen(Qt::NoPen), QBrush(Qt::yellow)));
        view()->armTool(DocumentTool::AbstractTool::HorHighlight);
        drag(at(0, QPointF(120, 150)), at(0, QPointF(350, 150)));
        const QList<Row> stored = rows();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, box);
        QCOMPARE(stored.first().markers.size(), 1);
        const QLineF line = stored.first().markers.first().shape().toLineF();
        QVERIFY(qAbs(line.y1() - 50) < 1.5 && qAbs(line.x1() - 20) < 1.5);
        QCOMPARE(stored.first().markers.first().pen().width(), 20);

        // The mark is undone while the next stroke is drawn on it: the stroke makes an annotation of its own.
        const QPoint from = at(0, QPointF(120, 170));
        QTest::mousePress(viewport(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(viewport(), from + QPoint(40, 0));
        stack()->undo();
        stack()->undo();
        QCOMPARE(rows().size(), 0);
        QTest::mouseMove(viewport(), from + QPoint(80, 0));
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(80, 0));
        auto *tool = static_cast<DocumentTool::AbstractLine *>(
            view()->tool(DocumentTool::AbstractTool::HorHighlight));
        QTest::keyClick(tool->lineDialog(), Qt::Key_Return);
        QCOMPARE(rows().size(), 1);
        QCOMPARE(rows().first().markers.size(), 1);
        QVERIFY(rows().first().id != box);
    }

    void aReloadDuringADrag_commitsNothingAndLeavesTheToolsWorking()
    {
        QVERIFY(openTab(1));
        for (int type : { DocumentTool::AbstractTool::Rectangle, DocumentTool::AbstractTool::HorLine }) {
            view()->armTool(type);
            const QPoint from = at(0, QPointF(100, 300));
            QTest::mousePress(viewport(), Qt::LeftButton, Qt::NoModifier, from);
            QTest::mouseMove(viewport(), from + QPoint(60, 40));
            QVERIFY(view()->pdfScene()->reloadDocument());
            QTRY_VERIFY(!view()->pdfScene()->isReloading());
            QTest::mouseMove(viewport(), from + QPoint(80, 50));
            QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(80, 50));
            QCOMPARE(rows().size(), 0);
        }
        // Lines drawn after the reload are saved as usual.
        index()->populate(view()->pdfScene()->readingPageAt(0));
        drag(at(0, QPointF(100, 300)), at(0, QPointF(200, 300)));
        auto *tool
            = static_cast<DocumentTool::AbstractLine *>(view()->tool(DocumentTool::AbstractTool::HorLine));
        QTest::keyClick(tool->lineDialog(), Qt::Key_Return);
        QCOMPARE(rows().size(), 1);
    }

    void editorBar_showsOverTheNoteBeingEdited_andItsFormatsAndTagsAreStored()
    {
        QVERIFY(openTab(1));
        m_tab->setNoteAreaMode(1);
        auto *host = m_tab->noteEditor();
        auto *bar = host->toolBar();
        QVERIFY(!bar->isVisible());

        // A new rectangle's empty note takes the keys at once, with the bar above it.
        view()->armTool(DocumentTool::AbstractTool::Rectangle);
        drag(at(0, QPointF(100, 300)), at(0, QPointF(300, 400)));
        QCOMPARE(rows().size(), 1);
        const int id = rows().first().id;
        Nod::Presentation::NoteItem *note = index()->noteItem(id);
        QVERIFY(note && note->hasFocus());
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->annotationId(), id);
        QCOMPARE(host->note(), note);
        QVERIFY(viewport()->rect().contains(bar->geometry()));
        QTest::keyClicks(viewport(), QStringLiteral("Hello"));
        QTest::keyClick(viewport(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(!bar->boldAction()->isChecked());

        // Bold from the bar's button: the note keeps its focus and selection.
        QTest::mouseClick(bar->widgetForAction(bar->boldAction()), Qt::LeftButton);
        QVERIFY(note->hasFocus());
        QVERIFY(note->textCursor().hasSelection());
        QVERIFY(bar->boldAction()->isChecked());

        // A tag from the bar's dialog; afterwards the note is edited again.
        QTimer::singleShot(0, this, [] {
            if (auto *dialog
                = qobject_cast<Nod::Presentation::TagsDialog *>(QApplication::activeModalWidget())) {
                dialog->findChild<QLineEdit *>(QStringLiteral("TagsDialog-name"))
                    ->setText(QStringLiteral("later"));
                dialog->accept();
            }
        });
        QTest::mouseClick(bar->widgetForAction(bar->tagsAction()), Qt::LeftButton);
        auto *tags = m_fixture->registry()->tagService();
        const auto named = tags->tagsWithName(QStringLiteral("later"));
        QCOMPARE(named.size(), 1);
        QVERIFY(named.first().items().contains(id));
        QVERIFY(bar->isVisible());
        // The note is still the one to take the keys once the window is active again (the window
        // manager's part, done by hand offscreen).
        QCOMPARE(view()->scene()->focusItem(), note);
        m_tab->activateWindow();
        QTRY_VERIFY(note->hasFocus());
        QCOMPARE(bar->annotationId(), id);

        // Leaving the note stores the bold text and takes the bar away.
        QTest::keyClicks(viewport(), QStringLiteral(" again"));
        m_tab->pageBox()->setFocus();
        QVERIFY(!note->hasFocus());
        QVERIFY(stored(id).contains(QStringLiteral("font-weight")));
        QVERIFY(stored(id).contains(QStringLiteral("again")));
        QVERIFY(!bar->isVisible());
    }
};

QTEST_MAIN(ShapeToolsTest)
#include "tst_shapetools.moc"
