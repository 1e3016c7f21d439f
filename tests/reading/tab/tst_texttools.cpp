#include "support/tabfixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <backend/page.h>
#include <domain/marker.h>
#include <domain/textrects.h>
#include <editor/colorpane.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>
#include <reading/tools/select.h>

#include <app/storage/settings.h>

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>

#include <memory>

using namespace Nod::Presentation;
using Nod::Domain::Marker;
using Nod::Domain::TextRects;

namespace {

// Two letter pages, each with two lines near the top and one line at the bottom.
bool writePdf(const QString &path)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::Letter));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(20);
    painter.setFont(font);
    for (int i = 0; i < 2; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.drawText(QPointF(72, 100), QStringLiteral("Hello, world"));
        painter.drawText(QPointF(72, 140), QStringLiteral("second line"));
        painter.drawText(QPointF(72, 760), QStringLiteral("bottom words"));
    }
    return painter.end();
}

// Every stored annotation but the document notes, byte for byte.
QStringList rows()
{
    QStringList out;
    QSqlQuery query(QStringLiteral("SELECT * FROM Annotation WHERE pageIndex >= 0 ORDER BY id"));
    while (query.next()) {
        const QSqlRecord record = query.record();
        QString row;
        for (int i = 0; i < record.count(); ++i) {
            const QVariant value = record.value(i);
            row += value.type() == QVariant::ByteArray ? QString::fromLatin1(value.toByteArray().toHex())
                                                       : value.toString();
            row += QLatin1Char('|');
        }
        out << row;
    }
    return out;
}

} // namespace

