#include "annotationindex.h"

#include <reading/basepage.h>
#include <reading/pagedscene.h>

#include <annotating/canvasmarkeritem.h>
#include <annotating/compositemarkeritem.h>
#include <annotating/markerfactory.h>
#include <annotating/markeritem.h>
#include <annotating/markeritemfactory.h>
#include <annotating/notearealayout.h>
#include <annotating/noteitem.h>
#include <annotating/undocommands.h>
#include <app/storage/settings.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/serviceregistry.h>
#include <editor/textdocument.h>

#include <QDateTime>
#include <QDebug>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTextCursor>
#include <QUndoStack>

#include <algorithm>

using namespace Nod::Presentation;
using Nod::Domain::Annotation;
using Nod::Domain::Marker;

AnnotationIndex::AnnotationIndex(
    PagedScene *scene, Nod::Application::NoteService *notes, Nod::Application::ResourceService *resources)
    : QObject(scene)
    , m_scene(scene)
    , m_notes(notes)
    , m_resources(resources)
{
    auto *registry = Nod::Application::ServiceRegistry::instance();
    if (!m_notes && registry) {
        m_notes = registry->noteService();
    }
    if (!m_resources && registry) {
        m_resources = registry->resourceService();
    }
    if (QUndoStack *stack = scene->undoStack(); stack && stack->count() == 0) {
        stack->setUndoLimit(undoLimit);
    }
    if (m_notes) {
        using S = Nod::Application::NoteService;
        connect(m_notes, &S::added, this, &AnnotationIndex::on_service_added);
        // Items go once the removal has been stored: a removal rolled back keeps them.
        connect(m_notes, &S::removed, this, &AnnotationIndex::on_service_removed);
        connect(m_notes, &S::canvasChanged, this, &AnnotationIndex::on_service_canvasChanged);
        connect(m_notes, &S::markerInserted, this, &AnnotationIndex::on_service_markerInserted);
        connect(m_notes, &S::markerRemoved, this, &AnnotationIndex::on_service_markerRemoved);
        connect(m_notes, &S::markerReplaced, this, &AnnotationIndex::on_service_markerReplaced);
        connect(m_notes, &S::noteChanged, this, &AnnotationIndex::on_service_noteChanged);
    }
    connect(scene, &Base::Scene::aboutToBeRebuilt, this, [this] {
        commitEditing();
        clear();
    });
    connect(scene, &Base::Scene::rebuilt, this, &AnnotationIndex::connectPages);
    scene->installEventFilter(this);
    connectPages();
}

AnnotationIndex::~AnnotationIndex()
{
    for (const PageState &state : qAsConst(m_pages)) {
        delete state.layout;
    }
}

MarkerItem *AnnotationIndex::canvasItem(int annotationId) const
{
    return m_entries.value(annotationId).canvas;
}
NoteItem *AnnotationIndex::noteItem(int annotationId) const { return m_entries.value(annotationId).note; }

int AnnotationIndex::annotationOf(const QGraphicsItem *item) const
{
    // A mark's topmost mark ancestor is its annotation's canvas.
    const QGraphicsItem *canvas = nullptr;
    for (const QGraphicsItem *it = item; it; it = it->parentItem()) {
        if (dynamic_cast<const MarkerItem *>(it)) {
            canvas = it;
        }
    }
    if (!canvas) {
        return 0;
    }
    for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it) {
        if (it->canvas == canvas) {
            return it.key();
        }
    }
    return 0;
}

int AnnotationIndex::annotationAt(const QPointF &scenePos) const
{
    const QList<QGraphicsItem *> hits
        = m_scene->items(scenePos, Qt::IntersectsItemShape, Qt::DescendingOrder);
    for (const QGraphicsItem *item : hits) {
        if (dynamic_cast<const CompositeMarkerItem *>(item)) {
            if (const int id = annotationOf(item)) {
                return id;
            }
        }
    }
    return 0;
}

bool AnnotationIndex::isPopulated(int pageIndex) const { return m_pages.value(pageIndex).populated; }

int AnnotationIndex::shownCountOn(int pageIndex) const
{
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(),
        [pageIndex](const Entry &entry) { return entry.pageIndex == pageIndex; }));
}

NoteAreaLayout *AnnotationIndex::layoutOf(int pageIndex) const { return m_pages.value(pageIndex).layout; }

bool AnnotationIndex::ours(const Annotation &anno) const
{
    return anno.documentId() == m_scene->documentId() && anno.pageIndex() >= 0;
}

