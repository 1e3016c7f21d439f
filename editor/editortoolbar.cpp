#include "editortoolbar.h"

#include "colorpane.h"
#include "tagsdialog.h"
#include "textdocument.h"

#include <application/tagservice.h>

#include <QActionGroup>
#include <QDebug>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>
#include <QWidgetAction>

#include <exception>

namespace Nod::Presentation {

namespace {

QIcon editorIcon(const QString &theme, const QString &resource)
{
    const QIcon fallback(QStringLiteral(":/icons/editor") + resource);
    return theme.isEmpty() ? fallback : QIcon::fromTheme(theme, fallback);
}

QStringList distinctSorted(QStringList names)
{
    names.removeDuplicates();
    names.sort(Qt::CaseInsensitive);
    return names;
}

constexpr Qt::Alignment horizontalAlignments
    = Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter | Qt::AlignJustify;

} // namespace

EditorToolBar::EditorToolBar(QWidget *parent)
    : QToolBar(parent)
    , m_fontFamilyMenu(new QMenu(this))
    , m_fontSizeMenu(new QMenu(this))
    , m_alignmentMenu(new QMenu(this))
    , m_listMenu(new QMenu(this))
    , m_indentMenu(new QMenu(this))
    , m_fontFamilies(new QActionGroup(this))
    , m_fontSizes(new QActionGroup(this))
    , m_alignments(new QActionGroup(this))
{
    setObjectName(QStringLiteral("EditorToolBar"));
    setFocusPolicy(Qt::NoFocus);
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(18, 18));
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);

    m_bold = addFormatAction(QStringLiteral("bold"), tr("Bold"), QStringLiteral("format-text-bold"),
        QStringLiteral("/bold.png"), QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(m_bold, &QAction::triggered, this, [this](bool checked) {
        QTextCharFormat format;
        format.setFontWeight(checked ? QFont::Bold : QFont::Normal);
        mergeFormat(format);
    });
    m_italic = addFormatAction(QStringLiteral("italic"), tr("Italic"), QStringLiteral("format-text-italic"),
        QStringLiteral("/italic.png"), QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(m_italic, &QAction::triggered, this, [this](bool checked) {
        QTextCharFormat format;
        format.setFontItalic(checked);
        mergeFormat(format);
    });
    m_underline = addFormatAction(QStringLiteral("underline"), tr("Underline"),
        QStringLiteral("format-text-underline"), QStringLiteral("/underline.png"),
        QKeySequence(Qt::CTRL | Qt::Key_U));
    connect(m_underline, &QAction::triggered, this, [this](bool checked) {
        QTextCharFormat format;
        format.setFontUnderline(checked);
        mergeFormat(format);
    });

    m_fontFamilies->setExclusive(true);
    connect(m_fontFamilyMenu, &QMenu::aboutToShow, this, &EditorToolBar::fillFontFamilyMenu);
    connect(m_fontFamilies, &QActionGroup::triggered, this,
        [this](QAction *action) { setFontFamily(action->data().toString()); });
    addMenuButton(QStringLiteral("NoteEditor-fontFamily"), tr("Font family"),
        editorIcon({}, QStringLiteral("/font.png")), m_fontFamilyMenu);

    m_fontSizes->setExclusive(true);
    connect(m_fontSizeMenu, &QMenu::aboutToShow, this, &EditorToolBar::fillFontSizeMenu);
    connect(m_fontSizes, &QActionGroup::triggered, this,
        [this](QAction *action) { setFontPointSize(action->data().toReal()); });
    addMenuButton(QStringLiteral("NoteEditor-fontSize"), tr("Font size"),
        editorIcon({}, QStringLiteral("/font-size.png")), m_fontSizeMenu);

    m_textColors = addColorButton(
        QStringLiteral("NoteEditor-textColor"), tr("Text color"), QStringLiteral("/btn_forecolor.png"), true);
    m_backgroundColors = addColorButton(QStringLiteral("NoteEditor-backgroundColor"), tr("Background color"),
        QStringLiteral("/btn_backcolor.png"), false);

    m_alignments->setExclusive(true);
    const struct
    {
        const char *text;
        const char *theme;
        const char *resource;
        Qt::Alignment alignment;
    } alignments[] = {
        { QT_TR_NOOP("Left"), "format-justify-left", "/justify-left.png", Qt::AlignLeft },
        { QT_TR_NOOP("Center"), "format-justify-center", "/btn_justifycenter.png", Qt::AlignHCenter },
        { QT_TR_NOOP("Right"), "format-justify-right", "/btn_justifyright.png", Qt::AlignRight },
    };
    for (const auto &entry : alignments) {
        QAction *action = m_alignmentMenu->addAction(
            editorIcon(QLatin1String(entry.theme), QLatin1String(entry.resource)), tr(entry.text));
        action->setCheckable(true);
        action->setData(static_cast<int>(entry.alignment));
        m_alignments->addAction(action);
    }
    connect(m_alignmentMenu, &QMenu::aboutToShow, this, &EditorToolBar::checkAlignment);
    connect(m_alignments, &QActionGroup::triggered, this, [this](QAction *action) {
        setAlignment(Qt::Alignment(action->data().toInt()));
        action->setChecked(true);
    });
    addMenuButton(QStringLiteral("NoteEditor-alignment"), tr("Alignment"),
        editorIcon({}, QStringLiteral("/btn_justify.png")), m_alignmentMenu);

    QAction *numbered
        = m_listMenu->addAction(editorIcon({}, QStringLiteral("/btn_ordered_list.png")), tr("number list"));
    numbered->setData(static_cast<int>(QTextListFormat::ListDecimal));
    QAction *circled
        = m_listMenu->addAction(editorIcon({}, QStringLiteral("/btn_unordered_list.png")), tr("circle list"));
    circled->setData(static_cast<int>(QTextListFormat::ListCircle));
    connect(m_listMenu, &QMenu::triggered, this,
        [this](QAction *action) { toggleList(QTextListFormat::Style(action->data().toInt())); });
    addMenuButton(QStringLiteral("NoteEditor-list"), tr("List"),
        editorIcon({}, QStringLiteral("/btn_unordered_list.png")), m_listMenu);

    m_indentMenu->addAction(editorIcon({}, QStringLiteral("/btn_indent.png")), tr("Indent"))->setData(1);
    m_indentMenu->addAction(editorIcon({}, QStringLiteral("/btn_outdent.png")), tr("Dedent"))->setData(-1);
    connect(m_indentMenu, &QMenu::triggered, this,
        [this](QAction *action) { changeIndent(action->data().toInt()); });
    addMenuButton(QStringLiteral("NoteEditor-indent"), tr("Indent"),
        editorIcon({}, QStringLiteral("/btn_indent.png")), m_indentMenu);

    // The theme's "edit-undo" would show an undo arrow here on Linux desktops.
    m_image = addAction(
        editorIcon(QStringLiteral("insert-image"), QStringLiteral("/add-image.png")), tr("Image"));
    m_image->setObjectName(QStringLiteral("NoteEditor-image"));
    connect(m_image, &QAction::triggered, this, &EditorToolBar::insertImages);
    m_tagsAction = addAction(editorIcon({}, QStringLiteral("/tag.png")), tr("Tags"));
    m_tagsAction->setObjectName(QStringLiteral("NoteEditor-tags"));
    m_tagsAction->setEnabled(false);
    connect(m_tagsAction, &QAction::triggered, this, &EditorToolBar::editTags);

    const auto buttons = findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        button->setFocusPolicy(Qt::NoFocus);
    }
    for (QMenu *menu : { m_fontFamilyMenu, m_fontSizeMenu, m_alignmentMenu, m_listMenu, m_indentMenu }) {
        menu->setFocusPolicy(Qt::NoFocus);
    }
    setEnabled(false);
}

