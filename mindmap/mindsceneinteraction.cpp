#include "mindscene.h"

#include "annonodeitem.h"
#include "mindnodeitem.h"
#include "rootmindnodeitem.h"

#include <annotating/canvasmarkeritem.h>
#include <annotating/compositemarkeritem.h>
#include <annotating/markeritem.h>
#include <annotating/noteitem.h>
#include <annotating/undocommands.h>
#include <application/noteservice.h>

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

// What the user does to the map: dragging nodes, removing nodes and marks, keys and menus. The
// building of the map and its following of the note service are in mindscene.cpp.

namespace Nod::Presentation {

using Domain::Annotation;

namespace {

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

} // namespace

void MindScene::connectMark(int annotationId, MarkerItem *mark)
{
    QPointer<MarkerItem> guard(mark);
    connect(mark, &MarkerItem::toggleViewRequested, this,
        [this, annotationId] { emit toggleView(annotationId); });
    connect(mark, &MarkerItem::removeRequested, this, [this, annotationId, guard] {
        if (guard) {
            removeMark(annotationId, guard);
        }
    });
}

void MindScene::removeMark(int annotationId, MarkerItem *mark)
{
    auto *composite = dynamic_cast<CompositeMarkerItem *>(mark->parentItem());
    const int index = composite ? composite->indexOf(mark) : -1;
    if (index < 0) {
        return;
    }
    // The only line of a group is the whole annotation.
    if (dynamic_cast<CanvasMarkerItem *>(composite) && composite->childCount() == 1) {
        requestRemoval(annotationId);
        return;
    }
    const std::optional<Annotation> anno = m_model->service()->find(annotationId);
    if (!anno || index >= anno->markers().size()) {
        return;
    }
    pushCommand(new RemoveMarkerCommand(m_model->service(), annotationId, index, anno->markers().at(index)));
}

void MindScene::pushCommand(AnnotationCommand *command)
{
    if (m_undoStack) {
        AnnotationCommand::push(m_undoStack, command);
    } else {
        command->apply();
        delete command;
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
    // A note takes the key as text; a mark with the focus removes itself (a later mark alone).
    QGraphicsItem *focus = focusItem();
    if (event->key() == Qt::Key_Delete && !dynamic_cast<NoteItem *>(focus)
        && !dynamic_cast<MarkerItem *>(focus)) {
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

} // namespace Nod::Presentation