void AnnotationIndex::connectPages()
{
    for (int i = 0; i < m_scene->pageCount(); ++i) {
        Base::Page *page = m_scene->pageAt(i);
        connect(
            page, &Base::Page::requestPopulateChildren, this, [this, page] { populate(page); },
            Qt::UniqueConnection);
    }
}

void AnnotationIndex::clear()
{
    for (PageState &state : m_pages) {
        delete state.layout;
    }
    m_pages.clear();
    // The items are the pages' children and go with them.
    m_entries.clear();
}

void AnnotationIndex::populate(Base::Page *page)
{
    if (!page || !m_notes) {
        return;
    }
    const int index = m_scene->pages().indexOf(page);
    if (index < 0) {
        return;
    }
    PageState &state = m_pages[index];
    if (state.populated) {
        return;
    }
    state.populated = true;
    state.page = page;
    resetLayout(state);
    // The notes are read apart: a long one only as far as its preview shows it.
    const QVector<Annotation> annotations = m_notes->annotationsWithoutNotes(m_scene->documentId(), index);
    for (const Annotation &anno : annotations) {
        attach(anno, true);
    }
    relayout(index);
}

void AnnotationIndex::resetLayout(PageState &state)
{
    delete state.layout;
    Base::Page *page = state.page;
    state.layout = page->createNoteAreaLayout();
    const bool visible = page->noteAreaMode() != Base::Page::NoNoteArea;
    for (int id : qAsConst(state.ids)) {
        const Entry entry = m_entries.value(id);
        if (entry.note && entry.canvas) {
            entry.note->setVisible(visible);
            entry.note->setNoteMode(page->noteAreaMode());
            state.layout->addNote(entry.canvas, entry.note);
        }
    }
}

void AnnotationIndex::updateNoteAreas()
{
    for (auto it = m_pages.begin(); it != m_pages.end(); ++it) {
        if (it->populated && it->page) {
            resetLayout(*it);
            relayout(it.key());
        }
    }
}

void AnnotationIndex::relayout(int pageIndex)
{
    const PageState state = m_pages.value(pageIndex);
    if (state.layout) {
        state.layout->relayout();
    }
    if (state.page) {
        state.page->update();
    }
}

MarkerItem *AnnotationIndex::makeMark(
    int annotationId, const Marker &marker, Base::Page *page, QGraphicsItem *parent)
{
    MarkerItem *mark = MarkerItemFactory::create(marker, page->pageTransform(), parent);
    if (!mark) {
        return nullptr;
    }
    mark->setFlag(QGraphicsItem::ItemIsSelectable);
    QPointer<MarkerItem> guard(mark);
    connect(mark, &MarkerItem::shapeChanged, this, [this, annotationId, guard] {
        if (guard) {
            on_marker_shapeEdited(annotationId, guard);
        }
    });
    connect(mark, &MarkerItem::removeRequested, this, [this, annotationId, guard] {
        if (guard) {
            on_marker_removeRequested(annotationId, guard);
        }
    });
    connect(mark, &MarkerItem::toggleViewRequested, this,
        [this, annotationId] { emit m_scene->toggleView(annotationId); });
    return mark;
}

