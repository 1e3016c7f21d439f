#include "support/servicefixture.h"

#include <reviewing/emptystatenotice.h>
#include <reviewing/page.h>
#include <reviewing/scene.h>
#include <reviewing/summary.h>
#include <reviewing/summaryprinting.h>
#include <reviewing/view.h>

#include <annotating/markeritem.h>
#include <annotating/noteitem.h>
#include <application/documentservice.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/page.h>
#include <editor/textdocument.h>
#include <reading/annotationindex.h>
#include <reading/searching.h>
#include <reading/searchline.h>

#include <QGraphicsPathItem>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QUndoStack>

#include <memory>

using Nod::Domain::Marker;
using Reviewing::Sheet;
using Reviewing::Summary;

namespace {

bool writePdf(const QString &path, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.fillRect(QRectF(40, 40, 500, 700), QColor(230, 230, 230));
        painter.drawText(QPointF(72, 100), QStringLiteral("Page %1").arg(i + 1));
    }
    return painter.end();
}

Marker area(const QSizeF &size)
{
    return Marker(
        QPolygonF(QRectF(QPointF(0, 0), size)), Marker::AllEdges, QPen(Qt::NoPen), QBrush(Qt::yellow));
}

} // namespace

// The summary over a real database and document: rows, pages, the notice, removal and printing.
class SummaryTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    QSharedPointer<Backend::Document> m_document;
    int m_documentId = 0;
    QUndoStack m_stack;
    QSharedPointer<Reviewing::Scene> m_scene;
    std::unique_ptr<Reviewing::View> m_view;

    Nod::Application::NoteService *notes() const { return m_fixture->registry()->noteService(); }

    bool openDocument(int pages)
    {
        const QString path = m_fixture->path(QStringLiteral("doc.pdf"));
        if (!writePdf(path, pages)) {
            return false;
        }
        m_documentId = m_fixture->newDocument(path);
        m_document = BackendManager::instance()->openDocument(path);
        return m_document && m_documentId > 0;
    }

    // Stored directly, as if made in an earlier session.
    int store(int page, const QPointF &at, const QSizeF &size, const QString &note = QString())
    {
        const Nod::Domain::Annotation root = notes()->documentNote(m_documentId);
        Nod::Application::NewAnnotation record;
        record.id = notes()->nextId();
        record.documentId = m_documentId;
        record.pageIndex = page;
        record.position = at;
        record.canvas = area(size);
        record.noteText = note;
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = root.id();
        record.index = root.children().size();
        notes()->newAnnotation(record);
        return record.id;
    }

    // The summary of the document at 72 dpi (a point is a scene unit), in a shown view.
    void showSummary(int noteAreaMode)
    {
        // Made without notes and given the mode afterwards, as the tab restores it.
        m_scene = QSharedPointer<Reviewing::Scene>::create(m_document, m_documentId, &m_stack, 72, 72);
        m_scene->setNoteAreaMode(noteAreaMode);
        m_view = std::make_unique<Reviewing::View>();
        m_view->resize(900, 600);
        m_view->setScene(m_scene);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    QList<int> rowIds(int page) const
    {
        QList<int> ids;
        const QList<Summary *> rows = m_scene->summaryPageAt(page)->summaries();
        for (const Summary *row : rows) {
            ids.append(row->annotationId());
        }
        return ids;
    }

    int storedRows(int id) const
    {
        return TestSupport::scalar(QStringLiteral("SELECT COUNT(*) FROM Annotation WHERE id = %1").arg(id))
            .toInt();
    }

    // Why the rows of a page are not stacked as the layout promises, or empty: each row as tall as its
    // excerpt (canvas and marks) or note plus margins, directly below the one before, the page as tall
    // as its rows.
    QString stackingFault(int page) const
    {
        const Reviewing::Page *item = m_scene->summaryPageAt(page);
        double y = 0;
        for (const Summary *row : item->summaries()) {
            const QRectF rect = row->mapRectToParent(row->boundingRect());
            const double excerpt = row->excerptRect().height();
            const QRectF note
                = row->mapRectToParent(row->note()->mapRectToParent(row->note()->boundingRect()));
            const double wanted = std::max(excerpt, row->note()->isVisible() ? note.height() : 0.0) + 40;
            if (!qFuzzyCompare(rect.top() + 1, y + 1) || !qFuzzyCompare(rect.height(), wanted)) {
                return QStringLiteral("row %1 at %2 tall %3, wanted at %4 tall %5")
                    .arg(row->annotationId())
                    .arg(rect.top())
                    .arg(rect.height())
                    .arg(y)
                    .arg(wanted);
            }
            y += rect.height();
        }
        if (!qFuzzyCompare(item->height() + 1, y + 1)) {
            return QStringLiteral("page %1 tall %2, rows %3").arg(page).arg(item->height()).arg(y);
        }
        return QString();
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
        m_view.reset();
        m_scene.reset();
        m_stack.clear();
        m_document.reset();
        m_fixture.reset();
    }

    void rows_stackPageByPageInMarkOrder_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("no notes") << 0;
        QTest::newRow("right") << 1;
        QTest::newRow("left") << 2;
        QTest::newRow("both sides") << 3;
    }

    void rows_stackPageByPageInMarkOrder()
    {
        QFETCH(int, mode);
        QVERIFY(openDocument(3));
        // Page 0 holds three marks stored out of order; page 1 none; page 2 one.
        const int low = store(0, QPointF(400, 500), QSizeF(80, 30), QStringLiteral("<p>low, right half</p>"));
        const int high
            = store(0, QPointF(350, 100), QSizeF(60, 20), QStringLiteral("<p>high, right half</p>"));
        const int left = store(0, QPointF(60, 300), QSizeF(120, 90),
            QStringLiteral("<p>left half, with a note long enough to wrap over several lines of the "
                           "note column beside the excerpt</p>"));
        const int last = store(2, QPointF(100, 100), QSizeF(50, 15));
        showSummary(mode);

        const QList<int> expected
            = mode == 3 ? QList<int> { left, high, low } : QList<int> { high, left, low };
        QCOMPARE(rowIds(0), expected);
        QCOMPARE(rowIds(1), QList<int>());
        QCOMPARE(rowIds(2), QList<int> { last });

        Reviewing::Page *first = m_scene->summaryPageAt(0);
        Reviewing::Page *empty = m_scene->summaryPageAt(1);
        Reviewing::Page *third = m_scene->summaryPageAt(2);
        const double pageWidth = first->pageSize().width();
        const QRectF bounds = first->boundingRect();
        double y = 0;
        const QList<Summary *> rows = first->summaries();
        for (const Summary *row : rows) {
            // Each row directly below the one before, as tall as its excerpt or note plus margins.
            const QRectF rect = row->mapRectToParent(row->boundingRect());
            QCOMPARE(rect.top(), y);
            const QRectF excerpt = row->mapRectToParent(row->excerptRect());
            const QRectF note = row->note()->mapRectToParent(row->note()->boundingRect());
            const double noteHeight = mode == 0 ? 0.0 : row->mapRectToParent(note).height();
            QCOMPARE(row->height(), std::max(excerpt.height(), noteHeight) + 40);
            QCOMPARE(excerpt.top(), rect.top() + 20);
            QCOMPARE(row->note()->isVisible(), mode != 0);
            // Rows span the page and the note area; the note keeps 20 from the page, 10 from the edge.
            const bool leftNote = mode == 2 || (mode == 3 && row->annotationId() == left);
            QCOMPARE(rect.left(), mode == 0 || mode == 1 ? 0.0 : bounds.left());
            QCOMPARE(rect.right(), mode == 0 || mode == 2 ? pageWidth : bounds.right());
            if (mode != 0) {
                QCOMPARE(note.top(), row->excerptRect().top());
                QCOMPARE(
                    row->mapToParent(row->note()->pos()).x(), leftNote ? bounds.left() + 10 : pageWidth + 20);
                const double column = mode == 1 ? bounds.right() - pageWidth : std::abs(bounds.left());
                QCOMPARE(row->note()->textWidth(), column - 30);
            }
            y += row->height();
        }
        // Three rows make the page exactly three rows tall; a page without annotations takes none.
        QCOMPARE(first->boundingRect().height(), y);
        QCOMPARE(empty->boundingRect().height(), 0.0);
        QCOMPARE(third->pos().y(), first->pos().y() + y);
        QCOMPARE(third->boundingRect().height(), third->summaries().first()->height());
        QCOMPARE(m_scene->sceneRect(), QRectF(0, -5, bounds.width(), y + third->height() + 10));
        QCOMPARE(m_scene->annotationCount(), 4);

        // A note that grows pushes the rows below it down.
        Summary *top = first->summaries().first();
        if (mode != 0) {
            const double before = top->height();
            const QList<Summary *> all = first->summaries();
            const double belowBefore = all.at(1)->pos().y();
            notes()->changeNote(top->annotationId(), QStringLiteral("<p>grown</p>").repeated(30));
            QVERIFY(top->height() > before);
            QCOMPARE(all.at(1)->pos().y() - belowBefore, top->height() - before);
        }
    }

    // A mark added to, removed from or reshaped on an annotation changes the height of its row, and the
    // rows below follow, whichever view made the change and through undo.
    void rows_followTheMarksOfTheirAnnotation()
    {
        QVERIFY(openDocument(1));
        const int upper = store(0, QPointF(100, 100), QSizeF(60, 20), QStringLiteral("<p>upper</p>"));
        const int lower = store(0, QPointF(100, 300), QSizeF(60, 20), QStringLiteral("<p>lower</p>"));
        showSummary(Base::Page::RightNoteArea);
        QCOMPARE(rowIds(0), (QList<int> { upper, lower }));
        QCOMPARE(stackingFault(0), QString());
        const double before = m_scene->summaryOf(upper)->height();

        // A mark reaching 240 points below the canvas, added elsewhere.
        const Marker tall(
            QPolygonF(QRectF(0, 40, 60, 200)), Marker::NoLine, QPen(Qt::NoPen), QBrush(Qt::green));
        QVERIFY(notes()->insertMarker(upper, 0, tall));
        QCOMPARE(stackingFault(0), QString());
        const double grown = m_scene->summaryOf(upper)->height();
        QVERIFY(grown > before + 200);

        // Removed from its own menu in the summary.
        Summary *row = m_scene->summaryOf(upper);
        auto *canvas = row->canvas();
        QGraphicsItem *mark = canvas->childItems().constFirst();
        m_view->ensureVisible(mark->sceneBoundingRect());
        const QPoint onMark = m_view->mapFromScene(mark->sceneBoundingRect().center());
        QCOMPARE(m_view->itemAt(onMark), mark);
        QContextMenuEvent menuEvent(
            QContextMenuEvent::Mouse, onMark, m_view->viewport()->mapToGlobal(onMark));
        QApplication::sendEvent(m_view->viewport(), &menuEvent);
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        QCOMPARE(menu->actions().last()->text(), QStringLiteral("&Remove"));
        menu->actions().last()->trigger();
        menu->close();
        QTRY_VERIFY(notes()->annotation(upper).markers().isEmpty());
        QCOMPARE(stackingFault(0), QString());
        QCOMPARE(m_scene->summaryOf(upper)->height(), before);

        // Back with undo, then reshaped to half its height.
        m_stack.undo();
        QCOMPARE(notes()->annotation(upper).markers().size(), 1);
        QCOMPARE(stackingFault(0), QString());
        QCOMPARE(m_scene->summaryOf(upper)->height(), grown);
        const Marker shorter(
            QPolygonF(QRectF(0, 40, 60, 100)), Marker::NoLine, QPen(Qt::NoPen), QBrush(Qt::green));
        QVERIFY(notes()->replaceMarker(upper, 0, shorter));
        QCOMPARE(stackingFault(0), QString());
        QCOMPARE(m_scene->summaryOf(upper)->height(), grown - 100);
    }

    void emptyNotice_followsTheRealAnnotations()
    {
        QVERIFY(openDocument(2));
        showSummary(1);
        // The document note exists but is no annotation of a page.
        QCOMPARE(notes()->annotationCount(m_documentId), 1);
        QPointer<Nod::Presentation::EmptyStateNotice> notice = m_view->emptyStateNotice();
        QVERIFY(notice);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->title(), QStringLiteral("No annotations here."));
        QCOMPARE(notice->text(), QStringLiteral("please add annotations in Reading View."));
        QCOMPARE(notice->button()->text(), QStringLiteral("Go to reading View"));
        QSignalSpy toReading(m_view.get(), &Reviewing::View::readingViewRequested);
        QTest::mouseClick(notice->button(), Qt::LeftButton);
        QCOMPARE(toReading.count(), 1);

        // An annotation made elsewhere (here straight through the undo stack) removes the notice...
        const int id = m_scene->annotations()->createAnnotation(1, QPointF(100, 200), area(QSizeF(60, 20)));
        QVERIFY(id > 0);
        QVERIFY(!m_view->emptyStateNotice());
        QTRY_VERIFY(!notice.data() || !notice->isVisible());
        QCOMPARE(rowIds(1), QList<int> { id });
        QVERIFY(m_scene->summaryPageAt(1)->height() > 0);
        // ...and undoing it brings the notice back.
        m_stack.undo();
        QVERIFY(m_view->emptyStateNotice());
        QVERIFY(m_view->emptyStateNotice()->isVisible());
        QCOMPARE(m_scene->summaryPageAt(1)->height(), 0.0);
    }

    void rowActions_removeWithUndoAndJump()
    {
        QVERIFY(openDocument(1));
        const int first = store(0, QPointF(100, 100), QSizeF(60, 20), QStringLiteral("<p>first</p>"));
        const int second = store(0, QPointF(100, 300), QSizeF(60, 20), QStringLiteral("<p>second</p>"));
        const int child = store(0, QPointF(100, 500), QSizeF(60, 20), QStringLiteral("<p>third</p>"));
        // The third is a child of the second: removing the second moves it to the document note.
        notes()->handle(
            Nod::Application::MoveRequest { notes()->documentNote(m_documentId).id(), 2, second, 0 });
        showSummary(1);
        const QByteArray rootChildrenBefore
            = TestSupport::scalar(QStringLiteral("SELECT children FROM Annotation WHERE id = %1")
                                      .arg(notes()->documentNote(m_documentId).id()))
                  .toByteArray();

        // Double click on a row asks for the reading view at its annotation.
        Summary *row = m_scene->summaryOf(second);
        QVERIFY(row);
        QSignalSpy toggled(m_view.get(), &Reviewing::View::toggleView);
        // A point of the row left of the excerpt, away from the canvas and the note.
        const QPointF inRow
            = row->mapToScene(QPointF(row->excerptRect().left() - 20, row->excerptRect().center().y()));
        m_view->ensureVisible(row);
        const QPoint at = m_view->mapFromScene(inRow);
        QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(toggled.count(), 1);
        QCOMPARE(toggled.first().first().toInt(), second);

        // Delete on the selected row removes the annotation and its note as one undo step.
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QVERIFY(row->isSelected());
        QTest::keyClick(m_view->viewport(), Qt::Key_Delete);
        QTRY_COMPARE(storedRows(second), 0);
        QCOMPARE(rowIds(0), (QList<int> { first, child }));
        QCOMPARE(m_stack.count(), 1);

        m_stack.undo();
        QCOMPARE(storedRows(second), 1);
        QCOMPARE(rowIds(0), (QList<int> { first, second, child }));
        QCOMPARE(notes()->annotation(child).parentId(), second);
        QCOMPARE(m_scene->summaryOf(second)->note()->textDocument()->toPlainText(), QStringLiteral("second"));
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT children FROM Annotation WHERE id = %1")
                                         .arg(notes()->documentNote(m_documentId).id()))
                     .toByteArray(),
            rootChildrenBefore);
        const double pageHeight = m_scene->summaryPageAt(0)->height();
        double rowsHeight = 0;
        for (const Summary *each : m_scene->summaryPageAt(0)->summaries()) {
            rowsHeight += each->height();
        }
        QCOMPARE(pageHeight, rowsHeight);

        // The mark's own menu gives way to the row's: jump, then remove the annotation with its note.
        Summary *firstRow = m_scene->summaryOf(first);
        m_view->ensureVisible(firstRow);
        const QPoint onMark = m_view->mapFromScene(
            firstRow->canvas()->mapToScene(firstRow->canvas()->boundingRect().center()));
        QCOMPARE(m_view->itemAt(onMark), static_cast<QGraphicsItem *>(firstRow->canvas()));
        QContextMenuEvent menuEvent(
            QContextMenuEvent::Mouse, onMark, m_view->viewport()->mapToGlobal(onMark));
        QApplication::sendEvent(m_view->viewport(), &menuEvent);
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        const QList<QAction *> entries = menu->actions();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(0)->text(), QStringLiteral("&Jump to Reading View"));
        QVERIFY(entries.at(1)->isSeparator());
        QCOMPARE(entries.at(2)->text(), QStringLiteral("&Remove annotation and note"));
        entries.at(2)->trigger();
        menu->close();
        QTRY_COMPARE(storedRows(first), 0);
        QCOMPARE(rowIds(0), (QList<int> { second, child }));
        m_stack.undo();
        QCOMPARE(rowIds(0), (QList<int> { first, second, child }));

        // The find bar finds the notes shown in the rows.
        Nod::Presentation::SearchLine *bar = m_view->searchLine();
        bar->activate();
        QTest::keyClicks(bar->lineEdit(), QStringLiteral("SECOND"));
        QTest::keyClick(bar->lineEdit(), Qt::Key_Return);
        QTRY_VERIFY(!m_view->searching()->isRunning());
        QCOMPARE(m_view->searching()->total(), 1);
        QCOMPARE(m_view->searching()->currentHighlight()->parentItem(), m_scene->summaryOf(second)->note());
        m_view->clearSearch();

        // The tab's jump from the reading view selects the row and brings it into view.
        m_view->jumpToAnnotation(child);
        Summary *target = m_scene->summaryOf(child);
        QVERIFY(target->isSelected());
        QVERIFY(m_view->mapToScene(m_view->viewport()->rect())
                    .boundingRect()
                    .intersects(target->sceneBoundingRect()));
    }

    void findBar_findsExcerptTextThenNotesRowByRow()
    {
        QVERIFY(openDocument(3));
        // "Page N" stands at (72, 100) on every page; the second canvas covers no text.
        const int first = store(0, QPointF(60, 80), QSizeF(80, 30));
        const int second = store(1, QPointF(300, 300), QSizeF(50, 50), QStringLiteral("<p>page notes</p>"));
        const int third
            = store(2, QPointF(60, 80), QSizeF(80, 30), QStringLiteral("<p>A <i>Page</i> three</p>"));
        showSummary(Base::Page::RightNoteArea);
        Searching *searching = m_view->searching();
        Nod::Presentation::SearchLine *bar = m_view->searchLine();
        const auto search = [bar](const QString &word) {
            bar->activate();
            QTest::keyClicks(bar->lineEdit(), word);
            QTest::keyClick(bar->lineEdit(), Qt::Key_Return);
        };
        const auto holders = [searching] {
            QList<QGraphicsItem *> items;
            for (const QGraphicsPathItem *highlight : searching->highlights()) {
                items.append(highlight->parentItem());
            }
            return items;
        };

        search(QStringLiteral("page"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(holders(),
            (QList<QGraphicsItem *> { m_scene->summaryOf(first), m_scene->summaryOf(second)->note(),
                m_scene->summaryOf(third), m_scene->summaryOf(third)->note() }));
        const QRectF excerpt = m_scene->summaryOf(first)->excerptRect();
        QVERIFY(excerpt.contains(searching->highlights().first()->path().boundingRect()));
        QCOMPARE(searching->currentIndex(), 0);
        QTest::keySequence(bar->lineEdit(), QKeySequence::FindPrevious);
        QCOMPARE(searching->currentIndex(), 3);
        QTest::keySequence(bar->lineEdit(), QKeySequence::FindNext);
        QCOMPARE(searching->currentIndex(), 0);

        // Hidden notes are not searched.
        m_view->clearSearch();
        m_scene->setNoteAreaMode(Base::Page::NoNoteArea);
        search(QStringLiteral("page"));
        QTRY_VERIFY(!searching->isRunning());
        QCOMPARE(
            holders(), (QList<QGraphicsItem *> { m_scene->summaryOf(first), m_scene->summaryOf(third) }));
    }

    void paginate_neverSplitsARowAndShrinksOnlyTooTallOnes()
    {
        QCOMPARE(Reviewing::paginate({}, 100), QVector<Sheet>());
        QCOMPARE(Reviewing::paginate({ 40, 60, 30, 70, 1 }, 100),
            (QVector<Sheet> { { 0, 2, 1.0 }, { 2, 2, 1.0 }, { 4, 1, 1.0 } }));
        // A row taller than a sheet sits alone, scaled down; the rows around it go on as before.
        QCOMPARE(Reviewing::paginate({ 50, 250, 50, 50 }, 100),
            (QVector<Sheet> { { 0, 1, 1.0 }, { 1, 1, 0.4 }, { 2, 2, 1.0 } }));
    }

    void print_rowsOverSeveralSheets_showEveryNote()
    {
        QVERIFY(openDocument(4));
        QStringList texts;
        for (int i = 0; i < 60; ++i) {
            const QString text = QStringLiteral("Remark%1xq").arg(i);
            texts.append(text);
            store(i % 4, QPointF(60 + (i * 37) % 300, 40 + (i * 97) % 650), QSizeF(90, 40),
                QStringLiteral("<p>%1</p>").arg(text));
        }
        // Taller than a sheet once fitted to the width of landscape paper.
        texts.append(QStringLiteral("Tallest0xq"));
        store(1, QPointF(40, 20), QSizeF(500, 740), QStringLiteral("<p>Tallest0xq</p>"));
        showSummary(1);

        // Scrolling to the end makes the last page with rows the current one.
        QSignalSpy changedPage(m_view.get(), &Reviewing::View::changedPage);
        m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->maximum());
        QTRY_COMPARE(m_view->currentPage(), 3);
        QCOMPARE(changedPage.last().first().toInt(), 3);

        const QString output = m_fixture->path(QStringLiteral("summary.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(output);
        printer.setPageSize(QPageSize(QPageSize::A5));
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setResolution(150);
        QVERIFY(m_scene->print(&printer, nullptr));

        const QSharedPointer<Backend::Document> printed = BackendManager::instance()->openDocument(output);
        QVERIFY(printed);
        QVERIFY2(printed->pageCount() > 3, qPrintable(QString::number(printed->pageCount())));
        QString all;
        for (int i = 0; i < printed->pageCount(); ++i) {
            QVector<QRectF> rects;
            all += printed->pageAt(i).toStrongRef()->text(rects);
        }
        all.remove(QRegularExpression(QStringLiteral("\\s")));
        for (const QString &text : qAsConst(texts)) {
            QCOMPARE(all.count(text), 1);
        }
    }
};

QTEST_MAIN(SummaryTest)
#include "tst_summary.moc"