EditorToolBar::~EditorToolBar() = default;

QAction *EditorToolBar::addFormatAction(const QString &name, const QString &text, const QString &theme,
    const QString &resource, const QKeySequence &shortcut)
{
    QAction *action = addAction(editorIcon(theme, resource), text);
    action->setObjectName(QStringLiteral("NoteEditor-") + name);
    action->setCheckable(true);
    action->setShortcut(shortcut);
    // The keys are read from the note (see eventFilter), never from the window's shortcut map.
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(text, shortcut.toString(QKeySequence::NativeText)));
    return action;
}

QToolButton *EditorToolBar::addMenuButton(
    const QString &objectName, const QString &text, const QIcon &icon, QMenu *menu)
{
    auto *button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(icon);
    button->setText(text);
    button->setToolTip(text);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    addWidget(button);
    return button;
}

ColorPane *EditorToolBar::addColorButton(
    const QString &objectName, const QString &text, const QString &resource, bool foreground)
{
    auto *menu = new QMenu(this);
    menu->setFocusPolicy(Qt::NoFocus);
    auto *pane = new ColorPane(menu);
    auto *action = new QWidgetAction(menu);
    action->setDefaultWidget(pane);
    menu->addAction(action);
    connect(pane, &ColorPane::clicked, this, [this, menu, foreground](const QColor &color) {
        menu->close();
        QTextCharFormat format;
        if (foreground) {
            format.setForeground(color);
        } else {
            format.setBackground(color);
        }
        mergeFormat(format);
    });
    addMenuButton(objectName, text, editorIcon({}, resource), menu);
    return pane;
}