void AnnotationIndex::attach(const Annotation &anno, bool readNote)
{
    if (m_entries.contains(anno.id()) || !ours(anno)) {
        return;
    }
    auto pageIt = m_pages.find(anno.pageIndex());
    if (pageIt == m_pages.end() || !pageIt->populated || !pageIt->page) {
        return;
    }
    Base::Page *page = pageIt->page;
    const int id = anno.id();
    MarkerItem *canvas = MarkerItemFactory::create(anno.canvas(), page->pageTransform(), page);
    if (!canvas) {
        qWarning() << "AnnotationIndex: annotation without a shown canvas, id:" << id;
        return;
    }
    canvas->setFlag(QGraphicsItem::ItemIsSelectable);
    canvas->setPos(page->pageTransform().map(anno.position()));
    canvas->setPageRect(page->pageRect());
    if (auto *composite = dynamic_cast<CompositeMarkerItem *>(canvas)) {
        const QVector<Marker> markers = anno.markers();
        for (int i = 0; i < markers.size(); ++i) {
            if (MarkerItem *mark = makeMark(id, markers.at(i), page, composite)) {
                composite->insertChild(i, mark);
            }
        }
    }
    auto *note = new NoteItem(id, m_resources, page);
    note->setNoteMode(page->noteAreaMode());
    // Hidden first, so that a note of a hidden note area is not made into a document.
    note->setVisible(page->noteAreaMode() != Base::Page::NoNoteArea);
    const QFont font = Common::Infrastructure::Settings::instance()->note.font();
    if (readNote) {
        note->loadStored(m_notes, font);
    } else {
        note->load(anno.noteText(), font);
    }

    QPointer<MarkerItem> canvasGuard(canvas);
    QPointer<NoteItem> noteGuard(note);
    connect(canvas, &MarkerItem::removeRequested, this, [this, id] { removeAnnotation(id); });
    connect(note, &NoteItem::removeRequested, this, [this, id] { removeAnnotation(id); });
    connect(canvas, &MarkerItem::shapeChanged, this, [this, id] { on_annotation_shapeEdited(id); });
    connect(canvas, &MarkerItem::toggleViewRequested, this, [this, id] { emit m_scene->toggleView(id); });
    connect(note, &NoteItem::textChanged, this, [this, id] { on_note_contentChanged(id); });
    connect(canvas, &MarkerItem::selectedChanged, note, [canvasGuard, noteGuard](bool s) {
        if (!noteGuard) {
            return;
        }
        noteGuard->setSelected(s);
        if (s && noteGuard->isVisible() && noteGuard->textDocument()->toPlainText().isEmpty()) {
            noteGuard->setFocus(Qt::OtherFocusReason);
        }
    });
    connect(note, &NoteItem::selectedChanged, canvas, [canvasGuard](bool s) {
        if (canvasGuard) {
            canvasGuard->setSelected(s);
        }
    });
    connect(canvas, &MarkerItem::hoveredChanged, note, &NoteItem::setHovered);
    connect(note, &NoteItem::hoveredChanged, canvas, &MarkerItem::setHoveredIn);
    const int pageIndex = anno.pageIndex();
    connect(note, &NoteItem::heightChanged, this, [this, pageIndex, noteGuard] {
        relayout(pageIndex);
        if (noteGuard) {
            emit noteHeightChanged(noteGuard);
        }
    });
    connect(note, &NoteItem::editingStarted, this, [this, id, noteGuard] {
        m_touchedNotes.insert(id);
        if (noteGuard) {
            emit editingStarted(noteGuard, id);
        }
    });
    connect(note, &NoteItem::editingFinished, this, &AnnotationIndex::editingFinished);

    m_entries.insert(id, Entry { pageIndex, canvas, note });
    pageIt->ids.append(id);
    pageIt->layout->addNote(canvas, note);
}

void AnnotationIndex::detach(int annotationId)
{
    const Entry entry = m_entries.take(annotationId);
    auto pageIt = m_pages.find(entry.pageIndex);
    if (pageIt != m_pages.end()) {
        pageIt->ids.removeAll(annotationId);
        if (pageIt->layout) {
            pageIt->layout->removeNote(entry.canvas, entry.note);
        }
    }
    delete entry.note.data();
    delete entry.canvas.data();
    relayout(entry.pageIndex);
}

bool AnnotationIndex::pushCommand(QUndoCommand *command)
{
    auto *annotationCommand = static_cast<AnnotationCommand *>(command);
    if (!m_scene->undoStack()) {
        qWarning() << "AnnotationIndex: no undo stack, the change is made without one";
        const bool ok = annotationCommand->apply();
        delete annotationCommand;
        return ok;
    }
    return AnnotationCommand::push(m_scene->undoStack(), annotationCommand);
}

int AnnotationIndex::createAnnotation(
    int pageIndex, const QPointF &position, const Marker &canvas, const QVector<Marker> &markers)
{
    if (!m_notes || !m_scene->pageAt(pageIndex) || canvas.shape().isNull()) {
        return 0;
    }
    try {
        const Annotation root = m_notes->documentNote(m_scene->documentId());
        Nod::Application::NewAnnotation record;
        record.id = m_notes->nextId();
        record.documentId = m_scene->documentId();
        record.pageIndex = pageIndex;
        record.position = position;
        record.canvas = canvas;
        record.markers = markers;
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = root.id();
        record.index = root.children().size();
        if (record.id <= 0 || !pushCommand(new CreateAnnotationCommand(m_notes, record, m_resources))) {
            return 0;
        }
        m_scene->clearSelection();
        if (MarkerItem *item = canvasItem(record.id)) {
            item->setSelected(true);
        }
        return record.id;
    } catch (const std::exception &error) {
        qWarning() << "AnnotationIndex::createAnnotation failed:" << error.what();
    }
    return 0;
}

bool AnnotationIndex::appendMarker(int annotationId, const Marker &marker)
{
    const std::optional<Annotation> anno = m_notes ? m_notes->find(annotationId) : std::nullopt;
    if (!anno || marker.shape().isNull()) {
        return false;
    }
    const int index = anno->markers().size();
    if (!pushCommand(new InsertMarkerCommand(m_notes, annotationId, index, marker))) {
        return false;
    }
    m_scene->clearSelection();
    if (auto *composite = dynamic_cast<CompositeMarkerItem *>(canvasItem(annotationId))) {
        if (MarkerItem *child = composite->childAt(index)) {
            child->setSelected(true);
        }
    }
    return true;
}

