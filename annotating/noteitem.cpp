#include "noteitem.h"

#include <application/noteservice.h>
#include <editor/textdocument.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneHoverEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionGraphicsItem>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <utility>

namespace Nod::Presentation {

NoteItem::NoteItem(int annotationId, Application::ResourceService *resources, QGraphicsItem *parent)
    : QGraphicsTextItem(parent)
    , m_annotationId(annotationId)
    , m_document(new TextDocument(annotationId, resources, this))
{
    setDocument(m_document);
    setFlag(QGraphicsItem::ItemIsSelectable);
    setAcceptDrops(false);
    setAcceptHoverEvents(true);
    setTextInteractionFlags(Qt::TextEditorInteraction);
    setDefaultTextColor(Qt::black);
    connect(m_document, &QTextDocument::contentsChanged, this, &NoteItem::on_contentChanged);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(autosaveIdleMs);
    m_longestTimer.setSingleShot(true);
    m_longestTimer.setInterval(autosaveLongestMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &NoteItem::commitEditing);
    connect(&m_longestTimer, &QTimer::timeout, this, &NoteItem::commitEditing);
}

NoteItem::~NoteItem() = default;

void NoteItem::setNoteMode(int mode)
{
    if (mode == m_noteMode) {
        return;
    }
    prepareGeometryChange();
    m_noteMode = mode;
    update();
}

void NoteItem::load(const QString &html, const QFont &emptyFont)
{
    m_emptyFont = emptyFont;
    m_readWhole = nullptr;
    if (html.size() <= previewThreshold) {
        if (isPreview()) {
            m_preview = false;
            m_fullHtml = QString();
            setTextInteractionFlags(Qt::TextEditorInteraction);
        }
        show(html);
        return;
    }
    m_fullHtml = html;
    preview(html.left(previewLength), html.size());
}

void NoteItem::loadBeginning(
    const QString &beginning, qint64 storedBytes, std::function<QString()> readWhole, const QFont &emptyFont)
{
    m_emptyFont = emptyFont;
    m_fullHtml = QString();
    m_readWhole = std::move(readWhole);
    preview(beginning.left(previewLength), storedBytes);
}

void NoteItem::loadStored(Application::NoteService *notes, const QFont &emptyFont)
{
    const std::optional<Domain::TextBeginning> stored
        = notes->noteBeginning(m_annotationId, wholeReadBytes, beginningBytes);
    if (!stored || stored->whole) {
        load(stored ? stored->text : QString(), emptyFont);
        return;
    }
    QPointer<Application::NoteService> service(notes);
    const int id = m_annotationId;
    loadBeginning(
        stored->text, stored->storedBytes,
        [service, id] {
            const std::optional<Domain::Annotation> anno = service ? service->find(id) : std::nullopt;
            return anno ? anno->noteText() : QString();
        },
        emptyFont);
}

void NoteItem::preview(const QString &beginning, qint64 size)
{
    m_preview = true;
    // The preview is not the note's text: it must never be edited and stored in its place.
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QString notice = tr("This note holds %1 MB of text; only its beginning is shown. Click into it "
                              "to open the whole note, which may take a while.")
                               .arg(double(size) / (1000 * 1000), 0, 'f', 1);
    show(beginning + QStringLiteral("<hr/><p><i>") + notice.toHtmlEscaped() + QStringLiteral("</i></p>"));
}

void NoteItem::openWhole()
{
    if (!isPreview()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString html = m_fullHtml.isNull() && m_readWhole ? m_readWhole() : m_fullHtml;
    if (!html.isNull()) {
        m_preview = false;
        m_fullHtml = QString();
        m_readWhole = nullptr;
        m_pending = false;
        m_pendingHtml = QString();
        fill(html, m_emptyFont);
        setTextInteractionFlags(Qt::TextEditorInteraction);
    }
    QApplication::restoreOverrideCursor();
    on_contentChanged();
}

void NoteItem::show(const QString &html)
{
    m_pendingHtml = html;
    m_pending = true;
    if (isVisible()) {
        makeDocument();
    }
}

void NoteItem::makeDocument()
{
    if (!m_pending) {
        return;
    }
    m_pending = false;
    fill(std::exchange(m_pendingHtml, QString()), m_emptyFont);
}

TextDocument *NoteItem::textDocument() const
{
    // Asking for the document is asking for the note's content, which it then must hold.
    const_cast<NoteItem *>(this)->makeDocument();
    return m_document;
}

bool NoteItem::isEmptyNote() const { return m_pending ? m_pendingHtml.isEmpty() : m_document->isEmpty(); }

void NoteItem::fill(const QString &html, const QFont &emptyFont)
{
    const QSignalBlocker blocker(m_document);
    m_document->setUndoRedoEnabled(false);
    if (html.isEmpty()) {
        m_document->clear();
        QTextCursor cursor(m_document);
        QTextBlockFormat block = cursor.blockFormat();
        block.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
        cursor.setBlockFormat(block);
        QTextCharFormat chars;
        chars.setFont(emptyFont);
        cursor.mergeBlockCharFormat(chars);
        cursor.mergeCharFormat(chars);
        QTextCursor shown = textCursor();
        shown.mergeCharFormat(chars);
        setTextCursor(shown);
    } else {
        m_document->setHtml(html);
    }
    m_document->setUndoRedoEnabled(true);
    m_document->setModified(false);
    prepareGeometryChange();
    update();
    if (isCollapsed() && m_reportedHeight != 0) {
        setReportedHeight(0);
    }
}

QString NoteItem::html() const
{
    if (isPreview()) {
        return m_fullHtml.isNull() && m_readWhole ? m_readWhole() : m_fullHtml;
    }
    return m_pending ? m_pendingHtml : m_document->toHtml();
}

void NoteItem::setNoteWidth(qreal width)
{
    if (textWidth() != width) {
        setTextWidth(width);
    }
    // Pictures are decoded for the width they are first shown at, which may be none yet.
    m_document->fitImagesToWidth();
}

bool NoteItem::commitEditing()
{
    m_idleTimer.stop();
    m_longestTimer.stop();
    if (!m_document->isModified() || isPreview()) {
        return false;
    }
    m_document->setModified(false);
    emit textChanged();
    return true;
}

bool NoteItem::isCollapsed() const
{
    return m_noteMode == 1 && !hasFocus() && !isSelected() && !m_menuOpen && isEmptyNote();
}

QRectF NoteItem::boundingRect() const
{
    if (isCollapsed()) {
        return QRectF();
    }
    return QGraphicsTextItem::boundingRect();
}

void NoteItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget)
{
    const QRectF frame = boundingRect().normalized();
    if (frame.isEmpty()) {
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPen pen((isSelected() || hasFocus()) ? Qt::black : Qt::lightGray);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(frame);
    painter->restore();
    // The frame above shows selection and focus; the framework's own dashed decoration would not.
    QStyleOptionGraphicsItem plain(*option);
    plain.state = QStyle::State_None;
    QGraphicsTextItem::paint(painter, &plain, widget);
}

bool NoteItem::canInsertFromMimeData(const QMimeData *source) const
{
    if (!source) {
        return false;
    }
    return source->hasImage() || source->hasUrls() || !source->text().isEmpty() || source->hasHtml()
        || source->hasFormat(QStringLiteral("application/x-qrichtext"))
        || source->hasFormat(QStringLiteral("application/x-qt-richtext"));
}

void NoteItem::mergeCurrentCharFormat(const QTextCharFormat &format)
{
    makeDocument();
    QTextCursor cursor = textCursor();
    cursor.mergeCharFormat(format);
    setTextCursor(cursor);
    checkCharFormat();
}

QPainterPath NoteItem::searchPaths(const QString &text, Qt::CaseSensitivity cs) const
{
    QPainterPath path;
    if (text.isEmpty()) {
        return path;
    }
    const QTextDocument::FindFlags flags
        = cs == Qt::CaseSensitive ? QTextDocument::FindCaseSensitively : QTextDocument::FindFlags();
    QTextCursor found = textDocument()->find(text, 0, flags);
    QAbstractTextDocumentLayout *layout = m_document->documentLayout();
    while (!found.isNull()) {
        for (QTextBlock block = m_document->findBlock(found.selectionStart());
             block.isValid() && block.position() < found.selectionEnd(); block = block.next()) {
            const QTextLayout *lines = block.layout();
            const QPointF origin = layout->blockBoundingRect(block).topLeft();
            const int from = std::max(found.selectionStart() - block.position(), 0);
            const int to = std::min(found.selectionEnd() - block.position(), block.length());
            for (int i = 0; i < lines->lineCount(); ++i) {
                const QTextLine line = lines->lineAt(i);
                const int start = std::max(from, line.textStart());
                const int end = std::min(to, line.textStart() + line.textLength());
                if (start >= end) {
                    continue;
                }
                const double x1 = line.cursorToX(start);
                const double x2 = line.cursorToX(end);
                path.addRect(QRectF(
                    origin.x() + std::min(x1, x2), origin.y() + line.y(), std::abs(x2 - x1), line.height()));
            }
        }
        found = m_document->find(text, found, flags);
    }
    return path;
}

void NoteItem::setHovered(bool v)
{
    if (m_hovered == v) {
        return;
    }
    m_hovered = v;
    update();
}

void NoteItem::undo()
{
    makeDocument();
    m_document->undo();
}

void NoteItem::redo()
{
    makeDocument();
    m_document->redo();
}

void NoteItem::cut()
{
    makeDocument();
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection() || !(textInteractionFlags() & Qt::TextEditable)) {
        return;
    }
    copy();
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void NoteItem::copy()
{
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        // The pictures' bytes go along: pasted into another note they become its own, and a cut
        // one is not lost when this note lets it go.
        QApplication::clipboard()->setMimeData(m_document->createMimeData(cursor));
    }
}

void NoteItem::paste()
{
    makeDocument();
    if (!(textInteractionFlags() & Qt::TextEditable)) {
        return;
    }
    const QMimeData *source = QApplication::clipboard()->mimeData();
    if (!source || source->formats().isEmpty() || !canInsertFromMimeData(source)) {
        return;
    }
    QTextCursor cursor = textCursor();
    // One step of the note's own undo, whatever the paste consists of.
    cursor.beginEditBlock();
    m_document->insertFromMimeData(cursor, source);
    cursor.endEditBlock();
    setTextCursor(cursor);
    checkCharFormat();
    reportRefusals();
}

void NoteItem::reportRefusals()
{
    const QStringList refusals = m_document->takeRefusals();
    if (refusals.isEmpty()) {
        return;
    }
    QWidget *window = nullptr;
    if (scene() && !scene()->views().isEmpty()) {
        window = scene()->views().constFirst()->window();
    }
    // Not modal to the event loop: the note keeps its focus and its typing state under the message.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Picture not added"),
        refusals.join(QLatin1Char('\n')), QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("pictureRefused"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void NoteItem::deleteSelected()
{
    makeDocument();
    QTextCursor cursor = textCursor();
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void NoteItem::selectAll()
{
    makeDocument();
    QTextCursor cursor(m_document);
    cursor.select(QTextCursor::Document);
    setTextCursor(cursor);
}

void NoteItem::on_remove_triggered() { requestRemoval(); }

void NoteItem::requestRemoval()
{
    if (m_removalPending) {
        return;
    }
    // The removal records the stored note, which undo brings back: what was typed goes in first.
    commitEditing();
    m_removalPending = true;
    // Queued with the item as context: whoever removes the annotation may delete this item, which
    // must not happen while its own handler still runs.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_removalPending = false;
            emit removeRequested();
        },
        Qt::QueuedConnection);
}

void NoteItem::on_contentChanged()
{
    if (m_document->isModified()) {
        m_idleTimer.start();
        if (!m_longestTimer.isActive()) {
            m_longestTimer.start();
        }
    }
    const double height = m_document->documentLayout()->documentSize().height();
    if (!qFuzzyCompare(1.0 + height, 1.0 + m_reportedHeight)) {
        setReportedHeight(height);
    }
}

void NoteItem::setReportedHeight(double height)
{
    prepareGeometryChange();
    m_reportedHeight = height;
    emit heightChanged();
}

QVariant NoteItem::itemChange(GraphicsItemChange change, const QVariant &value)
{
    if (change == ItemSelectedChange) {
        prepareGeometryChange();
    } else if (change == ItemSelectedHasChanged) {
        emit selectedChanged(value.toBool());
        if (m_noteMode == 1 && isEmptyNote()) {
            emit heightChanged();
        }
    } else if (change == ItemVisibleHasChanged && value.toBool() && m_pending) {
        makeDocument();
        // Whoever places the note measured it empty.
        emit heightChanged();
    }
    return QGraphicsTextItem::itemChange(change, value);
}

void NoteItem::hoverEnterEvent(QGraphicsSceneHoverEvent *event)
{
    setCursor(Qt::IBeamCursor);
    m_hovered = true;
    emit hoveredChanged(true);
    QGraphicsTextItem::hoverEnterEvent(event);
}

void NoteItem::hoverLeaveEvent(QGraphicsSceneHoverEvent *event)
{
    unsetCursor();
    m_hovered = false;
    emit hoveredChanged(false);
    QGraphicsTextItem::hoverLeaveEvent(event);
}

void NoteItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && isPreview()) {
        openWhole();
    }
    // The text item's own press handling leaves selection alone inside the text: the note and
    // with it its mark become the selection, as a press on the mark would make them.
    if (event->button() == Qt::LeftButton && (flags() & ItemIsSelectable)) {
        if (!(event->modifiers() & Qt::ControlModifier) && scene()) {
            const QList<QGraphicsItem *> selected = scene()->selectedItems();
            for (QGraphicsItem *item : selected) {
                if (item != this) {
                    item->setSelected(false);
                }
            }
        }
        setSelected(true);
    }
    QGraphicsTextItem::mousePressEvent(event);
    emit editingStarted();
}

void NoteItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    QGraphicsTextItem::mouseReleaseEvent(event);
    checkCharFormat();
}

void NoteItem::focusInEvent(QFocusEvent *event)
{
    makeDocument();
    prepareGeometryChange();
    if (!m_sessionOpen) {
        static quint64 sessions = 0;
        m_session = ++sessions;
        m_sessionOpen = true;
    }
    QGraphicsTextItem::focusInEvent(event);
    if (m_noteMode == 1 && m_document->isEmpty()) {
        setReportedHeight(m_document->documentLayout()->documentSize().height());
    }
    emit editingStarted();
}

void NoteItem::focusOutEvent(QFocusEvent *event)
{
    prepareGeometryChange();
    QGraphicsTextItem::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason) {
        // The note's own menu keeps the editing going; any other popup (a tool menu, a dialog's
        // completer) may lead anywhere, so what was typed is stored now.
        if (!m_menuOpen) {
            commitEditing();
        }
        return;
    }
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.clearSelection();
        setTextCursor(cursor);
    }
    commitEditing();
    m_sessionOpen = false;
    if (parentItem()) {
        parentItem()->update();
    }
    if (m_noteMode == 1 && m_document->isEmpty()) {
        setReportedHeight(0);
    }
    emit editingFinished();
}

