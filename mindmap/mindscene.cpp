#include "mindscene.h"

#include "annonodeitem.h"
#include "mindnodeitem.h"
#include "rootmindnodeitem.h"

#include <annotating/compositemarkeritem.h>
#include <annotating/markeritem.h>
#include <annotating/markeritemfactory.h>
#include <annotating/noteitem.h>
#include <annotating/undocommands.h>
#include <app/storage/settings.h>
#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <backend/document.h>
#include <backend/page.h>
#include <backend/pdfpageevents.h>
#include <editor/textdocument.h>
#include <reading/backgroundmodeholder.h>

#include <QApplication>
#include <QDebug>
#include <QGraphicsRectItem>
#include <QKeyEvent>
#include <QTextCursor>
#include <QUndoStack>
#include <QWidget>

#include <algorithm>

namespace Nod::Presentation {

using Domain::Annotation;
using Domain::Marker;

namespace {

// An excerpt this many times sharper or blurrier than the view needs is rendered again.
constexpr double rerenderFactor = 1.5;
// The longest side of an excerpt, in pixels: a very high zoom does not render a poster.
constexpr double largestExcerpt = 2048;

QFont noteFont()
{
    auto *settings = Common::Infrastructure::Settings::instance();
    return settings ? settings->note.font() : QApplication::font();
}

} // namespace

// Waits for one page render and hands the image to the nodes that asked for it. Deleting it drops
// the answer (the back-end sends nothing to a deleted listener).
class MindScene::ExcerptRequest final : public QObject
{
public:
    ExcerptRequest(MindScene *scene, const QString &key)
        : QObject(scene)
        , m_scene(scene)
        , m_key(key)
    { }

    QVector<int> ids;