bool AnnotationIndex::removeAnnotation(int annotationId)
{
    if (!m_notes) {
        return false;
    }
    try {
        // Asked for from the event loop: the annotation may have gone meanwhile.
        MacroCommand *macro = makeRemoveNodeCommand(m_notes, annotationId, m_resources);
        return macro && pushCommand(macro);
    } catch (const std::exception &error) {
        qWarning() << "AnnotationIndex::removeAnnotation failed:" << error.what();
    }
    return false;
}

bool AnnotationIndex::moveNode(
    int sourceParentId, int sourceIndex, int destinationParentId, int destinationIndex)
{
    if (!m_notes) {
        return false;
    }
    return pushCommand(
        new MoveNodeCommand(m_notes, { sourceParentId, sourceIndex, destinationParentId, destinationIndex }));
}

void AnnotationIndex::commitEditing()
{
    const QList<int> ids = m_entries.keys();
    for (int id : ids) {
        const Entry entry = m_entries.value(id);
        if (entry.note) {
            entry.note->commitEditing();
        }
    }
}

int AnnotationIndex::removeUnusedImages()
{
    int removed = 0;
    if (!m_notes || !m_resources) {
        return 0;
    }
    for (int id : qAsConst(m_touchedNotes)) {
        try {
            if (const std::optional<Annotation> anno = m_notes->find(id)) {
                removed += TextDocument::removeUnusedImages(m_resources, id, anno->noteText());
            }
        } catch (const std::exception &error) {
            qWarning() << "AnnotationIndex::removeUnusedImages failed for" << id << ":" << error.what();
        }
    }
    m_touchedNotes.clear();
    return removed;
}

void AnnotationIndex::on_annotation_shapeEdited(int annotationId)
{
    if (m_applying) {
        return;
    }
    const Entry entry = m_entries.value(annotationId);
    const std::optional<Annotation> anno = m_notes->find(annotationId);
    Base::Page *page = m_scene->pageAt(entry.pageIndex);
    if (!anno || !entry.canvas || !page) {
        return;
    }
    const Marker edited = MarkerFactory::create(entry.canvas, page->pageTransform().inverted());
    if (!anno->canvas().shape().isNull() && !edited.shape().isNull() && !(anno->canvas() == edited)) {
        pushCommand(new ChangeCanvasCommand(m_notes, annotationId, edited, anno->canvas()));
    }
}

void AnnotationIndex::on_marker_shapeEdited(int annotationId, MarkerItem *mark)
{
    if (m_applying) {
        return;
    }
    auto *composite = dynamic_cast<CompositeMarkerItem *>(mark->parentItem());
    const int index = composite ? composite->indexOf(mark) : -1;
    const std::optional<Annotation> anno = m_notes->find(annotationId);
    Base::Page *page = m_scene->pageAt(m_entries.value(annotationId).pageIndex);
    if (index < 0 || !anno || !page || index >= anno->markers().size()) {
        return;
    }
    const Marker edited = MarkerFactory::create(mark, page->pageTransform().inverted());
    const Marker stored = anno->markers().at(index);
    if (!edited.shape().isNull() && !(stored == edited)) {
        pushCommand(new ReplaceMarkerCommand(m_notes, annotationId, index, edited, stored));
    }
}

void AnnotationIndex::on_marker_removeRequested(int annotationId, MarkerItem *mark)
{
    auto *composite = dynamic_cast<CompositeMarkerItem *>(mark->parentItem());
    if (!composite) {
        return;
    }
    if (dynamic_cast<CanvasMarkerItem *>(composite) && composite->childCount() == 1) {
        removeAnnotation(annotationId);
        return;
    }
    const int index = composite->indexOf(mark);
    const std::optional<Annotation> anno = m_notes->find(annotationId);
    if (index < 0 || !anno || index >= anno->markers().size()) {
        return;
    }
    pushCommand(new RemoveMarkerCommand(m_notes, annotationId, index, anno->markers().at(index)));
}

void AnnotationIndex::on_note_contentChanged(int annotationId)
{
    const Entry entry = m_entries.value(annotationId);
    const std::optional<Annotation> anno = m_notes->find(annotationId);
    if (!entry.note || !anno) {
        return;
    }
    m_touchedNotes.insert(annotationId);
    const QString html = entry.note->html();
    if (html != anno->noteText()) {
        pushCommand(new ChangeNoteCommand(
            m_notes, annotationId, html, anno->noteText(), entry.note->editingSession()));
    }
}

