#include "support/tabfixture.h"

#include <annotating/canvasmarkeritem.h>
#include <annotating/markeritem.h>
#include <annotating/markeritemfactory.h>
#include <annotating/notearealayout.h>
#include <annotating/noteitem.h>
#include <annotating/undocommands.h>
#include <application/documentservice.h>
#include <editor/textdocument.h>
#include <mindmap/mindmodel.h>
#include <mindmap/mindnodeitem.h>
#include <mindmap/mindscene.h>
#include <mindmap/mindview.h>
#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>
#include <reading/pdfdocumentview.h>
#include <reading/readingpageitem.h>
#include <reading/tab/documentwidget.h>
#include <reviewing/view.h>

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>
#include <QUndoStack>

#include <memory>

using namespace Nod::Presentation;
using Nod::Domain::Marker;

namespace {

Marker area(const QRectF &rect)
{
    return Marker(QPolygonF(rect), Marker::AllEdges, QPen(Qt::yellow), QBrush(Qt::yellow));
}

// Every stored annotation and image, byte for byte, in id order.
QString dump()
{
    QString out;
    for (const QString &table : { QStringLiteral("Annotation"), QStringLiteral("Resource") }) {
        QSqlQuery query(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table));
        while (query.next()) {
            const QSqlRecord record = query.record();
            for (int i = 0; i < record.count(); ++i) {
                const QVariant value = record.value(i);
                out += value.type() == QVariant::ByteArray ? QString::fromLatin1(value.toByteArray().toHex())
                                                           : value.toString();
                out += QLatin1Char('|');
            }
            out += QLatin1Char('\n');
        }
    }
    return out;
}

QString storedNote(int id)
{
    return TestSupport::scalar(QStringLiteral("SELECT noteText FROM Annotation WHERE id = %1").arg(id))
        .toString();
}

QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

int resourceRows(const QString &where)
{
    return TestSupport::scalar(QStringLiteral("SELECT count(*) FROM Resource WHERE %1").arg(where)).toInt();
}

// The note of an annotation as a view shows it.
NoteItem *noteIn(QGraphicsView *view, int annotationId)
{
    const QList<QGraphicsItem *> items = view->scene() ? view->scene()->items() : QList<QGraphicsItem *>();
    for (QGraphicsItem *item : items) {
        if (item->type() == NoteItem::Type && static_cast<NoteItem *>(item)->annotationId() == annotationId) {
            return static_cast<NoteItem *>(item);
        }
    }
    return nullptr;
}

QMessageBox *refusalMessage()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (window->objectName() == QLatin1String("pictureRefused") && window->isVisible()) {
            return qobject_cast<QMessageBox *>(window);
        }
    }
    return nullptr;
}

QString plain(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

} // namespace