    bool event(QEvent *event) override
    {
        if (event->type() != Backend::PDFPageRenderedEvent::eventType()) {
            return QObject::event(event);
        }
        const QImage image = static_cast<Backend::PDFPageRenderedEvent *>(event)->image();
        m_scene->m_pendingExcerpts.remove(m_key);
        m_scene->deliverExcerpt(ids, image);
        deleteLater();
        return true;
    }

private:
    MindScene *m_scene;
    QString m_key;
};

MindScene::MindScene(MindModel *model, const QSharedPointer<Backend::Document> &document, double resolutionX,
    double resolutionY, QObject *parent)
    : Base::Scene(parent)
    , m_model(model)
    , m_document(document)
    , m_indicator(new QGraphicsRectItem)
{
    setResolution(resolutionX, resolutionY);
    setDocumentId(model->documentId());
    setUndoStack(model->undoStack());
    m_indicator->hide();
    m_indicator->setZValue(1000);
    addItem(m_indicator);

    connect(model, &MindModel::reset, this, &MindScene::reinitializeScene);
    // Excerpts take the background mode, like the summary's; marks switch their composition with it.
    connect(BackgroundModeHolder::instance(), &BackgroundModeHolder::modeChanged, this, [this] {
        qDeleteAll(m_pendingExcerpts);
        m_pendingExcerpts.clear();
        for (AnnoNodeItem *node : qAsConst(m_nodes)) {
            node->clearExcerpt();
        }
        m_withExcerpt.clear();
        update();
    });
    connect(model, &MindModel::inserted, this, &MindScene::on_model_inserted);
    connect(model, &MindModel::removed, this, &MindScene::on_model_removed);
    connect(model, &MindModel::moved, this, &MindScene::on_model_moved);
    using Application::NoteService;
    NoteService *notes = model->service();
    connect(notes, &NoteService::added, this, [](const Annotation &anno) {
        qDebug() << "Nod::Presentation::MindScene::on_service_added" << anno.id();
    });
    connect(notes, &NoteService::canvasChanged, this, &MindScene::on_service_canvasChanged);
    connect(notes, &NoteService::markerInserted, this, &MindScene::on_service_markerInserted);
    connect(notes, &NoteService::markerRemoved, this, &MindScene::on_service_markerRemoved);
    connect(notes, &NoteService::markerReplaced, this, &MindScene::on_service_markerReplaced);
    connect(notes, &NoteService::noteChanged, this, &MindScene::on_service_noteChanged);
    if (auto *registry = Application::ServiceRegistry::instance()) {
        connect(registry->documentService(), &Application::DocumentService::titleChanged, this,
            &MindScene::on_documents_titleChanged);
    }
    if (model->rootId() > 0) {
        reinitializeScene();
    }
}

MindScene::~MindScene()
{
    // The nodes reach for their parents while they go; take them down before the scene's own clear.
    delete m_root;
}

QString MindScene::mimeType() { return QStringLiteral("application/x-node"); }

MindNodeItem *MindScene::nodeItem(int annotationId) const
{
    if (m_root && annotationId == m_model->rootId()) {
        return m_root;
    }
    return m_nodes.value(annotationId);
}

AnnoNodeItem *MindScene::annoNode(int annotationId) const { return m_nodes.value(annotationId); }

int MindScene::idOf(const MindNodeItem *node) const
{
    if (!node) {
        return 0;
    }
    if (node == m_root) {
        return m_model->rootId();
    }
    if (const auto *anno = qobject_cast<const AnnoNodeItem *>(node)) {
        return anno->annotationId();
    }
    return 0;
}

QTransform MindScene::pageTransform() const { return QTransform::fromScale(m_dpiX / 72.0, m_dpiY / 72.0); }

QWeakPointer<Backend::Page> MindScene::pageOf(int annotationId, QTransform *pointsToNode) const
{
    const auto it = m_placements.constFind(annotationId);
    if (it == m_placements.constEnd() || !m_document || !m_nodes.contains(annotationId)) {
        return {};
    }
    if (pointsToNode) {
        *pointsToNode = pageTransform() * QTransform::fromTranslate(-it->offset.x(), -it->offset.y());
    }
    return m_document->pageAt(it->pageIndex);
}

QString MindScene::documentTitle() const
{
    auto *registry = Application::ServiceRegistry::instance();
    if (registry) {
        try {
            const QString title = registry->documentService()->document(m_model->documentId()).title();
            if (!title.isEmpty()) {
                return title;
            }
        } catch (const std::exception &e) {
            qWarning() << "Nod::Presentation::MindScene: no document" << m_model->documentId() << e.what();
        }
    }
    return tr("Mindmap");
}

void MindScene::reinitializeScene()
{
    emit aboutToBeRebuilt();
    endNodeDrag();
    qDeleteAll(m_pendingExcerpts);
    m_pendingExcerpts.clear();
    delete m_root;
    m_root = nullptr;
    m_nodes.clear();
    m_placements.clear();
    m_withExcerpt.clear();
    if (m_model->rootId() <= 0) {
        emit rebuilt();
        return;
    }
    m_root = new RootMindNodeItem(documentTitle());
    addItem(m_root);
    connectNode(m_root);
    // One layout pass for the whole tree, however many nodes it has.
    m_root->setLayoutSuspended(true);
    QVector<int> pending { m_model->rootId() };
    while (!pending.isEmpty()) {
        const int id = pending.takeLast();
        MindNodeItem *parent = nodeItem(id);
        const QVector<int> children = m_model->children(id);
        for (int child : children) {
            if (isShown(child)) {
                continue;
            }
            try {
                AnnoNodeItem *node = makeNode(m_model->annotation(child));
                parent->insertChild(parent->childCount(), node);
                pending.append(child);
            } catch (const std::exception &e) {
                qWarning() << "Nod::Presentation::MindScene: node not shown" << child << e.what();
            }
        }
    }
    m_root->setLayoutSuspended(false);
    emit rebuilt();
    emit contentChanged();
}

MarkerItem *MindScene::makeMark(const Marker &marker, QGraphicsItem *parent) const
{
    return MarkerItemFactory::create(marker, pageTransform(), parent);
}

AnnoNodeItem *MindScene::makeNode(const Annotation &anno)
{
    const int id = anno.id();
    MarkerItem *canvas = makeMark(anno.canvas(), nullptr);
    if (!canvas) {
        // The node keeps its place in the tree even when its mark cannot be shown.
        canvas = makeMark(Marker(QRectF(0, 0, 40, 16)), nullptr);
    }
    if (auto *composite = dynamic_cast<CompositeMarkerItem *>(canvas)) {
        const QVector<Marker> markers = anno.markers();
        for (int i = 0; i < markers.size(); ++i) {
            if (MarkerItem *mark = makeMark(markers.at(i), composite)) {
                composite->insertChild(i, mark);
                connectMark(id, mark);
            }
        }
    }
    auto *note = new NoteItem(id);
    note->loadStored(m_model->service(), noteFont());
    auto *node = new AnnoNodeItem(id, canvas, note);
    node->setLowDetail(m_lowDetail);
    m_nodes.insert(id, node);
    m_placements.insert(id, Placement { anno.pageIndex(), pageTransform().map(anno.position()) });

    connect(canvas, &MarkerItem::removeRequested, this, [this, id] { requestRemoval(id); });
    connect(canvas, &MarkerItem::toggleViewRequested, this, [this, id] { emit toggleView(id); });
    connect(node, &AnnoNodeItem::toggleViewRequested, this, [this, id] { emit toggleView(id); });
    connect(node, &AnnoNodeItem::excerptNeeded, this, &MindScene::requestExcerpt, Qt::QueuedConnection);
    connect(note, &NoteItem::removeRequested, this, [this, id] { requestRemoval(id); });
    connect(note, &NoteItem::textChanged, this, [this, id] { on_note_contentChanged(id); });
    connect(note, &NoteItem::editingStarted, this, [this, id, note] { emit editingStarted(note, id); });
    connect(note, &NoteItem::editingFinished, this, &MindScene::editingFinished);
    connect(note, &NoteItem::heightChanged, this, [this, note] { emit noteHeightChanged(note); });
    connectNode(node);
    return node;
}

void MindScene::connectNode(MindNodeItem *node)
{
    QPointer<MindNodeItem> guard(node);
    connect(node, &MindNodeItem::dragRequested, this, [this, guard](QPointF pointer, QWidget *source) {
        if (guard) {
            startNodeDrag(guard, pointer, source);
        }
    });
}

bool MindScene::isShown(int id) const
{
    // The model's records form a tree; this keeps the walks finite should they ever not.
    if (m_nodes.contains(id) || id == m_model->rootId()) {
        qWarning() << "Nod::Presentation::MindScene: node shown once only" << id;
        return true;
    }
    return false;
}

MindNodeItem *MindScene::buildSubtree(int id)
{
    AnnoNodeItem *top = makeNode(m_model->annotation(id));
    QVector<int> pending { id };
    while (!pending.isEmpty()) {
        const int parentId = pending.takeLast();
        MindNodeItem *parent = nodeItem(parentId);
        for (int child : m_model->children(parentId)) {
            if (isShown(child)) {
                continue;
            }
            parent->insertChild(parent->childCount(), makeNode(m_model->annotation(child)));
            pending.append(child);
        }
    }
    return top;
}

void MindScene::forgetSubtree(MindNodeItem *node)
{
    QVector<MindNodeItem *> pending { node };
    while (!pending.isEmpty()) {
        MindNodeItem *next = pending.takeLast();
        const int id = idOf(next);
        m_nodes.remove(id);
        m_placements.remove(id);
        m_withExcerpt.remove(id);
        pending += next->childNodes();
    }
}

void MindScene::on_model_inserted(MindModel::Range range)
{
    MindNodeItem *parent = nodeItem(range.parentId);
    const QVector<int> children = m_model->children(range.parentId);
    if (!parent || range.first < 0 || range.last >= children.size()) {
        return;
    }
    for (int i = range.first; i <= range.last; ++i) {
        try {
            parent->insertChild(i, buildSubtree(children.at(i)));
        } catch (const std::exception &e) {
            qWarning() << "Nod::Presentation::MindScene: node not shown" << children.at(i) << e.what();
        }
    }
    emit contentChanged();
}

void MindScene::on_model_removed(MindModel::Range range)
{
    MindNodeItem *parent = nodeItem(range.parentId);
    if (!parent) {
        return;
    }
    for (int i = std::min(range.last, parent->childCount() - 1); i >= range.first; --i) {
        MindNodeItem *node = parent->takeChild(i);
        if (node == m_dragged) {
            endNodeDrag();
        }
        forgetSubtree(node);
        delete node;
    }
    emit contentChanged();
}

void MindScene::on_model_moved(MindModel::Range range, int destParentId, int to)
{
    MindNodeItem *source = nodeItem(range.parentId);
    MindNodeItem *destination = nodeItem(destParentId);
    if (!source || !destination) {
        return;
    }
    MindNodeItem *node = source->takeChild(range.first);
    if (!node) {
        return;
    }
    // A dragged node shows its children again before it settles in its new place.
    if (node == m_dragged) {
        node->setDragged(false);
    }
    destination->insertChild(to, node);
    emit contentChanged();
}

void MindScene::on_service_canvasChanged(const Annotation &anno)
{
    AnnoNodeItem *node = annoNode(anno.id());
    if (!node) {
        return;
    }
    MarkerItemFactory::apply(node->canvasItem(), anno.canvas(), pageTransform());
    m_placements[anno.id()].offset = pageTransform().map(anno.position());
    node->refresh();
    node->clearExcerpt();
    m_withExcerpt.remove(anno.id());
    node->update();
}

void MindScene::on_service_markerInserted(const Annotation &anno, int index)
{
    AnnoNodeItem *node = annoNode(anno.id());
    auto *composite = node ? dynamic_cast<CompositeMarkerItem *>(node->canvasItem()) : nullptr;
    if (!composite || index < 0 || index >= anno.markers().size()) {
        return;
    }
    if (MarkerItem *mark = makeMark(anno.markers().at(index), composite)) {
        composite->insertChild(index, mark);
        connectMark(anno.id(), mark);
    }
    node->refresh();
}

void MindScene::on_service_markerRemoved(const Annotation &anno, int index)
{
    AnnoNodeItem *node = annoNode(anno.id());
    auto *composite = node ? dynamic_cast<CompositeMarkerItem *>(node->canvasItem()) : nullptr;
    if (composite) {
        delete composite->childAt(index);
        node->refresh();
    }
}

void MindScene::on_service_markerReplaced(const Annotation &anno, int index)
{
    AnnoNodeItem *node = annoNode(anno.id());
    auto *composite = node ? dynamic_cast<CompositeMarkerItem *>(node->canvasItem()) : nullptr;
    if (!composite || index < 0 || index >= anno.markers().size()) {
        return;
    }
    if (MarkerItem *child = composite->childAt(index)) {
        MarkerItemFactory::apply(child, anno.markers().at(index), pageTransform());
    }
    node->refresh();
}

void MindScene::on_service_noteChanged(const Annotation &anno)
{
    AnnoNodeItem *node = annoNode(anno.id());
    // A preview is never the stored text, which is read whole only when it is opened.
    if (!node || (!node->noteItem()->isPreview() && node->noteItem()->html() == anno.noteText())) {
        return;
    }
    NoteItem *note = node->noteItem();
    note->load(anno.noteText(), noteFont());
    QTextCursor cursor = note->textCursor();
    cursor.movePosition(QTextCursor::End);
    note->setTextCursor(cursor);
    // Loading tells nobody the note's new size; the node takes it and the map makes room.
    node->refresh();
}

void MindScene::on_note_contentChanged(int annotationId)
{
    AnnoNodeItem *node = annoNode(annotationId);
    const std::optional<Annotation> anno = m_model->service()->find(annotationId);
    if (!node || !anno) {
        return;
    }
    const QString html = node->noteItem()->html();
    if (html == anno->noteText()) {
        return;
    }
    pushCommand(new ChangeNoteCommand(
        m_model->service(), annotationId, html, anno->noteText(), node->noteItem()->editingSession()));
}

void MindScene::on_documents_titleChanged(const Domain::Document &doc)
{
    if (m_root && doc.id() == m_model->documentId()) {
        m_root->setTitle(doc.title().isEmpty() ? tr("Mindmap") : doc.title());
    }
}

bool MindScene::print(QPrinter *, QWidget *) { return false; }

bool MindScene::event(QEvent *event)
{
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) && m_undoStack) {
        auto *note = dynamic_cast<NoteItem *>(focusItem());
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        const bool redo = key->matches(QKeySequence::Redo)
            || (key->key() == Qt::Key_Y && key->modifiers() == Qt::ControlModifier);
        if (note
            && ((undo && !note->textDocument()->isUndoAvailable())
                || (redo && !note->textDocument()->isRedoAvailable()))) {
            event->accept();
            if (event->type() == QEvent::KeyPress) {
                note->commitEditing();
                undo ? m_undoStack->undo() : m_undoStack->redo();
            }
            return true;
        }
    }
    return Base::Scene::event(event);
}