// The text tools driven by the mouse over a real tab and database.
class TextToolsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    std::unique_ptr<DocumentWidget> m_tab;
    int m_documentId = 0;

    Nod::Application::NoteService *notes() const { return m_fixture->registry()->noteService(); }
    PDFDocumentView *view() const { return m_tab->readingView(); }
    QWidget *viewport() const { return view()->viewport(); }
    ReadingPageItem *page(int index) const { return view()->pdfScene()->readingPageAt(index); }

    // The boxes of a word of a page, in page points.
    QVector<QRectF> wordBoxes(int pageIndex, const QString &word) const
    {
        const QList<Backend::TextBox> boxes = page(pageIndex)->page().toStrongRef()->textBoxes();
        QString text;
        for (const Backend::TextBox &box : boxes) {
            text += box.character;
        }
        const int at = text.indexOf(word);
        QVector<QRectF> out;
        for (int i = at; at >= 0 && i < at + word.size(); ++i) {
            out << boxes.at(i).rect;
        }
        return out;
    }

    QPoint toView(int pageIndex, const QPointF &pagePoint) const
    {
        const ReadingPageItem *item = page(pageIndex);
        return view()->mapFromScene(item->mapToScene(item->pageTransform().map(pagePoint)));
    }

    void move(const QPoint &pos, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent event(
            QEvent::MouseMove, pos, viewport()->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &event);
    }

    // A left-button drag in small steps, as a hand makes it.
    void drag(const QPoint &from, const QPoint &to)
    {
        QTest::mousePress(viewport(), Qt::LeftButton, Qt::NoModifier, from);
        for (int i = 1; i <= 8; ++i) {
            move(from + (to - from) * i / 8);
        }
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, to);
    }

    void arm(const QString &actionName)
    {
        auto *action = m_tab->findChild<QAction *>(actionName);
        QVERIFY(action);
        action->trigger();
    }

    DocumentTool::Select *selectTool() const
    {
        return dynamic_cast<DocumentTool::Select *>(view()->armedTool());
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_fixture->install();
        const QString path = m_fixture->path(QStringLiteral("doc.pdf"));
        QVERIFY(writePdf(path));
        m_documentId = m_fixture->newDocument(path);
        m_tab = openDocumentTab(*m_fixture, m_documentId, QSize(900, 800));
        QVERIFY(m_tab);
        // Both pages in sight.
        view()->setZoomLevel(0.5);
        view()->pdfScene()->annotations()->populate(page(0));
        view()->pdfScene()->annotations()->populate(page(1));
        QCoreApplication::processEvents();
    }

    void cleanup()
    {
        m_tab.reset();
        QSettings raw(Common::Infrastructure::Settings::filePath(), QSettings::IniFormat);
        raw.clear();
        m_fixture.reset();
    }

    void highlightDrag_storesOneAnnotationOverTheWord_undoRedoRestoresIt()
    {
        arm(QStringLiteral("textHighlight"));
        QCOMPARE(view()->armedTool()->type(), 10);
        const QVector<QRectF> world = wordBoxes(0, QStringLiteral("world"));
        QCOMPARE(world.size(), 5);
        drag(toView(0, world.first().center() - QPointF(world.first().width() / 4, 0)),
            toView(0, world.last().center() + QPointF(world.last().width() / 4, 0)));

        const QStringList stored = rows();
        QCOMPARE(stored.size(), 1);
        const QVector<Nod::Domain::Annotation> annotations = notes()->annotations(m_documentId, 0);
        QCOMPARE(annotations.size(), 1);
        const auto it = annotations.begin();
        QCOMPARE(it->parentId(), notes()->documentNote(m_documentId).id());
        QCOMPARE(it->pageIndex(), 0);
        const Marker canvas = it->canvas();
        QVERIFY(canvas.shape().canConvert<TextRects>());
        QCOMPARE(canvas.outline(), Marker::NoLine);
        QCOMPARE(canvas.brush().color(), QColor(255, 255, 0, 128));
        QRectF covered;
        for (const QRectF &rect : canvas.shape().value<TextRects>()) {
            covered |= rect.translated(it->position());
        }
        QRectF word;
        for (const QRectF &box : world) {
            word |= box;
        }
        QVERIFY2(covered.adjusted(-0.01, -0.01, 0.01, 0.01).contains(word),
            qPrintable(QStringLiteral("%1 %2").arg(covered.width()).arg(word.width())));
        QVERIFY(covered.width() < word.width() + 2 * world.first().width());

        // A second stroke starting on the mark adds to that annotation.
        const QVector<QRectF> hello = wordBoxes(0, QStringLiteral("Hello"));
        drag(toView(0, world.at(1).center()), toView(0, hello.first().center() - QPointF(1, 0)));
        QCOMPARE(rows().size(), 1);
        QCOMPARE(notes()->find(it->id())->markers().size(), 1);

        m_tab->undoStack()->undo();
        QCOMPARE(rows(), stored);
        m_tab->undoStack()->undo();
        QVERIFY(rows().isEmpty());
        m_tab->undoStack()->redo();
        QCOMPARE(rows(), stored);
    }

    void shortOrChordedDrags_andDragsOffThePage_storeNothingEmpty()
    {
        arm(QStringLiteral("underline"));
        const QVector<QRectF> world = wordBoxes(0, QStringLiteral("world"));
        const QPoint start = toView(0, world.first().center() - QPointF(world.first().width() / 4, 0));
        drag(start, start + QPoint(QApplication::startDragDistance() - 1, 0));
        QVERIFY(rows().isEmpty());

        // The right button held with the left: no gesture.
        const QPoint end = toView(0, world.last().center() + QPointF(world.last().width() / 4, 0));
        QTest::mousePress(viewport(), Qt::RightButton, Qt::NoModifier, start);
        QMouseEvent press(QEvent::MouseButtonPress, start, viewport()->mapToGlobal(start), Qt::LeftButton,
            Qt::LeftButton | Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &press);
        move(end, Qt::LeftButton | Qt::RightButton);
        QMouseEvent release(QEvent::MouseButtonRelease, end, viewport()->mapToGlobal(end), Qt::LeftButton,
            Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &release);
        QTest::mouseRelease(viewport(), Qt::RightButton, Qt::NoModifier, end);
        QVERIFY(rows().isEmpty());

        // From below the last line of page 1 to the text of page 2: the selection stays on page 1,
        // whose area there holds no text, so nothing is stored.
        const QVector<QRectF> top = wordBoxes(1, QStringLiteral("Hello"));
        drag(toView(0, QPointF(400, 780)), toView(1, top.last().center()));
        QVERIFY(rows().isEmpty());

        // From the last words of page 1 into page 2: one underline of page 1's text only.
        const QVector<QRectF> bottom = wordBoxes(0, QStringLiteral("bottom"));
        drag(toView(0, bottom.first().center() - QPointF(bottom.first().width() / 4, 0)),
            toView(1, top.last().center()));
        QCOMPARE(rows().size(), 1);
        QVERIFY(notes()->annotations(m_documentId, 1).isEmpty());
        const QVector<Nod::Domain::Annotation> annotations = notes()->annotations(m_documentId, 0);
        for (const Nod::Domain::Annotation &anno : annotations) {
            QCOMPARE(anno.canvas().outline(), Marker::Underline);
            const TextRects rects = anno.canvas().shape().value<TextRects>();
            QVERIFY(!rects.isEmpty());
            for (const QRectF &rect : rects) {
                QVERIFY(!rect.isEmpty());
                QVERIFY(rect.translated(anno.position()).top() >= bottom.first().top() - 1);
            }
        }
    }

    void toolActions_followTheStoredKeysAndColours_escapeReturnsToTheHand()
    {
        // Three colours only, a key for the green one and another key for the highlight tool.
        {
            QSettings raw(Common::Infrastructure::Settings::filePath(), QSettings::IniFormat);
            raw.setValue(QStringLiteral("colorPane/paneColors"),
                QStringList {
                    QStringLiteral("#ffff00"), QStringLiteral("#00ff00"), QStringLiteral("#00ffff") });
            raw.setValue(QStringLiteral("shortcut/00ff00"), QKeySequence(QStringLiteral("Ctrl+Alt+G")));
            raw.setValue(
                QStringLiteral("shortcut/textHighlight"), QKeySequence(QStringLiteral("Ctrl+Alt+H")));
        }
        m_tab->reloadColors();
        auto *underline = m_tab->findChild<QAction *>(QStringLiteral("underline"));
        auto *highlight = m_tab->findChild<QAction *>(QStringLiteral("textHighlight"));
        QVERIFY(underline && highlight);
        QCOMPARE(highlight->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+H")));
        // "Colour 6" of a list of three is the sixth default colour.
        view()->armTool(5);
        underline->trigger();
        QCOMPARE(view()->armedTool()->color(), QColor(QStringLiteral("#ff0000")));

        QVERIFY(QTest::qWaitForWindowActive(m_tab.get()));
        view()->setFocus();
        QTest::keyClick(view(), Qt::Key_H, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(view()->armedTool()->type(), 10);
        QVERIFY(highlight->isChecked());
        QTest::keyClick(view(), Qt::Key_G, Qt::ControlModifier | Qt::AltModifier);
        const QVector<QRectF> world = wordBoxes(0, QStringLiteral("world"));
        drag(toView(0, world.first().center() - QPointF(world.first().width() / 4, 0)),
            toView(0, world.last().center() + QPointF(world.last().width() / 4, 0)));
        const QVector<Nod::Domain::Annotation> stored = notes()->annotations(m_documentId, 0);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().canvas().brush().color(), QColor(0, 255, 0, 128));

        QTest::keyClick(view(), Qt::Key_Escape);
        QCOMPARE(view()->armedTool()->type(), 5);
        QVERIFY(m_tab->findChild<QAction *>(QStringLiteral("hand"))->isChecked());
    }

    void select_doubleClickSelectsWholeWordsOnly_copyKeepsLines()
    {
        arm(QStringLiteral("selectText"));
        QVERIFY(selectTool());
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->setText(QStringLiteral("before"));
        const QVector<QRectF> comma = wordBoxes(0, QStringLiteral(","));
        const QPoint onComma = toView(0, comma.first().center());
        QTest::mouseClick(viewport(), Qt::LeftButton, Qt::NoModifier, onComma);
        QTest::mouseDClick(viewport(), Qt::LeftButton, Qt::NoModifier, onComma);
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, onComma);
        QVERIFY(selectTool()->selection().isEmpty());
        QTest::keyClick(view(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("before"));

        const QPoint inWord = toView(0, wordBoxes(0, QStringLiteral("world")).at(2).center());
        QTest::mouseClick(viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QTest::mouseDClick(viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QCOMPARE(selectTool()->selection().text, QStringLiteral("world"));

        // Along the text from "Hello" to "line": two lines, copied with the break between them.
        const QVector<QRectF> hello = wordBoxes(0, QStringLiteral("Hello"));
        const QVector<QRectF> line = wordBoxes(0, QStringLiteral("line"));
        drag(toView(0, hello.first().center() - QPointF(hello.first().width() / 4, 0)),
            toView(0, line.last().center() + QPointF(line.last().width() / 4, 0)));
        QTest::keyClick(view(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("Hello, world\nsecond line"));
        if (clipboard->supportsSelection()) {
            QCOMPARE(clipboard->text(QClipboard::Selection), clipboard->text());
        }
        QVERIFY(rows().isEmpty());

        // The context menu underlines the selection in the colour picked from its pane, once.
        QTest::mouseClick(viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QTest::mouseDClick(viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::NoModifier, inWord);
        bool picked = false;
        QTimer::singleShot(0, this, [&picked] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QAction *entry = menu ? menu->findChild<QAction *>(QStringLiteral("underline")) : nullptr;
            auto *pane = entry && entry->menu() ? entry->menu()->findChild<ColorPane *>() : nullptr;
            if (pane) {
                pane->button(1)->click();
                picked = true;
            } else if (menu) {
                menu->close();
            }
        });
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, inWord, viewport()->mapToGlobal(inWord));
        QApplication::sendEvent(viewport(), &menuEvent);
        QVERIFY(picked);
        const QVector<Nod::Domain::Annotation> stored = notes()->annotations(m_documentId, 0);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().canvas().outline(), Marker::Underline);
        QCOMPARE(stored.first().canvas().pen().color(), QColor(QStringLiteral("#00ff00")));
        QCOMPARE(view()->tool(11)->color(), QColor(QStringLiteral("#ff0000")));
        QVERIFY(selectTool()->selection().isEmpty());
    }
};

QTEST_MAIN(TextToolsTest)
#include "tst_texttools.moc"