// Notes beside their marks and the undo steps of annotations, over a real database and a real tab.
class NotesAndUndoTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    std::unique_ptr<DocumentWidget> m_tab;
    int m_documentId = 0;

    Nod::Application::NoteService *notes() const { return m_fixture->registry()->noteService(); }
    AnnotationIndex *index() const { return m_tab->readingView()->pdfScene()->annotations(); }
    QUndoStack *stack() const { return m_tab->undoStack(); }

    bool addDocument(int pages)
    {
        const QString path = m_fixture->path(QStringLiteral("doc.pdf"));
        if (!writeNumberedPdf(path, pages)) {
            return false;
        }
        m_documentId = m_fixture->newDocument(path);
        return m_documentId > 0;
    }

    // An annotation stored as another session left it, before any tab shows it.
    int store(int page, const QPointF &at, const QString &html)
    {
        Nod::Application::NewAnnotation record;
        record.id = notes()->nextId();
        record.documentId = m_documentId;
        record.pageIndex = page;
        record.position = at;
        record.canvas = area(QRectF(0, 0, 60, 20));
        record.noteText = html;
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = notes()->documentNote(m_documentId).id();
        record.index = notes()->documentNote(m_documentId).children().size();
        notes()->newAnnotation(record);
        return record.id;
    }

    bool openTab(int pages, int noteAreaMode)
    {
        if (m_documentId == 0 && !addDocument(pages)) {
            return false;
        }
        m_tab = openDocumentTab(*m_fixture, m_documentId, QSize(1000, 700), TabWait::Active);
        if (!m_tab) {
            return false;
        }
        m_tab->setNoteAreaMode(noteAreaMode);
        index()->populate(m_tab->readingView()->pdfScene()->readingPageAt(0));
        return true;
    }

    int create(int page, const QPointF &at, const QRectF &rect = QRectF(0, 0, 60, 20))
    {
        return index()->createAnnotation(page, at, area(rect));
    }

    QWidget *viewport() const { return m_tab->readingView()->viewport(); }

    // Where a point of an item is in the reading view, scrolled into sight.
    QPoint inView(QGraphicsItem *item, const QPointF &at)
    {
        m_tab->readingView()->ensureVisible(item, 20, 20);
        return m_tab->readingView()->mapFromScene(item->mapToScene(at));
    }

    void clickInto(NoteItem *note)
    {
        const QRectF rect = note->boundingRect();
        QTest::mouseClick(viewport(), Qt::LeftButton, Qt::NoModifier,
            inView(note, QPointF(rect.right() - 4, rect.bottom() - 6)));
    }

    // Types into the note as the user does: the note has the focus of a shown, active view.
    void type(NoteItem *note, const QString &text)
    {
        m_tab->readingView()->setFocus();
        note->setFocus(Qt::MouseFocusReason);
        QTextCursor cursor = note->textCursor();
        cursor.movePosition(QTextCursor::End);
        note->setTextCursor(cursor);
        QTest::keyClicks(m_tab->readingView()->viewport(), text);
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
        m_documentId = 0;
        m_fixture.reset();
    }

    void layouts_keepNotesNearTheirMarksWithoutOverlapOrOverflow()
    {
        QGraphicsScene scene;
        const double pageWidth = 700;
        auto *page = new QGraphicsRectItem(QRectF(-150, 0, pageWidth + 300, 1000));
        page->setPen(Qt::NoPen);
        scene.addItem(page);
        auto mark = [&](double x, double y) {
            MarkerItem *item = MarkerItemFactory::create(Marker(QRectF(0, 0, 10, 10)), QTransform(), page);
            item->setPos(x, y);
            return item;
        };
        auto note = [&](const QString &text) {
            auto *item = new NoteItem(1, m_fixture->registry()->resourceService(), page);
            item->load(text, QFont());
            return item;
        };

        // One column on the right: the second note goes below the first, not level with its mark.
        std::unique_ptr<NoteAreaLayout> right(NoteAreaLayout::create(1, page, pageWidth));
        NoteItem *first = note(QStringLiteral("first"));
        NoteItem *second = note(QStringLiteral("second"));
        right->addNote(mark(50, 110), second);
        right->addNote(mark(50, 100), first);
        right->relayout();
        QCOMPARE(first->pos(), QPointF(pageWidth + 20, 100));
        const double h = first->boundingRect().height();
        QCOMPARE(second->pos().y(), 100 + h + 5);
        QCOMPARE(first->textWidth(), 150.0 - 30);

        // A mark near the bottom pulls its note up, to end 5 above the bottom with a gap of its own.
        NoteItem *last = note(QStringLiteral("last"));
        right->addNote(mark(50, 990), last);
        right->relayout();
        QCOMPARE(last->pos().y(), 1000 - 10 - last->boundingRect().height());
        // A mark above the top keeps its note 5 below the column top.
        NoteItem *top = note(QStringLiteral("top"));
        right->addNote(mark(50, -40), top);
        right->relayout();
        QCOMPARE(top->pos().y(), 5.0);
        QVERIFY(first->pos().y() >= top->pos().y() + top->boundingRect().height() + 5);

        // Both sides: a mark left of the centre gets its note on the left, 10 from the outer edge.
        std::unique_ptr<NoteAreaLayout> both(NoteAreaLayout::create(3, page, pageWidth));
        NoteItem *left = note(QStringLiteral("left"));
        NoteItem *onRight = note(QStringLiteral("right"));
        both->addNote(mark(20, 300), left);
        both->addNote(mark(600, 300), onRight);
        both->relayout();
        QCOMPARE(left->pos(), QPointF(-150 + 10, 300));
        QCOMPARE(onRight->pos(), QPointF(pageWidth + 20, 300));
        QCOMPARE(left->textWidth(), 150.0 - 30);

        // In note mode 1 an empty note takes no room until it has the focus.
        NoteItem *empty = note(QString());
        empty->setNoteMode(1);
        QVERIFY(empty->boundingRect().isEmpty());
        empty->setSelected(true);
        QVERIFY(!empty->boundingRect().isEmpty());
    }

    void noteEdits_areStoredOnEveryWayOut()
    {
        QVERIFY(openTab(2, 1));
        const int id = create(0, QPointF(100, 100));
        QVERIFY(id > 0);
        NoteItem *note = index()->noteItem(id);
        QVERIFY(note);
        const int base = stack()->count();

        // Focus moving elsewhere in the scene.
        type(note, QStringLiteral("alpha"));
        QCOMPARE(plain(storedNote(id)), QString());
        note->clearFocus();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("alpha"));
        QCOMPARE(stack()->count(), base + 1);

        // A popup that is not the note's own menu.
        type(note, QStringLiteral(" beta"));
        QMenu popup;
        popup.addAction(QStringLiteral("x"));
        popup.popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QTRY_COMPARE(plain(storedNote(id)), QStringLiteral("alpha beta"));
        popup.close();
        note->clearFocus();

        // The tab's Undo: the typing becomes a step first, then that step is undone.
        type(note, QStringLiteral(" gamma"));
        const int before = stack()->count();
        m_tab->findChild<QAction *>(QStringLiteral("undo"))->trigger();
        QCOMPARE(stack()->count(), before + 1);
        QCOMPARE(plain(storedNote(id)), QStringLiteral("alpha beta"));
        QCOMPARE(note->textDocument()->toPlainText(), QStringLiteral("alpha beta"));
        m_tab->findChild<QAction *>(QStringLiteral("redo"))->trigger();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("alpha beta gamma"));

        // Reloading the file.
        type(note, QStringLiteral(" delta"));
        m_tab->findChild<QAction *>(QStringLiteral("openFile"))->trigger();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("alpha beta gamma delta"));

        // Closing the tab (also the main window's way out, on quitting or a closing signal).
        note = index()->noteItem(id);
        if (!note) {
            index()->populate(m_tab->readingView()->pdfScene()->readingPageAt(0));
            note = index()->noteItem(id);
        }
        QVERIFY(note);
        type(note, QStringLiteral(" epsilon"));
        m_tab->closeDocument();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("alpha beta gamma delta epsilon"));
    }

    void images_surviveRemovalAndUndo_andGoOnlyWhenNoStoredTextNamesThem()
    {
        QVERIFY(openTab(1, 1));
        const int id = create(0, QPointF(100, 100));
        NoteItem *note = index()->noteItem(id);
        QVERIFY(note);
        const QByteArray png = ServiceFixture::pngBytes(Qt::red);
        const QUrl url = note->textDocument()->addImage(png);
        QVERIFY(url.isValid());
        QTextCursor cursor(note->textDocument());
        cursor.insertImage(url.toString());
        QVERIFY(note->commitEditing());
        QCOMPARE(
            TestSupport::scalar(QStringLiteral("SELECT count(*) FROM Resource WHERE ownerId = %1").arg(id))
                .toInt(),
            1);
        const QString withImage = dump();

        QVERIFY(index()->removeAnnotation(id));
        QVERIFY(!index()->isShown(id));
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT count(*) FROM Resource")).toInt(), 0);
        stack()->undo();
        QCOMPARE(dump(), withImage);
        note = index()->noteItem(id);
        QVERIFY(note);
        const QImage shown
            = note->textDocument()->resource(QTextDocument::ImageResource, url).value<QImage>();
        QCOMPARE(shown.size(), QSize(4, 3));
        QVERIFY(shown != TextDocument::placeholderImage());

        // Text without the image is stored; an undo step still needs the image, so it stays until
        // the tab closes, and then only because the stored text no longer names it.
        note->load(QStringLiteral("no picture"), QFont());
        note->textDocument()->setModified(true);
        QVERIFY(note->commitEditing());
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT count(*) FROM Resource")).toInt(), 1);
        stack()->undo();
        QVERIFY(TextDocument::usedImageNames(storedNote(id))
                    .contains(QString::fromLatin1(
                        QCryptographicHash::hash(png, QCryptographicHash::Sha1).toHex())));
        stack()->redo();
        m_tab->closeDocument();
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT count(*) FROM Resource")).toInt(), 0);
    }

    void notePictures_fitTheirColumnAfterReopening_inEveryView()
    {
        QVERIFY(openTab(1, 1));
        const int id = create(0, QPointF(100, 100));
        NoteItem *note = index()->noteItem(id);
        QVERIFY(note);
        QImage wide(1600, 60, QImage::Format_RGB32);
        wide.fill(Qt::darkGreen);
        QTextCursor cursor(note->textDocument());
        QVERIFY(note->textDocument()->insertImage(cursor, wide));
        QVERIFY(note->commitEditing());
        m_tab->closeDocument();
        m_tab.reset();

        QVERIFY(openTab(1, 1));
        const auto fits = [](NoteItem *shown) {
            return shown && shown->textWidth() > 0 && shown->boundingRect().width() <= shown->textWidth() + 1;
        };
        note = index()->noteItem(id);
        QVERIFY(note);
        QVERIFY2(fits(note),
            qPrintable(QStringLiteral("%1 > %2").arg(note->boundingRect().width()).arg(note->textWidth())));

        m_tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        QTRY_VERIFY(noteIn(m_tab->summaryView(), id));
        QVERIFY(fits(noteIn(m_tab->summaryView(), id)));

        m_tab->findChild<QAction *>(QStringLiteral("mindmapAction"))->trigger();
        QTRY_VERIFY(noteIn(m_tab->mindView(), id));
        QVERIFY(fits(noteIn(m_tab->mindView(), id)));
    }

    void pictures_copiedOrCutFromAnotherNote_becomeTheReceiversOwn()
    {
        QVERIFY(openTab(1, 1));
        const int source = create(0, QPointF(100, 100));
        const int copied = create(0, QPointF(100, 300));
        const int moved = create(0, QPointF(100, 500));
        NoteItem *note = index()->noteItem(source);
        const QByteArray png = ServiceFixture::pngBytes(Qt::red);
        const QString hash
            = QString::fromLatin1(QCryptographicHash::hash(png, QCryptographicHash::Sha1).toHex());
        type(note, QStringLiteral("see "));
        QTextCursor cursor = note->textCursor();
        cursor.insertImage(note->textDocument()->addImage(png).toString());
        note->setTextCursor(cursor);

        // Copied with the keys into the second note.
        QTest::keyClick(viewport(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(viewport(), Qt::Key_C, Qt::ControlModifier);
        type(index()->noteItem(copied), QString());
        QTest::keyClick(viewport(), Qt::Key_V, Qt::ControlModifier);

        // Cut from the first note into the third: the first keeps no picture.
        type(note, QString());
        QTest::keyClick(viewport(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(viewport(), Qt::Key_X, Qt::ControlModifier);
        QVERIFY(note->textDocument()->toPlainText().isEmpty());
        type(index()->noteItem(moved), QString());
        QTest::keyClick(viewport(), Qt::Key_V, Qt::ControlModifier);
        type(note, QString());
        m_tab->closeDocument();
        m_tab.reset();

        // Each receiver holds the picture as a row of its own, the same bytes; the cut one's is gone.
        for (int receiver : { copied, moved }) {
            QCOMPARE(plain(storedNote(receiver)),
                QStringLiteral("see ") + QChar(QChar::ObjectReplacementCharacter));
            QVERIFY(TextDocument::usedImageNames(storedNote(receiver)).contains(hash));
            QCOMPARE(TestSupport::scalar(
                         QStringLiteral("SELECT data FROM Resource WHERE ownerId = %1 AND hash = '%2'")
                             .arg(receiver)
                             .arg(hash))
                         .toByteArray(),
                png);
        }
        QCOMPARE(resourceRows(QStringLiteral("ownerId = %1").arg(source)), 0);
        QCOMPARE(resourceRows(QStringLiteral("1")), 2);

        // Shown again after reopening, not as the missing-picture sign.
        QVERIFY(openTab(1, 1));
        QUrl url(hash);
        url.setScheme(TextDocument::imageScheme());
        note = index()->noteItem(moved);
        note->boundingRect();
        const QImage shown
            = note->textDocument()->resource(QTextDocument::ImageResource, url).value<QImage>();
        QCOMPARE(shown.size(), QSize(4, 3));
        QVERIFY(shown != TextDocument::placeholderImage());
    }

    void paste_keepsItsFormats_isOneStep_andARefusedPictureIsExplained()
    {
        QVERIFY(openTab(1, 1));
        const int id = create(0, QPointF(100, 100));
        NoteItem *note = index()->noteItem(id);
        type(note, QStringLiteral("start"));
        QVERIFY(note->commitEditing());

        auto *html = new QMimeData;
        html->setHtml(QStringLiteral("<p>one</p><p align=\"center\">middle</p><ul><li>item</li></ul>"));
        QApplication::clipboard()->setMimeData(html);
        QTest::keyClick(viewport(), Qt::Key_V, Qt::ControlModifier);
        QVERIFY(note->textDocument()->toPlainText().contains(QStringLiteral("item")));
        QVERIFY(note->commitEditing());
        QTextDocument stored;
        stored.setHtml(storedNote(id));
        const QTextBlock middle = stored.find(QStringLiteral("middle")).block();
        QCOMPARE(middle.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        const QTextBlock item = stored.find(QStringLiteral("item")).block();
        QVERIFY(item.textList());
        QCOMPARE(item.textList()->format().style(), QTextListFormat::ListDisc);
        // The note's own undo takes the whole paste back in one step.
        QTest::keyClick(viewport(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(note->textDocument()->toPlainText(), QStringLiteral("start"));

        // Pictures over the caps: nothing stored, and the user is told why.
        const int rows = resourceRows(QStringLiteral("1"));
        QImage huge(8000, 5001, QImage::Format_Grayscale8);
        huge.fill(128);
        QApplication::clipboard()->setImage(huge);
        QTest::keyClick(viewport(), Qt::Key_V, Qt::ControlModifier);
        QTRY_VERIFY(refusalMessage());
        QVERIFY(refusalMessage()->text().contains(QStringLiteral("40 megapixels")));
        refusalMessage()->close();
        QTRY_VERIFY(!refusalMessage());

        QImage noise(2600, 2400, QImage::Format_RGB32);
        QRandomGenerator random(14);
        for (int y = 0; y < noise.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(noise.scanLine(y));
            for (int x = 0; x < noise.width(); ++x) {
                line[x] = random.generate() | 0xff000000u;
            }
        }
        QVERIFY(pngOf(noise).size() > 16 * 1024 * 1024);
        QApplication::clipboard()->setImage(noise);
        type(note, QString());
        QTest::keyClick(viewport(), Qt::Key_V, Qt::ControlModifier);
        QTRY_VERIFY(refusalMessage());
        QVERIFY(refusalMessage()->text().contains(QStringLiteral("16 MiB")));
        refusalMessage()->close();
        QCOMPARE(resourceRows(QStringLiteral("1")), rows);
        QCOMPARE(note->textDocument()->toPlainText(), QStringLiteral("start"));
    }

    void noteClicksAndMenu_selectTheMark_andRemovalKeepsTheTyping()
    {
        QVERIFY(openTab(1, 1));
        const int first = create(0, QPointF(100, 100));
        const int second = create(0, QPointF(100, 400));
        type(index()->noteItem(first), QStringLiteral("first"));
        type(index()->noteItem(second), QStringLiteral("second"));
        index()->noteItem(second)->clearFocus();

        // A click inside a note selects its mark and takes the selection from every other mark.
        m_tab->readingView()->scene()->clearSelection();
        index()->canvasItem(first)->setSelected(true);
        QVERIFY(!index()->canvasItem(second)->isSelected());
        clickInto(index()->noteItem(second));
        QVERIFY(index()->noteItem(second)->hasFocus());
        QVERIFY(index()->canvasItem(second)->isSelected());
        QVERIFY(!index()->canvasItem(first)->isSelected());
        QVERIFY(!index()->noteItem(first)->isSelected());

        // Typed, then removed from the note's own menu: undo brings back what was typed.
        QTest::keyClicks(viewport(), QStringLiteral(" typed"));
        NoteItem *note = index()->noteItem(second);
        QTimer::singleShot(0, this, [] {
            QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            const QList<QAction *> actions = menu->actions();
            for (QAction *action : actions) {
                if (action->text() == QStringLiteral("Remove Annotation")) {
                    menu->close();
                    action->trigger();
                    return;
                }
            }
            QFAIL("no Remove Annotation entry");
        });
        const QPoint at = inView(note, note->boundingRect().center());
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, viewport()->mapToGlobal(at));
        QApplication::sendEvent(viewport(), &menuEvent);
        QTRY_VERIFY(!index()->isShown(second));
        QVERIFY(!notes()->find(second));
        stack()->undo();
        QCOMPARE(plain(storedNote(second)), QStringLiteral("second typed"));
        QVERIFY(index()->noteItem(second));
        QCOMPARE(index()->noteItem(second)->textDocument()->toPlainText(), QStringLiteral("second typed"));
    }

    void typing_isStoredWhileTheNoteIsEdited_asOneUndoStepPerSession()
    {
        QVERIFY(openTab(1, 1));
        const int id = create(0, QPointF(100, 100));
        NoteItem *note = index()->noteItem(id);
        type(note, QStringLiteral("first"));
        note->clearFocus();
        const int base = stack()->count();

        // Stored after a pause, and again after more typing, while the note keeps the focus.
        type(note, QStringLiteral(" second"));
        QTRY_COMPARE_WITH_TIMEOUT(plain(storedNote(id)), QStringLiteral("first second"), 10000);
        QVERIFY(note->hasFocus());
        QTest::keyClicks(viewport(), QStringLiteral(" third"));
        QTRY_COMPARE_WITH_TIMEOUT(plain(storedNote(id)), QStringLiteral("first second third"), 10000);
        note->clearFocus();
        QCOMPARE(stack()->count(), base + 1);
        stack()->undo();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("first"));
        stack()->redo();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("first second third"));

        // A new session is a step of its own; a change typed and taken back writes nothing.
        type(note, QStringLiteral(" fourth"));
        QTRY_COMPARE_WITH_TIMEOUT(plain(storedNote(id)), QStringLiteral("first second third fourth"), 10000);
        QSignalSpy written(notes(), &Nod::Application::NoteService::noteChanged);
        QTest::keyClick(viewport(), Qt::Key_X);
        QTest::keyClick(viewport(), Qt::Key_Backspace);
        QTest::qWait(NoteItem::autosaveIdleMs * 2);
        note->clearFocus();
        QCOMPARE(written.count(), 0);
        QCOMPARE(stack()->count(), base + 2);
        stack()->undo();
        QCOMPARE(plain(storedNote(id)), QStringLiteral("first second third"));
    }

    void longNote_isPreviewedUntilOpened_andNeverStoredCut()
    {
        QVERIFY(openTab(1, 1));
        const int id = create(0, QPointF(100, 100));
        const QString paragraph
            = QStringLiteral("<p>") + QStringLiteral("word ").repeated(200) + QStringLiteral("</p>");
        const QString longText = paragraph.repeated(NoteItem::previewThreshold / paragraph.size() + 10);
        QVERIFY(AnnotationCommand::push(stack(), new ChangeNoteCommand(notes(), id, longText, QString())));
        NoteItem *note = index()->noteItem(id);
        QVERIFY(note->isPreview());
        QVERIFY(note->textDocument()->characterCount() < NoteItem::previewLength + 1000);

        // The preview takes no typing, and leaving it stores nothing: it is not the note.
        type(note, QStringLiteral("typed"));
        note->clearFocus();
        QCOMPARE(storedNote(id), longText);

        // A click opens the whole note, which then edits as any other.
        clickInto(note);
        QVERIFY(!note->isPreview());
        const int length = plain(longText).size();
        QCOMPARE(note->textDocument()->toPlainText().size(), length);
        type(note, QStringLiteral(" end"));
        note->clearFocus();
        const QString stored = plain(storedNote(id));
        QCOMPARE(stored.size(), length + 4);
        QVERIFY(stored.endsWith(QStringLiteral("word end")) || stored.endsWith(QStringLiteral("word  end")));
    }

    void storedNotes_becomeDocumentsWhenShown_andStayTheirStoredBytesUntilEdited()
    {
        QVERIFY(addDocument(2));
        // HTML the editor would not write itself, and a note stored in more bytes than are read for a
        // preview, in characters of two and three bytes so that the read beginning ends inside one.
        const QString small = QStringLiteral("<p>alpha <b>beta</b> \u00fcn\u00efcode</p>");
        const QString paragraph = QStringLiteral("<p>") + QStringLiteral("w\u00f6rd \u20ac ").repeated(150)
            + QStringLiteral("</p>\n");
        const QString longText
            = paragraph.repeated(int(NoteItem::wholeReadBytes / paragraph.toUtf8().size()) + 3);
        const int shortId = store(0, QPointF(100, 100), small);
        const int longId = store(0, QPointF(100, 300), longText);
        const int laterId = store(1, QPointF(100, 100), small);
        const QString stored = dump();

        // The note area is hidden: the page's notes are items, but not documents, in both views.
        QVERIFY(openTab(2, 0));
        NoteItem *shortNote = index()->noteItem(shortId);
        NoteItem *longNote = index()->noteItem(longId);
        QVERIFY(shortNote && longNote);
        QVERIFY(!index()->noteItem(laterId));
        QVERIFY(!shortNote->hasDocument());
        QVERIFY(!longNote->hasDocument());
        QVERIFY(longNote->isPreview());
        QCOMPARE(shortNote->html(), small);
        m_tab->findChild<QAction *>(QStringLiteral("summaryViewAction"))->trigger();
        QCOMPARE(m_tab->currentView(), int(DocumentWidget::SummaryView));
        NoteItem *summaryNote = noteIn(m_tab->summaryView(), longId);
        QVERIFY(summaryNote && summaryNote->isPreview() && !summaryNote->hasDocument());
        // The mind map shows every note, the long one as its preview.
        m_tab->findChild<QAction *>(QStringLiteral("mindmapAction"))->trigger();
        NoteItem *mapNote = noteIn(m_tab->mindView(), longId);
        QVERIFY(mapNote && mapNote->isPreview() && mapNote->hasDocument());
        QCOMPARE(noteIn(m_tab->mindView(), shortId)->textDocument()->toPlainText(),
            QStringLiteral("alpha beta \u00fcn\u00efcode"));
        m_tab->findChild<QAction *>(QStringLiteral("readingViewAction"))->trigger();

        // Shown, they are made: the short note whole, the long one as its beginning and its size.
        m_tab->setNoteAreaMode(1);
        QVERIFY(shortNote->hasDocument() && longNote->hasDocument());
        QCOMPARE(shortNote->textDocument()->toPlainText(), QStringLiteral("alpha beta \u00fcn\u00efcode"));
        QVERIFY(shortNote->boundingRect().height() > 0);
        const QString longPlain = plain(longText);
        const QString preview = longNote->textDocument()->toPlainText();
        const QString notice = QStringLiteral("holds %1 MB").arg(longText.toUtf8().size() / 1e6, 0, 'f', 1);
        QVERIFY2(preview.contains(notice), qPrintable(preview.right(200)));
        QVERIFY(preview.size() < NoteItem::previewLength + 1000);
        QCOMPARE(preview.left(2000), longPlain.left(2000));
        QCOMPARE(longNote->html(), longText);

        // Opened whole and left untouched, neither note changes a stored byte.
        clickInto(shortNote);
        shortNote->clearFocus();
        clickInto(longNote);
        QVERIFY(!longNote->isPreview());
        QCOMPARE(longNote->textDocument()->toPlainText(), longPlain);
        longNote->clearFocus();
        index()->commitEditing();
        QCOMPARE(dump(), stored);

        // An edited one stores what it shows.
        type(shortNote, QStringLiteral(" gamma"));
        shortNote->clearFocus();
        QCOMPARE(plain(storedNote(shortId)), QStringLiteral("alpha beta \u00fcn\u00efcode gamma"));
        QCOMPARE(storedNote(longId), longText);
    }

    void randomChanges_undoAndRedoToTheByte()
    {
        QVERIFY(openTab(3, 3));
        for (int page = 0; page < 3; ++page) {
            index()->populate(m_tab->readingView()->pdfScene()->readingPageAt(page));
        }
        // A node with two children, and a line annotation, to start from.
        const int parent = create(0, QPointF(50, 50));
        const int lines = index()->createAnnotation(1, QPointF(80, 80), Marker(QRectF(0, 0, 100, 40)),
            { Marker(QLineF(0, 10, 100, 10), QPen(Qt::red)),
                Marker(QLineF(0, 30, 100, 30), QPen(Qt::blue)) });
        QVERIFY(parent > 0 && lines > 0);
        const int root = notes()->documentNote(m_documentId).id();
        QVERIFY(index()->moveNode(root, 1, parent, 0));
        stack()->clear();
        const QString start = dump();

        QRandomGenerator random(20261208);
        int recorded = 0;
        for (int step = 0; step < 50; ++step) {
            const QVector<int> ids = notes()->documentNote(m_documentId).children();
            const int some = ids.isEmpty() ? 0 : ids.at(random.bounded(ids.size()));
            const double x = random.bounded(400), y = random.bounded(600);
            bool done = false;
            switch (ids.isEmpty() ? 0 : random.bounded(5)) {
            case 0:
                done = create(random.bounded(3), QPointF(x, y)) > 0;
                break;
            case 1: {
                const auto anno = notes()->annotation(some);
                if (anno.markers().isEmpty()) {
                    done = AnnotationCommand::push(stack(),
                        new ChangeCanvasCommand(
                            notes(), some, area(QRectF(0, 0, x / 4 + 1, y / 4 + 1)), anno.canvas()));
                } else {
                    done = AnnotationCommand::push(stack(),
                        new ReplaceMarkerCommand(notes(), some, 0,
                            Marker(QLineF(0, y / 10, x / 4 + 1, y / 10), QPen(Qt::green)),
                            anno.markers().at(0)));
                }
                break;
            }
            case 2:
                done = AnnotationCommand::push(stack(),
                    new ChangeNoteCommand(notes(), some, QStringLiteral("<p>note %1</p>").arg(step),
                        notes()->annotation(some).noteText()));
                break;
            case 3:
                done = index()->removeAnnotation(some);
                break;
            default:
                if (ids.size() > 1) {
                    done = index()->moveNode(
                        root, random.bounded(ids.size()), root, random.bounded(ids.size()));
                }
                break;
            }
            recorded += done ? 1 : 0;
            // Shown items follow the rows, once each.
            int rows = 0;
            for (int page = 0; page < 3; ++page) {
                rows += notes()->annotations(m_documentId, page).size();
            }
            QCOMPARE(index()->shownCount(), rows);
        }
        QVERIFY(recorded > 30);
        QCOMPARE(stack()->count(), recorded);
        const QString end = dump();
        QVERIFY(end != start);

        while (stack()->canUndo()) {
            stack()->undo();
        }
        QCOMPARE(dump(), start);
        while (stack()->canRedo()) {
            stack()->redo();
        }
        QCOMPARE(dump(), end);
    }

    void failedSteps_areNotRecorded_andAMacroFailingHalfWayLeavesNothing()
    {
        QVERIFY(openTab(1, 1));
        const int id = create(0, QPointF(10, 10));
        const int count = stack()->count();
        const QString before = dump();
        // A marker index past the end: refused, nothing recorded.
        QVERIFY(!AnnotationCommand::push(
            stack(), new RemoveMarkerCommand(notes(), id, 5, Marker(QLineF(0, 0, 1, 1), QPen()))));
        QCOMPARE(stack()->count(), count);
        // A macro whose second step fails rolls back its first.
        auto *macro = new MacroCommand(notes(), QStringLiteral("two"));
        macro->append(new ChangeNoteCommand(notes(), id, QStringLiteral("changed"), QString()));
        macro->append(new RemoveMarkerCommand(notes(), id, 3, Marker(QLineF(0, 0, 1, 1), QPen())));
        QVERIFY(!AnnotationCommand::push(stack(), macro));
        QCOMPARE(stack()->count(), count);
        QCOMPARE(dump(), before);
        QVERIFY(index()->noteItem(id));
        QCOMPARE(stack()->undoLimit(), AnnotationIndex::undoLimit);
    }
};

QTEST_MAIN(NotesAndUndoTest)
#include "tst_notesandundo.moc"
