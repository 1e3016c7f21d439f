#include "support/servicefixture.h"

#include <annotating/noteitem.h>
#include <annotating/undocommands.h>
#include <application/documentservice.h>
#include <application/tagservice.h>
#include <domain/tag.h>
#include <editor/colorpane.h>
#include <editor/editortoolbar.h>
#include <editor/tagsdialog.h>
#include <editor/textdocument.h>

#include <QAction>
#include <QFontDatabase>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextList>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

using Nod::Presentation::ColorPane;
using Nod::Presentation::EditorToolBar;
using Nod::Presentation::TagsDialog;
using Nod::Presentation::TextDocument;

namespace {

// A note that stores its text when it loses the focus, as the notes beside a page do; a focus going
// to a pop-up menu is no leave.
class SavingNote : public QGraphicsTextItem
{
public:
    SavingNote(int id, Nod::Application::ServiceRegistry *registry)
        : m_id(id)
        , m_registry(registry)
    {
        setDocument(new TextDocument(id, registry->resourceService(), this));
        setTextInteractionFlags(Qt::TextEditorInteraction);
        setTextWidth(300);
    }
    int saves = 0;

protected:
    void focusOutEvent(QFocusEvent *event) override
    {
        QGraphicsTextItem::focusOutEvent(event);
        if (event->reason() != Qt::PopupFocusReason && document()->isModified()) {
            m_registry->noteService()->changeNote(m_id, document()->toHtml());
            document()->setModified(false);
            ++saves;
        }
    }

private:
    int m_id;
    Nod::Application::ServiceRegistry *m_registry;
};

QString storedNote(int id)
{
    return TestSupport::scalar(QStringLiteral("SELECT noteText FROM Annotation WHERE id = %1").arg(id))
        .toString();
}

// The stored tags as name -> items, one entry per row.
QMultiMap<QString, QSet<int>> storedTags()
{
    QMultiMap<QString, QSet<int>> tags;
    QSqlQuery query;
    if (!query.exec(QStringLiteral("SELECT name, items, parentId FROM Tag"))) {
        qFatal("cannot read tags");
    }
    while (query.next()) {
        Nod::Domain::Tag tag;
        tag.setItemsData(query.value(1).toByteArray());
        tags.insert(query.value(0).toString(), tag.items());
    }
    return tags;
}

} // namespace

class EditorToolBarTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    int m_note = 0;
    std::unique_ptr<QWidget> m_window;
    EditorToolBar *m_bar = nullptr;
    QGraphicsView *m_view = nullptr;
    QLineEdit *m_elsewhere = nullptr;
    std::unique_ptr<QGraphicsScene> m_scene;
    SavingNote *m_item = nullptr;

    Nod::Application::TagService *tags() const { return m_fixture->registry()->tagService(); }

    // Focuses the note and selects its last word with the keyboard.
    void selectLastWord()
    {
        m_view->setFocus();
        m_item->setFocus();
        QTest::keyClick(m_view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(m_view, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    }

    QToolButton *button(QAction *action) const
    {
        return qobject_cast<QToolButton *>(m_bar->widgetForAction(action));
    }

    // Runs `inDialog` on the tags dialog once the tags command has opened it.
    void runTagsDialog(const std::function<void(TagsDialog *)> &inDialog)
    {
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<TagsDialog *>(QApplication::activeModalWidget());
            seen = dialog != nullptr;
            if (dialog) {
                inDialog(dialog);
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            }
        });
        QTest::mouseClick(button(m_bar->tagsAction()), Qt::LeftButton);
        QVERIFY(seen);
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        const int document = m_fixture->registry()->documentService()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), m_fixture->makeFile(QStringLiteral("a.pdf")),
            QStringLiteral("a"));
        m_note = m_fixture->appendNode(
            document, m_fixture->registry()->noteService()->documentNote(document).id());

        m_window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(m_window.get());
        m_bar = new EditorToolBar(m_window.get());
        m_bar->setTagService(tags());
        m_scene = std::make_unique<QGraphicsScene>();
        m_view = new QGraphicsView(m_scene.get(), m_window.get());
        m_elsewhere = new QLineEdit(m_window.get());
        layout->addWidget(m_bar);
        layout->addWidget(m_view);
        layout->addWidget(m_elsewhere);
        m_item = new SavingNote(m_note, m_fixture->registry());
        m_item->document()->setPlainText(QStringLiteral("first line\nhello world"));
        m_item->document()->setModified(false);
        m_scene->addItem(m_item);
        m_window->resize(700, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_bar->attach(m_item, m_note);
    }

    void cleanup()
    {
        m_window.reset();
        m_scene.reset();
        m_fixture.reset();
    }

    void formats_keepSelectionAndFocusAndAreStoredWhenTheNoteIsLeft()
    {
        // A window shortcut on the same key, as the underline tool of a document tab has.
        QAction windowUnderline(m_window.get());
        windowUnderline.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
        m_window->addAction(&windowUnderline);
        QSignalSpy windowShortcut(&windowUnderline, &QAction::triggered);
        QSignalSpy edited(m_bar, &EditorToolBar::noteEdited);

        selectLastWord();
        QCOMPARE(m_item->textCursor().selectedText(), QStringLiteral("world"));
        QVERIFY(!m_bar->boldAction()->isChecked());

        QTest::mouseClick(button(m_bar->boldAction()), Qt::LeftButton);
        QTest::keyClick(m_view, Qt::Key_U, Qt::ControlModifier);
        m_bar->textColorPane()->button(16)->click(); // "#ff0000"

        QCOMPARE(QApplication::focusWidget(), m_view);
        QCOMPARE(m_scene->focusItem(), m_item);
        QCOMPARE(m_item->textCursor().selectedText(), QStringLiteral("world"));
        QVERIFY(m_bar->boldAction()->isChecked());
        QVERIFY(m_bar->underlineAction()->isChecked());
        QCOMPARE(windowShortcut.count(), 0);
        QCOMPARE(edited.count(), 3);
        QCOMPARE(edited.first().first().toInt(), m_note);
        QCOMPARE(m_item->saves, 0);

        QTest::mouseClick(m_elsewhere, Qt::LeftButton);
        QCOMPARE(m_item->saves, 1);
        const QString html = storedNote(m_note);
        QVERIFY2(html.contains(QLatin1String("font-weight:600")), qPrintable(html));
        QVERIFY(html.contains(QLatin1String("text-decoration: underline")));
        QVERIFY(html.contains(QLatin1String("color:#ff0000")));
        // Only the selected word took the formats.
        QTextDocument stored;
        stored.setHtml(html);
        const QTextBlock second = stored.begin().next();
        QCOMPARE(second.text(), QStringLiteral("hello world"));
        QCOMPARE(QTextCursor(second).charFormat().fontWeight() > QFont::Medium, false);
        QTextCursor word(second);
        word.movePosition(QTextCursor::EndOfBlock);
        QVERIFY(word.charFormat().fontWeight() > QFont::Medium);
        QVERIFY(word.charFormat().fontUnderline());

        // Back in the plain first line the bar shows no format; in the bold word it shows bold.
        m_view->setFocus();
        m_item->setFocus();
        QTest::keyClick(m_view, Qt::Key_Home, Qt::ControlModifier);
        QTRY_VERIFY(!m_bar->boldAction()->isChecked());
        m_bar->attach(m_item, m_note);
        QVERIFY(!m_bar->boldAction()->isChecked());
        QTest::keyClick(m_view, Qt::Key_End, Qt::ControlModifier);
        QTRY_VERIFY(m_bar->boldAction()->isChecked());
    }

    void noteItem_boldStoredThroughTheNoteServiceWhenTheNoteIsLeft()
    {
        Nod::Application::NoteService *notes = m_fixture->registry()->noteService();
        auto *note = new Nod::Presentation::NoteItem(m_note, m_fixture->registry()->resourceService());
        note->setTextWidth(300);
        note->load(QStringLiteral("<p>keep this word</p>"), QFont());
        note->setPos(0, 200);
        m_scene->addItem(note);
        QUndoStack stack;
        // What the page's annotation index does with a note's announced text.
        connect(note, &Nod::Presentation::NoteItem::textChanged, this, [&] {
            Nod::Presentation::AnnotationCommand::push(&stack,
                new Nod::Presentation::ChangeNoteCommand(
                    notes, m_note, note->html(), notes->annotation(m_note).noteText()));
        });
        m_bar->attach(note, m_note);
        m_view->setFocus();
        note->setFocus();
        QTest::keyClick(m_view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(m_view, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::mouseClick(button(m_bar->boldAction()), Qt::LeftButton);
        QCOMPARE(note->textCursor().selectedText(), QStringLiteral("word"));
        QCOMPARE(stack.count(), 0);

        QTest::mouseClick(m_elsewhere, Qt::LeftButton);
        QCOMPARE(stack.count(), 1);
        const QString html = storedNote(m_note);
        QVERIFY2(html.contains(QLatin1String("font-weight:600")), qPrintable(html));
        QCOMPARE(notes->annotation(m_note).noteText(), html);
    }

    void textEdit_takesTheSameCommandsAndKeys()
    {
        auto *edit = new QTextEdit(m_window.get());
        m_window->layout()->addWidget(edit);
        edit->show();
        edit->setDocument(new TextDocument(m_note, m_fixture->registry()->resourceService(), edit));
        edit->setPlainText(QStringLiteral("plain words"));
        m_bar->attach(edit, m_note);
        QVERIFY(m_bar->imageAction()->isEnabled());
        QAction windowBold(m_window.get());
        windowBold.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
        m_window->addAction(&windowBold);
        QSignalSpy windowShortcut(&windowBold, &QAction::triggered);
        QSignalSpy edited(m_bar, &EditorToolBar::noteEdited);

        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
        QTest::mouseClick(button(m_bar->italicAction()), Qt::LeftButton);

        QCOMPARE(windowShortcut.count(), 0);
        QCOMPARE(edited.count(), 2);
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(edit->textCursor().selectedText(), QStringLiteral("words"));
        QVERIFY(m_bar->boldAction()->isChecked());
        QVERIFY(m_bar->italicAction()->isChecked());
        const QString html = edit->document()->toHtml();
        QVERIFY(html.contains(QLatin1String("font-weight:600")));
        QVERIFY(html.contains(QLatin1String("font-style:italic")));

        // Detached, the bar leaves the note alone and its keys are the window's again.
        m_bar->detach();
        QVERIFY(!m_bar->isEnabled());
        QTest::keyClick(edit, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(windowShortcut.count(), 1);
        QCOMPARE(edit->document()->toHtml(), html);
    }

    void paragraphCommands_actOnEveryBlockOfTheSelectionAndUndoAsOne()
    {
        QTextCursor all(m_item->document());
        all.select(QTextCursor::Document);
        m_item->setTextCursor(all);

        m_bar->changeIndent(-1); // never below zero
        m_bar->changeIndent(1);
        m_bar->setAlignment(Qt::AlignHCenter);
        for (QTextBlock block = m_item->document()->begin(); block.isValid(); block = block.next()) {
            QCOMPARE(block.blockFormat().indent(), 1);
            QCOMPARE(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        }

        m_bar->toggleList(QTextListFormat::ListDecimal);
        QTextList *list = m_item->document()->begin().textList();
        QVERIFY(list);
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->format().style(), QTextListFormat::ListDecimal);
        // Another style keeps one list and changes its style; the same style again dissolves it.
        m_bar->toggleList(QTextListFormat::ListCircle);
        QCOMPARE(m_item->document()->begin().textList()->format().style(), QTextListFormat::ListCircle);
        QCOMPARE(m_item->document()->lastBlock().textList(), m_item->document()->begin().textList());
        m_bar->toggleList(QTextListFormat::ListCircle);
        QVERIFY(!m_item->document()->begin().textList());
        QVERIFY(!m_item->document()->lastBlock().textList());

        m_item->document()->undo();
        QVERIFY(m_item->document()->begin().textList());
        QCOMPARE(m_item->document()->lastBlock().textList()->count(), 2);
        QCOMPARE(m_item->textCursor().selectedText(), all.selectedText());
    }

    void fontMenus_listEveryFamilyAndApplyTheChosenOne()
    {
        QStringList families;
        const QFontDatabase database;
        const QStringList all = database.families();
        for (const QString &family : all) {
            if (!database.isPrivateFamily(family)) {
                families << family;
            }
        }
        if (families.size() < 2) {
            QSKIP("this system has fewer than two font families");
        }
        m_item->setFont(QFont(families.constLast()));
        selectLastWord();
        QString chosen;
        QTimer::singleShot(0, this, [&] {
            QMenu *menu = m_bar->fontFamilyMenu();
            if (!menu->isVisible()) {
                qWarning("the font family menu is not open");
                return;
            }
            const auto actions = menu->actions();
            QAction *checked = nullptr;
            QAction *other = nullptr;
            for (QAction *action : actions) {
                if (action->isChecked()) {
                    checked = action;
                } else if (!other && !menu->actionGeometry(action).isEmpty()
                    && menu->rect().contains(menu->actionGeometry(action))) {
                    other = action;
                }
            }
            // The family at the cursor is checked when the menu opens.
            if (checked && checked->data().toString() == m_item->document()->defaultFont().family()
                && other) {
                chosen = other->data().toString();
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(other).center());
            } else {
                qWarning() << "checked:" << (checked ? checked->data().toString() : QString())
                           << "other:" << other;
                menu->close();
            }
        });
        QTest::mouseClick(
            m_bar->findChild<QToolButton *>(QStringLiteral("NoteEditor-fontFamily")), Qt::LeftButton);
        QCOMPARE(m_bar->fontFamilyMenu()->actions().size(), families.size());
        QVERIFY(!chosen.isEmpty());
        QCOMPARE(m_item->textCursor().selectedText(), QStringLiteral("world"));
        QTextCursor end(m_item->document());
        end.movePosition(QTextCursor::End);
        QCOMPARE(end.charFormat().fontFamily(), chosen);
        QCOMPARE(QTextCursor(m_item->document()).charFormat().fontFamily(), QString());
        // The offscreen platform leaves no window active once a pop-up closes; a desktop gives the
        // activation back, and with it the focus to the widget of the window that had it.
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), m_view);
        QCOMPARE(m_scene->focusItem(), m_item);

        // Every icon of the bar loads, the image command's from the theme's "insert-image" or ours.
        const auto actions = m_bar->actions();
        for (QAction *action : actions) {
            QWidget *widget = m_bar->widgetForAction(action);
            const QIcon icon = widget && qobject_cast<QToolButton *>(widget)
                ? qobject_cast<QToolButton *>(widget)->icon()
                : action->icon();
            QVERIFY2(!icon.pixmap(16, 16).isNull(), qPrintable(action->text()));
        }
        QVERIFY(m_bar->imageAction()->icon().name().isEmpty()
            || m_bar->imageAction()->icon().name() == QLatin1String("insert-image"));
    }

    void tagsDialog_addsByNameAndRemovesFromEveryTagOfTheName()
    {
        const int first = tags()->newTag(QStringLiteral("shared"), 0);
        const int parent = tags()->newTag(QStringLiteral("topic"), 0);
        const int second = tags()->newTag(QStringLiteral("shared"), parent);
        const int existing = tags()->newTag(QStringLiteral("existing"), parent);
        const int other = m_fixture->appendNode(
            m_fixture->registry()->noteService()->annotation(m_note).documentId(), m_note);
        QVERIFY(tags()->addItem(first, m_note));
        QVERIFY(tags()->addItem(second, m_note));
        QVERIFY(tags()->addItem(second, other));
        QSignalSpy edited(m_bar, &EditorToolBar::tagsEdited);

        runTagsDialog([](TagsDialog *dialog) {
            QCOMPARE(dialog->names(), QStringList { QStringLiteral("shared") });
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("TagsDialog-name"));
            QTest::keyClicks(name, QStringLiteral(" fresh "));
            QTest::keyClick(name, Qt::Key_Return);
            QVERIFY(dialog->isVisible());
            QTest::keyClicks(name, QStringLiteral("existing"));
            auto *list = dialog->findChild<QListWidget *>(QStringLiteral("TagsDialog-list"));
            list->setCurrentRow(0);
            QTest::mouseClick(
                dialog->findChild<QPushButton *>(QStringLiteral("TagsDialog-remove")), Qt::LeftButton);
            dialog->accept();
        });

        const auto stored = storedTags();
        QCOMPARE(stored.count(QStringLiteral("shared")), 2);
        QCOMPARE(stored.values(QStringLiteral("shared")).at(0).contains(m_note), false);
        QCOMPARE(stored.values(QStringLiteral("shared")).at(1).contains(m_note), false);
        QVERIFY(stored.values(QStringLiteral("shared")).at(0).contains(other)
            || stored.values(QStringLiteral("shared")).at(1).contains(other));
        QCOMPARE(stored.values(QStringLiteral("fresh")), (QList<QSet<int>> { { m_note } }));
        QCOMPARE(stored.values(QStringLiteral("existing")), (QList<QSet<int>> { { m_note } }));
        QCOMPARE(
            TestSupport::scalar(QStringLiteral("SELECT parentId FROM Tag WHERE name = 'fresh'")).toInt(), 0);
        QCOMPARE(TestSupport::scalar(QStringLiteral("SELECT id FROM Tag WHERE name = 'existing'")).toInt(),
            existing);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(m_scene->focusItem(), m_item);

        // A cancelled dialog changes nothing.
        runTagsDialog([](TagsDialog *dialog) {
            QCOMPARE(dialog->names(), (QStringList { QStringLiteral("existing"), QStringLiteral("fresh") }));
            dialog->findChild<QListWidget *>(QStringLiteral("TagsDialog-list"))->selectAll();
            dialog->removeSelected();
            dialog->reject();
        });
        QCOMPARE(storedTags(), stored);
        QCOMPARE(edited.count(), 1);
    }
};

QTEST_MAIN(EditorToolBarTest)
#include "tst_editortoolbar.moc"