// Page excerpts

void MindScene::setDetailScale(double scale)
{
    if (!(scale > 0)) {
        return;
    }
    m_detailScale = scale;
    const bool low = scale < AnnoNodeItem::readableScale;
    if (low != m_lowDetail) {
        m_lowDetail = low;
        for (AnnoNodeItem *node : qAsConst(m_nodes)) {
            node->setLowDetail(low);
        }
    }
    const double ratio = scale / m_excerptScale;
    if (ratio > rerenderFactor || ratio < 1 / rerenderFactor) {
        m_excerptScale = scale;
        for (int id : qAsConst(m_withExcerpt)) {
            if (AnnoNodeItem *node = m_nodes.value(id)) {
                node->invalidateExcerpt();
            }
        }
    }
}

void MindScene::keepExcerpts(const QVector<AnnoNodeItem *> &visible)
{
    if (m_withExcerpt.size() <= excerptBudget) {
        return;
    }
    QSet<int> shown;
    for (AnnoNodeItem *node : visible) {
        shown.insert(node->annotationId());
    }
    const QSet<int> held = m_withExcerpt;
    for (int id : held) {
        if (!shown.contains(id)) {
            if (AnnoNodeItem *node = m_nodes.value(id)) {
                node->clearExcerpt();
            }
            m_withExcerpt.remove(id);
        }
    }
}

