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

#include <QApplication>
#include <QDataStream>
#include <QDebug>
#include <QDrag>
#include <QGraphicsRectItem>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QUndoStack>

#include <algorithm>

namespace Nod::Presentation {

using Domain::Annotation;
using Domain::Marker;

namespace {

// An excerpt this many times sharper or blurrier than the view needs is rendered again.
constexpr double rerenderFactor = 1.5;
// The longest side of an excerpt, in pixels: a very high zoom does not render a poster.
constexpr double largestExcerpt = 2048;

bool isWithin(const MindNodeItem *node, const MindNodeItem *ancestor)
{
    for (const MindNodeItem *n = node; n; n = n->parentNode()) {
        if (n == ancestor) {
            return true;
        }
    }
    return false;
}

QRectF sceneRectOf(const QGraphicsItem *item) { return item->mapRectToScene(item->boundingRect()); }

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
            }
        }
    }
    auto *note = new NoteItem(id);
    note->load(anno.noteText(), noteFont());
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

MindNodeItem *MindScene::buildSubtree(int id)
{
    AnnoNodeItem *top = makeNode(m_model->annotation(id));
    QVector<int> pending { id };
    while (!pending.isEmpty()) {
        const int parentId = pending.takeLast();
        MindNodeItem *parent = nodeItem(parentId);
        for (int child : m_model->children(parentId)) {
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
    }
}

void MindScene::on_service_markerRemoved(const Annotation &anno, int index)
{
    AnnoNodeItem *node = annoNode(anno.id());
    auto *composite = node ? dynamic_cast<CompositeMarkerItem *>(node->canvasItem()) : nullptr;
    if (composite) {
        delete composite->childAt(index);
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
}

void MindScene::on_service_noteChanged(const Annotation &anno)
{
    AnnoNodeItem *node = annoNode(anno.id());
    if (!node || node->noteItem()->html() == anno.noteText()) {
        return;
    }
    NoteItem *note = node->noteItem();
    note->load(anno.noteText(), noteFont());
    QTextCursor cursor = note->textCursor();
    cursor.movePosition(QTextCursor::End);
    note->setTextCursor(cursor);
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
    auto *command = new ChangeNoteCommand(m_model->service(), annotationId, html, anno->noteText());
    if (m_undoStack) {
        AnnotationCommand::push(m_undoStack, command);
    } else {
        command->apply();
        delete command;
    }
}

void MindScene::on_documents_titleChanged(const Domain::Document &doc)
{
    if (m_root && doc.id() == m_model->documentId()) {
        m_root->setTitle(doc.title().isEmpty() ? tr("Mindmap") : doc.title());
    }
}

// Removal

QString MindScene::removalQuestion(int annotationId) const
{
    const int below = m_model->descendants(annotationId).size();
    if (below == 0) {
        return tr("Remove this note?");
    }
    if (below == 1) {
        return tr("Remove this note and the note below it?");
    }
    return tr("Remove this note and the %1 notes below it?").arg(below);
}

void MindScene::setRemovalConfirmation(Confirmation confirmation) { m_confirm = std::move(confirmation); }

bool MindScene::removeNode(int annotationId)
{
    const int parentId = m_model->parentOf(annotationId);
    const int index = m_model->children(parentId).indexOf(annotationId);
    if (annotationId == m_model->rootId() || !m_model->contains(annotationId) || index < 0) {
        return false;
    }
    return m_model->remove(MindModel::Range { parentId, index, index });
}

bool MindScene::requestRemoval(int annotationId)
{
    if (!m_model->contains(annotationId) || annotationId == m_model->rootId()) {
        return false;
    }
    const QString question = removalQuestion(annotationId);
    bool yes = false;
    if (m_confirm) {
        yes = m_confirm(question);
    } else {
        QWidget *parent = views().isEmpty() ? nullptr : views().constFirst();
        yes = QMessageBox::question(
                  parent, tr("Remove"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
        // Without a window manager nothing hands the keyboard back to the map when the box
        // closes, and the undo keys would go nowhere.
        if (parent) {
            parent->activateWindow();
            parent->setFocus(Qt::OtherFocusReason);
        }
    }
    return yes && removeNode(annotationId);
}

// Dragging

QMimeData *MindScene::beginNodeDrag(MindNodeItem *node, const QPointF &pointerScenePos)
{
    if (!node || node->scene() != this || !node->isDraggable() || idOf(node) <= 0) {
        return nullptr;
    }
    endNodeDrag();
    m_dragged = node;
    do {
        m_dragToken = QRandomGenerator::global()->generate64();
    } while (m_dragToken == 0);
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << node->scenePos() << pointerScenePos << m_dragToken;
    auto *mime = new QMimeData;
    mime->setData(mimeType(), bytes);
    node->setDragged(true);
    return mime;
}

void MindScene::endNodeDrag()
{
    m_indicator->hide();
    MindNodeItem *node = m_dragged;
    m_dragged = nullptr;
    m_dragToken = 0;
    if (node) {
        node->setDragged(false);
        if (MindNodeItem *parent = node->parentNode()) {
            // Wherever the drag left it, the node returns to its place in the column.
            parent->requestLayout();
        }
    }
}

void MindScene::startNodeDrag(MindNodeItem *node, const QPointF &pointerScenePos, QWidget *source)
{
    QMimeData *mime = beginNodeDrag(node, pointerScenePos);
    if (!mime) {
        return;
    }
    auto *drag = new QDrag(source ? static_cast<QObject *>(source) : this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
    endNodeDrag();
    if (QGraphicsItem *grabber = mouseGrabberItem()) {
        grabber->ungrabMouse();
    }
}

bool MindScene::carriesContent(const QMimeData *mime)
{
    return mime && (mime->hasHtml() || mime->hasText() || mime->hasImage() || mime->hasUrls());
}

MindNodeItem *MindScene::ownDrag(const QMimeData *mime, QPointF *grabOffset) const
{
    if (!m_dragged || m_dragToken == 0 || !mime || !mime->hasFormat(mimeType())) {
        return nullptr;
    }
    QDataStream in(mime->data(mimeType()));
    QPointF nodePos;
    QPointF pointerPos;
    quint64 token = 0;
    in >> nodePos >> pointerPos >> token;
    if (in.status() != QDataStream::Ok || token != m_dragToken) {
        return nullptr;
    }
    if (grabOffset) {
        *grabOffset = nodePos - pointerPos;
    }
    return m_dragged;
}

MindNodeItem *MindScene::findTarget(MindNodeItem *node) const
{
    const QRectF rect = sceneRectOf(node);
    const QRectF band(rect.left(), rect.center().y() - 1, rect.width(), 2);
    const QList<QGraphicsItem *> found = items(band, Qt::IntersectsItemBoundingRect, Qt::DescendingOrder);
    for (QGraphicsItem *item : found) {
        if (item->type() != MindNodeItem::Type || !item->isVisible()) {
            continue;
        }
        auto *candidate = static_cast<MindNodeItem *>(item);
        // Never into itself or below itself: the service would refuse it anyway.
        if (isWithin(candidate, node)) {
            continue;
        }
        if (sceneRectOf(candidate).intersects(band)) {
            return candidate;
        }
    }
    return nullptr;
}

int MindScene::findMovePosition(MindNodeItem *node) const
{
    qDebug() << "Nod::Presentation::MindScene::findMovePosition";
    MindNodeItem *parent = node->parentNode();
    if (!parent) {
        return -1;
    }
    const qreal y = node->mapToParent(node->boundingRect().center()).y();
    const int current = parent->indexOf(node);
    auto centreOf = [parent](int i) {
        const MindNodeItem *sibling = parent->childAt(i);
        return sibling->mapToParent(sibling->boundingRect().center()).y();
    };
    for (int i = 0; i < current; ++i) {
        if (centreOf(i) > y) {
            return i;
        }
    }
    for (int i = parent->childCount() - 1; i > current; --i) {
        if (centreOf(i) < y) {
            return i;
        }
    }
    return -1;
}

void MindScene::showIndicatorFor(MindNodeItem *node)
{
    m_indicator->hide();
    const QPalette colours = palette();
    if (MindNodeItem *target = findTarget(node)) {
        m_indicator->setRect(sceneRectOf(target).adjusted(-2, -2, 2, 2));
        m_indicator->setBrush(Qt::NoBrush);
        m_indicator->setPen(QPen(colours.color(QPalette::Highlight), 4));
        m_indicator->show();
        return;
    }
    MindNodeItem *parent = node->parentNode();
    const int position = parent ? findMovePosition(node) : -1;
    if (position < 0) {
        return;
    }
    const QRectF sibling = sceneRectOf(parent->childAt(position));
    const qreal gap = parent->verticalGap();
    QRectF bar(sibling.left(), 0, sibling.width(), gap - 8);
    if (position < parent->indexOf(node)) {
        bar.moveBottom(sibling.top() - 4);
    } else {
        bar.moveTop(sibling.bottom() + 4);
    }
    m_indicator->setRect(bar);
    m_indicator->setBrush(colours.brush(QPalette::Current, QPalette::Highlight));
    m_indicator->setPen(Qt::NoPen);
    m_indicator->show();
}

void MindScene::dragEnterEvent(QGraphicsSceneDragDropEvent *event)
{
    const QMimeData *mime = event->mimeData();
    if (carriesContent(mime) || !mime || !mime->hasFormat(mimeType())) {
        Base::Scene::dragEnterEvent(event);
        return;
    }
    if (ownDrag(mime, nullptr)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void MindScene::dragMoveEvent(QGraphicsSceneDragDropEvent *event)
{
    qDebug() << "Nod::Presentation::MindScene::dragMoveEvent";
    const QMimeData *mime = event->mimeData();
    if (carriesContent(mime) || !mime || !mime->hasFormat(mimeType())) {
        Base::Scene::dragMoveEvent(event);
        return;
    }
    QPointF grabOffset;
    MindNodeItem *node = ownDrag(mime, &grabOffset);
    if (!node) {
        m_indicator->hide();
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    // The node follows the pointer, keeping the place where it was grabbed.
    const QPointF scenePos = event->scenePos() + grabOffset;
    MindNodeItem *parent = node->parentNode();
    node->setPos(parent ? parent->mapFromScene(scenePos) : scenePos);
    if (parent) {
        parent->updateLineTo(node);
    }
    showIndicatorFor(node);
}

void MindScene::dragLeaveEvent(QGraphicsSceneDragDropEvent *event)
{
    m_indicator->hide();
    Base::Scene::dragLeaveEvent(event);
}

void MindScene::dropEvent(QGraphicsSceneDragDropEvent *event)
{
    qDebug() << "Nod::Presentation::MindScene::dropEvent";
    m_indicator->hide();
    const QMimeData *mime = event->mimeData();
    if (carriesContent(mime) || !mime || !mime->hasFormat(mimeType())) {
        Base::Scene::dropEvent(event);
        return;
    }
    MindNodeItem *node = ownDrag(mime, nullptr);
    if (!node) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::MoveAction);
    event->accept();
    MindNodeItem *parent = node->parentNode();
    if (!parent) {
        return;
    }
    const int parentId = idOf(parent);
    const int index = parent->indexOf(node);
    const MindModel::Range range { parentId, index, index };
    MindNodeItem *target = findTarget(node);
    if (target && target != parent) {
        const int targetId = idOf(target);
        m_model->move(range, targetId, m_model->children(targetId).size());
    } else if (const int position = findMovePosition(node); position >= 0 && position != index) {
        m_model->move(range, parentId, position);
    }
    // A refused move or a drop on empty space leaves the node to return to its place.
    parent->requestLayout();
}

void MindScene::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    qDebug() << "Nod::Presentation::MindScene::mousePressEvent";
    Base::Scene::mousePressEvent(event);
}

void MindScene::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && !dynamic_cast<NoteItem *>(focusItem())) {
        const QList<QGraphicsItem *> selected = selectedItems();
        for (QGraphicsItem *item : selected) {
            if (auto *node = qgraphicsitem_cast<MindNodeItem *>(item);
                node && idOf(node) != m_model->rootId()) {
                requestRemoval(idOf(node));
                event->accept();
                return;
            }
        }
    }
    Base::Scene::keyPressEvent(event);
}

void MindScene::contextMenuEvent(QGraphicsSceneContextMenuEvent *event)
{
    // Marks and notes have menus of their own.
    Base::Scene::contextMenuEvent(event);
    if (event->isAccepted()) {
        return;
    }
    MindNodeItem *node = nullptr;
    for (QGraphicsItem *item : items(event->scenePos())) {
        if (item->type() == MindNodeItem::Type && item->isVisible()) {
            node = static_cast<MindNodeItem *>(item);
            break;
        }
    }
    auto *menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int id = idOf(node);
    if (node && id != m_model->rootId()) {
        connect(menu->addAction(tr("Jump to Reading View")), &QAction::triggered, this,
            [this, id] { emit toggleView(id); });
    }
    if (node && node->childCount() > 0) {
        const bool folded = node->isFolded();
        connect(menu->addAction(folded ? tr("Unfold") : tr("Fold")), &QAction::triggered, this,
            [this, id, folded] {
                if (MindNodeItem *n = nodeItem(id)) {
                    n->setFolded(!folded);
                }
            });
    }
    if (node && id != m_model->rootId()) {
        menu->addSeparator();
        connect(
            menu->addAction(tr("Remove...")), &QAction::triggered, this, [this, id] { requestRemoval(id); });
    }
    if (!node) {
        connect(menu->addAction(tr("Unfold All")), &QAction::triggered, this, [this] {
            for (AnnoNodeItem *n : qAsConst(m_nodes)) {
                n->setFolded(false);
            }
            if (m_root) {
                m_root->setFolded(false);
            }
        });
    }
    menu->popup(event->screenPos());
    event->accept();
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
    page->requestRender(request, xres, yres, box, false);
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