void EditorToolBar::setTagService(Application::TagService *service)
{
    m_tags = service;
    m_tagsAction->setEnabled(m_tags && m_annotationId > 0);
}

void EditorToolBar::attach(QGraphicsTextItem *item, int annotationId)
{
    attachTo(item ? item->scene() : nullptr, item, nullptr, annotationId);
}

void EditorToolBar::attach(QTextEdit *edit, int annotationId)
{
    attachTo(edit, nullptr, edit, annotationId);
    if (edit) {
        connect(edit, &QTextEdit::currentCharFormatChanged, this, &EditorToolBar::updateFormatState,
            Qt::UniqueConnection);
    }
}

void EditorToolBar::attachTo(QObject *target, QGraphicsTextItem *item, QTextEdit *edit, int annotationId)
{
    if (m_edit && m_edit != edit) {
        disconnect(m_edit, nullptr, this, nullptr);
    }
    if (m_filtered && m_filtered != target) {
        m_filtered->removeEventFilter(this);
    }
    m_item = item;
    m_edit = edit;
    m_filtered = target;
    m_annotationId = (item || edit) ? annotationId : 0;
    if (target) {
        target->installEventFilter(this);
    }
    const bool attached = isAttached();
    setEnabled(attached);
    m_image->setEnabled(attached && qobject_cast<TextDocument *>(document()));
    m_tagsAction->setEnabled(attached && m_tags && m_annotationId > 0);
    updateFormatState();
}

void EditorToolBar::detach() { attachTo(nullptr, nullptr, nullptr, 0); }

bool EditorToolBar::isAttached() const { return m_item || m_edit; }

QTextDocument *EditorToolBar::document() const
{
    if (m_edit) {
        return m_edit->document();
    }
    return m_item ? m_item->document() : nullptr;
}

QTextCursor EditorToolBar::textCursor() const
{
    if (m_edit) {
        return m_edit->textCursor();
    }
    return m_item ? m_item->textCursor() : QTextCursor();
}

void EditorToolBar::setTextCursor(const QTextCursor &cursor)
{
    // A dialog may have let the note go, or the bar move on to another note, meanwhile.
    if (cursor.isNull() || cursor.document() != document()) {
        return;
    }
    if (m_edit) {
        m_edit->setTextCursor(cursor);
    } else if (m_item) {
        m_item->setTextCursor(cursor);
    }
}