void MindScene::requestExcerpt(int annotationId)
{
    AnnoNodeItem *node = m_nodes.value(annotationId);
    const Placement placement = m_placements.value(annotationId);
    if (!node) {
        return;
    }
    const QSharedPointer<Backend::Page> page = m_document
        ? m_document->pageAt(placement.pageIndex).toStrongRef()
        : QSharedPointer<Backend::Page>();
    if (!page) {
        node->setExcerpt(QImage());
        return;
    }
    const QSizeF points = page->pageSize();
    const QRectF pageArea(0, 0, points.width() * m_dpiX / 72.0, points.height() * m_dpiY / 72.0);
    const QRectF area = node->canvasRect().translated(placement.offset) & pageArea;
    if (area.isEmpty()) {
        node->setExcerpt(QImage());
        return;
    }
    double scale = m_excerptScale;
    const double longest = std::max(area.width(), area.height()) * scale;
    if (longest > largestExcerpt) {
        scale *= largestExcerpt / longest;
    }
    const QRect box = QRectF(area.topLeft() * scale, area.size() * scale).toAlignedRect();
    const double xres = m_dpiX * scale;
    const double yres = m_dpiY * scale;
    const QString key = QStringLiteral("%1:%2,%3,%4,%5@%6")
                            .arg(placement.pageIndex)
                            .arg(box.x())
                            .arg(box.y())
                            .arg(box.width())
                            .arg(box.height())
                            .arg(xres);
    QPointer<ExcerptRequest> &request = m_pendingExcerpts[key];
    if (request) {
        request->ids.append(annotationId);
        return;
    }
    request = new ExcerptRequest(this, key);
    request->ids.append(annotationId);
    // Rendered on the document's processing thread, newest request first.
    RenderParam colors;
    BackgroundModeHolder::instance()->applyTo(colors);
    page->requestRender(request, xres, yres, box, false, colors);
}

void MindScene::deliverExcerpt(const QVector<int> &ids, const QImage &image)
{
    for (int id : ids) {
        if (AnnoNodeItem *node = m_nodes.value(id)) {
            node->setExcerpt(image);
            if (!image.isNull()) {
                m_withExcerpt.insert(id);
            }
        }
    }
}

} // namespace Nod::Presentation