void NoteItem::keyPressEvent(QKeyEvent *event)
{
    makeDocument();
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const QTextCursor::MoveMode mode = extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    QTextCursor cursor = textCursor();
    auto moveTo = [&](QTextCursor::MoveOperation op) {
        cursor.movePosition(op, mode);
        setTextCursor(cursor);
        checkCharFormat();
        event->accept();
    };
    if (!(event->modifiers() & Qt::ControlModifier)) {
        switch (event->key()) {
        case Qt::Key_Home:
            return moveTo(QTextCursor::StartOfLine);
        case Qt::Key_End:
            return moveTo(QTextCursor::EndOfLine);
        case Qt::Key_PageUp:
            return moveTo(QTextCursor::PreviousBlock);
        case Qt::Key_PageDown:
            return moveTo(QTextCursor::NextBlock);
        default:
            break;
        }
    }
    if (event->key() == Qt::Key_Delete && m_document->toPlainText().isEmpty()) {
        event->accept();
        requestRemoval();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        cut();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    QGraphicsTextItem::keyPressEvent(event);
    checkCharFormat();
}

void NoteItem::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    if (textInteractionFlags() == Qt::NoTextInteraction) {
        return;
    }
    event->accept();
    const bool editable = textInteractionFlags() & Qt::TextEditable;
    const bool selection = textCursor().hasSelection();
    auto *menu = new QMenu;
    auto add = [&](const QString &text, QKeySequence::StandardKey key, const char *name, bool enabled,
                   void (NoteItem::*slot)()) {
        QString label = text;
        if (key != QKeySequence::UnknownKey) {
            label += QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
        }
        QAction *action = menu->addAction(label);
        if (name) {
            action->setObjectName(QLatin1String(name));
        }
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    if (editable) {
        add(tr("Undo"), QKeySequence::Undo, "edit-undo", m_document->isUndoAvailable(), &NoteItem::undo);
        add(tr("Redo"), QKeySequence::Redo, "edit-redo", m_document->isRedoAvailable(), &NoteItem::redo);
        menu->addSeparator();
        add(tr("Cut"), QKeySequence::Cut, "edit-cut", selection, &NoteItem::cut);
    }
    add(tr("Copy"), QKeySequence::Copy, "edit-copy", selection, &NoteItem::copy);
    if (editable) {
        add(tr("Paste"), QKeySequence::Paste, "edit-paste",
            canInsertFromMimeData(QApplication::clipboard()->mimeData()), &NoteItem::paste);
        add(tr("Delete"), QKeySequence::UnknownKey, "edit-delete", selection, &NoteItem::deleteSelected);
    }
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, "select-all", !m_document->isEmpty(),
        &NoteItem::selectAll);
    menu->addSeparator();
    add(tr("Remove Annotation"), QKeySequence::UnknownKey, nullptr, true, &NoteItem::on_remove_triggered);

    m_menuOpen = true;
    QPointer<QObject> alive(this);
    menu->exec(event->screenPos());
    menu->deleteLater();
    if (alive) {
        m_menuOpen = false;
    }
}

void NoteItem::checkCharFormat()
{
    const QTextCharFormat format = textCursor().charFormat();
    if (format != m_charFormat) {
        m_charFormat = format;
        emit currentCharFormatChanged(format);
    }
}

} // namespace Nod::Presentation