void EditorToolBar::refocus()
{
    if (m_edit) {
        if (!m_edit->hasFocus()) {
            m_edit->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    if (!m_item) {
        return;
    }
    if (QGraphicsScene *scene = m_item->scene()) {
        const auto views = scene->views();
        for (QGraphicsView *view : views) {
            if (view->isVisible()) {
                if (!view->hasFocus()) {
                    view->setFocus(Qt::OtherFocusReason);
                }
                break;
            }
        }
    }
    if (!m_item->hasFocus()) {
        m_item->setFocus(Qt::OtherFocusReason);
    }
}

template <typename Change> void EditorToolBar::edit(Change change)
{
    const QPointer<QTextDocument> document = this->document();
    if (!document) {
        return;
    }
    const QPointer<EditorToolBar> self = this;
    const int annotationId = m_annotationId;
    bool changed = false;
    const QMetaObject::Connection watch
        = connect(document, &QTextDocument::contentsChanged, this, [&changed] { changed = true; });
    QTextCursor cursor = textCursor();
    change(cursor);
    if (!self) {
        return;
    }
    disconnect(watch);
    setTextCursor(cursor);
    refocus();
    updateFormatState();
    if (changed && document) {
        emit noteEdited(annotationId);
    }
}

void EditorToolBar::mergeFormat(const QTextCharFormat &format)
{
    edit([this, &format](QTextCursor &cursor) {
        if (m_edit) {
            // Keeps the format for the text typed next when nothing is selected.
            m_edit->mergeCurrentCharFormat(format);
            cursor = m_edit->textCursor();
        } else {
            cursor.mergeCharFormat(format);
        }
    });
}

void EditorToolBar::setFontFamily(const QString &family)
{
    if (family.isEmpty()) {
        return;
    }
    QTextCharFormat format;
    format.setFontFamily(family);
    format.setProperty(QTextFormat::FontFamilies, QStringList { family });
    mergeFormat(format);
}

void EditorToolBar::setFontPointSize(qreal size)
{
    if (size <= 0) {
        return;
    }
    QTextCharFormat format;
    format.setFontPointSize(size);
    mergeFormat(format);
}

void EditorToolBar::setAlignment(Qt::Alignment alignment)
{
    edit([alignment](QTextCursor &cursor) {
        QTextBlockFormat format;
        format.setAlignment(alignment);
        cursor.mergeBlockFormat(format);
    });
}

void EditorToolBar::toggleList(QTextListFormat::Style style)
{
    edit([style](QTextCursor &cursor) {
        cursor.beginEditBlock();
        QTextList *list = cursor.currentList();
        if (list && list->format().style() == style) {
            QTextListFormat format = list->format();
            format.setStyle(style);
            format.setIndent(0);
            list->setFormat(format);
            // The list object may go with its last item.
            const QPointer<QTextList> guard = list;
            for (int i = list->count() - 1; i >= 0 && guard; --i) {
                list->removeItem(i);
            }
        } else {
            QTextListFormat format;
            if (list) {
                format = list->format();
            } else {
                QTextBlockFormat block = cursor.blockFormat();
                format.setIndent(block.indent() + 1);
                block.setIndent(0);
                cursor.setBlockFormat(block);
            }
            format.setStyle(style);
            cursor.createList(format);
        }
        cursor.endEditBlock();
    });
}

void EditorToolBar::changeIndent(int delta)
{
    edit([delta](QTextCursor &cursor) {
        QTextDocument *document = cursor.document();
        QTextBlock block = document->findBlock(cursor.selectionStart());
        const QTextBlock last = document->findBlock(cursor.selectionEnd());
        cursor.beginEditBlock();
        // Each block of the selection moves by one step from its own indent.
        for (; block.isValid(); block = block.next()) {
            QTextBlockFormat format = block.blockFormat();
            const int indent = format.indent() + delta;
            if (indent >= 0) {
                format.setIndent(indent);
                QTextCursor(block).setBlockFormat(format);
            }
            if (block == last) {
                break;
            }
        }
        cursor.endEditBlock();
    });
}

QTextCharFormat EditorToolBar::currentCharFormat() const
{
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        return cursor.charFormat();
    }
    // A cursor reports the character before it; a selection shows the format of its first character.
    QTextCursor first(cursor.document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

void EditorToolBar::updateFormatState()
{
    const QTextCharFormat format = currentCharFormat();
    m_bold->setChecked(format.fontWeight() > QFont::Medium);
    m_italic->setChecked(format.fontItalic());
    m_underline->setChecked(format.fontUnderline());
}

void EditorToolBar::fillFontFamilyMenu()
{
    if (m_fontFamilyMenu->isEmpty()) {
        // Every writing system: a filter would leave one family, or none, on many Linux systems.
        const QFontDatabase database;
        const QStringList families = database.families();
        for (const QString &family : families) {
            if (database.isPrivateFamily(family)) {
                continue;
            }
            QAction *action = m_fontFamilyMenu->addAction(family);
            action->setCheckable(true);
            action->setData(family);
            m_fontFamilies->addAction(action);
        }
    }
    const QTextCharFormat format = currentCharFormat();
    QString family = format.hasProperty(QTextFormat::FontFamily) ? format.fontFamily() : QString();
    if (family.isEmpty() && document()) {
        family = document()->defaultFont().family();
    }
    const auto actions = m_fontFamilies->actions();
    for (QAction *action : actions) {
        action->setChecked(action->data().toString().compare(family, Qt::CaseInsensitive) == 0);
    }
}

void EditorToolBar::fillFontSizeMenu()
{
    if (m_fontSizeMenu->isEmpty()) {
        const QList<int> sizes = QFontDatabase::standardSizes();
        for (int size : sizes) {
            QAction *action = m_fontSizeMenu->addAction(QString::number(size));
            action->setCheckable(true);
            action->setData(size);
            m_fontSizes->addAction(action);
        }
    }
    const QTextCharFormat format = currentCharFormat();
    qreal size = format.hasProperty(QTextFormat::FontPointSize) ? format.fontPointSize() : 0;
    if (size <= 0 && document()) {
        size = document()->defaultFont().pointSizeF();
    }
    const auto actions = m_fontSizes->actions();
    for (QAction *action : actions) {
        action->setChecked(qFuzzyCompare(action->data().toReal(), size));
    }
}

void EditorToolBar::checkAlignment()
{
    const Qt::Alignment current = textCursor().blockFormat().alignment() & horizontalAlignments;
    const auto actions = m_alignments->actions();
    for (QAction *action : actions) {
        const Qt::Alignment alignment(action->data().toInt());
        action->setChecked(alignment == current || (alignment == Qt::AlignLeft && !current));
    }
}

void EditorToolBar::insertImages()
{
    if (!qobject_cast<TextDocument *>(document())) {
        return;
    }
    edit([this](QTextCursor &cursor) {
        // The note may be reloaded or removed while the dialog is open: hold it by a guarded pointer.
        const QPointer<TextDocument> document = qobject_cast<TextDocument *>(this->document());
        const QStringList paths = QFileDialog::getOpenFileNames(
            window(), tr("Select one or more files to open"), QString(), tr("Images (*.png *.xpm *.jpg)"));
        if (paths.isEmpty() || !document || cursor.isNull()) {
            return;
        }
        const QStringList errors = document->insertImageFiles(cursor, paths);
        if (!errors.isEmpty()) {
            QMessageBox::warning(window(), tr("Insert Image"), errors.join(QLatin1Char('\n')));
        }
    });
}

void EditorToolBar::editTags()
{
    if (!m_tags || m_annotationId <= 0) {
        return;
    }
    const int annotationId = m_annotationId;
    QStringList before;
    const auto own = m_tags->tagsOfDocument(annotationId);
    for (const Application::Tag &tag : own) {
        before << tag.name();
    }
    before = distinctSorted(before);
    QStringList known;
    const auto all = m_tags->tags();
    for (const Application::Tag &tag : all) {
        known << tag.name();
    }

    const QPointer<EditorToolBar> self = this;
    const QPointer<TagsDialog> dialog = new TagsDialog(before, distinctSorted(known), window());
    const bool accepted = dialog->exec() == QDialog::Accepted;
    const QStringList after = dialog ? dialog->names() : QStringList();
    delete dialog.data();
    if (!self) {
        return;
    }
    refocus();
    if (!accepted) {
        return;
    }

    bool changed = false;
    try {
        for (const QString &name : before) {
            if (after.contains(name)) {
                continue;
            }
            // Names need not be unique: the note leaves every tag of that name.
            const auto named = m_tags->tagsWithName(name);
            for (const Application::Tag &tag : named) {
                if (tag.items().contains(annotationId)) {
                    changed |= m_tags->removeItem(tag.id(), annotationId);
                }
            }
        }
        for (const QString &name : after) {
            if (before.contains(name)) {
                continue;
            }
            const auto named = m_tags->tagsWithName(name);
            const int tagId = named.isEmpty() ? m_tags->newTag(name, 0) : named.constFirst().id();
            if (tagId > 0) {
                changed |= m_tags->addItem(tagId, annotationId);
            }
        }
    } catch (const std::exception &error) {
        qWarning() << "EditorToolBar::editTags" << error.what();
        QMessageBox::warning(window(), tr("Tags"),
            tr("The tags could not be saved:\n%1").arg(QString::fromLocal8Bit(error.what())));
    }
    if (changed) {
        emit tagsEdited(annotationId);
    }
}

QAction *EditorToolBar::keyAction(QEvent *event) const
{
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers
        = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QKeySequence pressed(static_cast<int>(modifiers) | key->key());
    for (QAction *action : { m_bold, m_italic, m_underline }) {
        if (action->shortcut() == pressed) {
            return action;
        }
    }
    return nullptr;
}

bool EditorToolBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_filtered || !isAttached()) {
        return QToolBar::eventFilter(watched, event);
    }
    // On a scene, only events meant for the attached item count.
    if (m_item && (!m_item->scene() || m_item->scene()->focusItem() != m_item)) {
        return QToolBar::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        if (keyAction(event)) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (QAction *action = keyAction(event)) {
            action->trigger();
            return true;
        }
        break;
    case QEvent::KeyRelease:
    case QEvent::GraphicsSceneMouseRelease:
        if (m_item) {
            // The item handles the event after this filter: look at its cursor afterwards.
            QMetaObject::invokeMethod(this, &EditorToolBar::updateFormatState, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return QToolBar::eventFilter(watched, event);
}

} // namespace Nod::Presentation