void AnnotationIndex::on_service_added(const Annotation &anno)
{
    const QScopedValueRollback<bool> applying(m_applying, true);
    if (!ours(anno)) {
        return;
    }
    attach(anno);
    relayout(anno.pageIndex());
    emit m_scene->contentChanged();
}

void AnnotationIndex::on_service_removed(const Annotation &anno)
{
    if (anno.documentId() != m_scene->documentId()) {
        return;
    }
    if (m_entries.contains(anno.id())) {
        detach(anno.id());
    }
    emit m_scene->contentChanged();
}

void AnnotationIndex::on_service_canvasChanged(const Annotation &anno)
{
    const QScopedValueRollback<bool> applying(m_applying, true);
    const Entry entry = m_entries.value(anno.id());
    Base::Page *page = m_scene->pageAt(entry.pageIndex);
    if (!ours(anno) || !entry.canvas || !page) {
        return;
    }
    MarkerItemFactory::apply(entry.canvas, anno.canvas(), page->pageTransform());
    relayout(entry.pageIndex);
    emit m_scene->contentChanged();
}

void AnnotationIndex::on_service_markerInserted(const Annotation &anno, int index)
{
    const QScopedValueRollback<bool> applying(m_applying, true);
    const Entry entry = m_entries.value(anno.id());
    auto *composite = dynamic_cast<CompositeMarkerItem *>(entry.canvas.data());
    Base::Page *page = m_scene->pageAt(entry.pageIndex);
    if (!ours(anno) || !composite || !page || index < 0 || index >= anno.markers().size()) {
        return;
    }
    if (MarkerItem *mark = makeMark(anno.id(), anno.markers().at(index), page, composite)) {
        composite->insertChild(index, mark);
    }
    // A mark changes what the annotation covers, and so the place and size of its note or row.
    relayout(entry.pageIndex);
    emit m_scene->contentChanged();
}

void AnnotationIndex::on_service_markerRemoved(const Annotation &anno, int index)
{
    const Entry entry = m_entries.value(anno.id());
    auto *composite = dynamic_cast<CompositeMarkerItem *>(entry.canvas.data());
    if (!ours(anno) || !composite) {
        return;
    }
    delete composite->childAt(index);
    relayout(entry.pageIndex);
    emit m_scene->contentChanged();
}

void AnnotationIndex::on_service_markerReplaced(const Annotation &anno, int index)
{
    const QScopedValueRollback<bool> applying(m_applying, true);
    const Entry entry = m_entries.value(anno.id());
    auto *composite = dynamic_cast<CompositeMarkerItem *>(entry.canvas.data());
    Base::Page *page = m_scene->pageAt(entry.pageIndex);
    if (!ours(anno) || !composite || !page || index < 0 || index >= anno.markers().size()) {
        return;
    }
    if (MarkerItem *child = composite->childAt(index)) {
        MarkerItemFactory::apply(child, anno.markers().at(index), page->pageTransform());
    }
    relayout(entry.pageIndex);
    emit m_scene->contentChanged();
}

void AnnotationIndex::on_service_noteChanged(const Annotation &anno)
{
    const Entry entry = m_entries.value(anno.id());
    if (!ours(anno)) {
        return;
    }
    m_touchedNotes.insert(anno.id());
    // A preview is never the stored text, which is read whole only when it is opened.
    if (entry.note && (entry.note->isPreview() || entry.note->html() != anno.noteText())) {
        entry.note->load(anno.noteText(), Common::Infrastructure::Settings::instance()->note.font());
        QTextCursor cursor = entry.note->textCursor();
        cursor.movePosition(QTextCursor::End);
        entry.note->setTextCursor(cursor);
        relayout(entry.pageIndex);
    }
    emit m_scene->contentChanged();
}

bool AnnotationIndex::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scene
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        auto *note = dynamic_cast<NoteItem *>(m_scene->focusItem());
        auto *key = static_cast<QKeyEvent *>(event);
        QUndoStack *stack = m_scene->undoStack();
        if (note && stack) {
            const bool undo = key->matches(QKeySequence::Undo);
            const bool redo = key->matches(QKeySequence::Redo)
                || (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier);
            // The note's own steps come first; past them, the keys step the tab's annotations.
            if ((undo && !note->textDocument()->isUndoAvailable())
                || (redo && !note->textDocument()->isRedoAvailable())) {
                event->accept();
                if (event->type() == QEvent::KeyPress) {
                    commitEditing();
                    undo ? stack->undo() : stack->redo();
                }
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
