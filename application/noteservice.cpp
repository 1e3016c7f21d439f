#include "noteservice.h"

#include "describe.h"
#include "resourceservice.h"

#include <infrastructure/transaction.h>

#include <QDebug>

#include <stdexcept>
#include <vector>

namespace Nod::Application {

using Infrastructure::Transaction;

NoteService::NoteService(
    std::shared_ptr<Domain::IAnnotationRepository> repository, ResourceService *resources)
    : m_repository(std::move(repository))
    , m_resources(resources)
{
    connect(this, &NoteService::added, this, &NoteService::on_added);
    connect(this, &NoteService::removed, this, &NoteService::on_removed);
}

NoteService::~NoteService() = default;

Annotation NoteService::annotation(int id) const
{
    const std::optional<Annotation> found = m_repository->find(id);
    if (!found) {
        throw std::runtime_error("annotation not exist, id: " + std::to_string(id));
    }
    return *found;
}

Annotation NoteService::documentNote(int documentId) const
{
    const std::optional<Annotation> found = m_repository->findDocumentNote(documentId);
    if (!found) {
        throw std::runtime_error("document note not exist, id: " + std::to_string(documentId));
    }
    return *found;
}

std::optional<Annotation> NoteService::find(int id) const { return m_repository->find(id); }

QVector<Annotation> NoteService::annotations(int documentId, int pageIndex) const
{
    return m_repository->findByPage(documentId, pageIndex);
}

QVector<Annotation> NoteService::annotationsWithoutNotes(int documentId, int pageIndex) const
{
    return m_repository->findByPageWithoutNotes(documentId, pageIndex);
}

std::optional<Domain::TextBeginning> NoteService::noteBeginning(
    int id, qint64 wholeUpTo, int beginningBytes) const
{
    return m_repository->noteBeginning(id, wholeUpTo, beginningBytes);
}

AnnotationTree NoteService::tree(int documentId) const
{
    return AnnotationTree(documentNote(documentId), m_repository->findByDocument(documentId));
}

AnnotationTree NoteService::treeWithoutNotes(int documentId) const
{
    return AnnotationTree(documentNote(documentId), m_repository->findByDocumentWithoutNotes(documentId));
}

int NoteService::nextId() const { return m_repository->nextId(); }

int NoteService::annotationCount(int documentId)
{
    const auto it = m_annotationCounts.constFind(documentId);
    if (it != m_annotationCounts.constEnd()) {
        return it.value();
    }
    const int count = m_repository->countByDocument(documentId);
    // Inside an open transaction the rows may still be rolled back, and the signals that keep the
    // entry right come only after the commit: such a count is answered but not kept.
    if (!Infrastructure::Transaction::isOpen()) {
        m_annotationCounts.insert(documentId, count);
    }
    return count;
}

QHash<int, int> NoteService::annotationCounts()
{
    const QHash<int, int> counts = m_repository->countsByDocument();
    if (!Infrastructure::Transaction::isOpen()) {
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            m_annotationCounts.insert(it.key(), it.value());
        }
    }
    return counts;
}

// The entries follow the completion signals, which arrive only for committed changes. A document
// without an entry is counted on the next request.
void NoteService::on_added(Annotation anno, int, int)
{
    const auto it = m_annotationCounts.find(anno.documentId());
    if (it != m_annotationCounts.end()) {
        ++it.value();
    }
}

void NoteService::on_removed(Annotation anno, int, int)
{
    const auto it = m_annotationCounts.find(anno.documentId());
    if (it != m_annotationCounts.end()) {
        --it.value();
    }
}

void NoteService::newAnnotation(const NewAnnotation &r)
{
    qInfo() << "Nod::Application::NoteService::newAnnotation"
            << "id:" << r.id << ", document Id:" << r.documentId << ", start point:" << r.pageIndex
            << r.position << ", canvas:" << describe(r.canvas);
    if (r.id <= 0 || r.documentId <= 0 || r.pageIndex < 0 || !Domain::Marker::isShape(r.canvas.shape())
        || r.parentId <= 0 || r.index < 0) {
        throw std::invalid_argument("Invalid argument");
    }
    Annotation parent = annotation(r.parentId);
    QVector<int> children = parent.children();
    if (children.contains(r.id)) {
        throw std::runtime_error("child has existed in parent");
    }
    if (r.index > children.size()) {
        throw std::invalid_argument("invalid argument");
    }

    Transaction transaction;
    Annotation node(r.id, r.documentId, r.pageIndex, r.position, r.parentId);
    node.setCanvas(r.canvas);
    for (const Domain::Marker &marker : r.markers) {
        node.insertMarker(node.markerCount(), marker);
    }
    node.setNoteText(r.noteText);
    node.setCreatedAt(r.createdAt);
    m_repository->insert(node);
    children.insert(r.index, r.id);
    parent.setChildren(children);
    m_repository->update(parent);
    transaction.commit();

    Transaction::afterCommit([this, node, r] { emit added(node, r.index, r.parentId); });
}

bool NoteService::changeCanvas(int id, const Domain::Marker &canvas)
{
    qInfo() << "Nod::Application::NoteService::changeCanvas"
            << "id:" << id;
    if (id <= 0 || canvas.isNull()) {
        return false;
    }
    Annotation node = annotation(id);
    if (node.canvas() == canvas) {
        return true;
    }
    Transaction transaction;
    node.setCanvas(canvas);
    m_repository->update(node);
    transaction.commit();
    Transaction::afterCommit([this, node] { emit canvasChanged(node); });
    return true;
}

bool NoteService::changeNote(int id, const QString &noteText)
{
    qInfo() << "Nod::Application::NoteService::changeNote"
            << "id:" << id;
    if (id <= 0) {
        return false;
    }
    Annotation node = annotation(id);
    if (node.noteText() == noteText) {
        return true;
    }
    Transaction transaction;
    node.setNoteText(noteText);
    m_repository->update(node);
    transaction.commit();
    Transaction::afterCommit([this, node] { emit noteChanged(node); });
    return true;
}

bool NoteService::insertMarker(int id, int index, const Domain::Marker &marker)
{
    qInfo() << "Nod::Application::NoteService::insertMarker"
            << "id:" << id;
    if (id <= 0 || index < 0 || marker.isNull()) {
        return false;
    }
    Annotation node = annotation(id);
    if (index > node.markerCount()) {
        return false;
    }
    Transaction transaction;
    node.insertMarker(index, marker);
    m_repository->update(node);
    transaction.commit();
    Transaction::afterCommit([this, node, index] { emit markerInserted(node, index); });
    return true;
}

bool NoteService::removeMarker(int id, int index)
{
    qInfo() << "Nod::Application::NoteService::removeMarker"
            << "id:" << id << ", index:" << index;
    if (id <= 0 || index < 0) {
        return false;
    }
    Transaction transaction;
    Annotation node = annotation(id);
    if (index >= node.markerCount()) {
        return false;
    }
    emit markerAboutToBeRemoved(node, index);
    node.removeMarker(index);
    m_repository->update(node);
    transaction.commit();
    Transaction::afterCommit([this, node, index] { emit markerRemoved(node, index); });
    return true;
}

bool NoteService::replaceMarker(int id, int index, const Domain::Marker &marker)
{
    qInfo() << "Nod::Application::NoteService::replaceMarker"
            << "id:" << id << ", index:" << index << ", marker:" << describe(marker);
    if (id <= 0 || index < 0 || marker.isNull()) {
        return false;
    }
    Annotation node = annotation(id);
    if (index >= node.markerCount()) {
        return false;
    }
    Transaction transaction;
    node.replaceMarker(index, marker);
    m_repository->update(node);
    transaction.commit();
    Transaction::afterCommit([this, node, index] { emit markerReplaced(node, index); });
    return true;
}

void NoteService::handle(const RemoveRequest &request)
{
    qInfo() << "Nod::Application::NoteService::handle"
            << ", parent id:" << request.parentId << ", index:" << request.index;
    if (request.index < 0 || request.parentId <= 0) {
        throw std::invalid_argument("invalid argument");
    }
    Annotation parent = annotation(request.parentId);
    QVector<int> children = parent.children();
    if (request.index >= children.size()) {
        throw std::invalid_argument("invalid argument, index out of range");
    }
    const Annotation child = annotation(children.at(request.index));
    if (!child.children().isEmpty()) {
        qWarning() << "Can't remove node when has children, id:" << child.id();
        throw std::runtime_error("Can't remove node when has children");
    }

    emit aboutToBeRemoved(child, request.index, request.parentId);

    Transaction transaction;
    removeImagesOf(child.id());
    children.removeAt(request.index);
    parent.setChildren(children);
    m_repository->update(parent);
    m_repository->remove(child.id());
    transaction.commit();

    Transaction::afterCommit(
        [this, child, request] { emit removed(child, request.index, request.parentId); });
}

void NoteService::removeImagesOf(int annotationId)
{
    const QVector<Domain::Resource> images = m_resources->resources(annotationId);
    for (const Domain::Resource &image : images) {
        m_resources->remove(image.id());
    }
}

void NoteService::removeDocumentTree(int documentId)
{
    qInfo() << "Nod::Application::NoteService::removeDocumentTree" << documentId;
    const std::optional<Annotation> root = m_repository->findDocumentNote(documentId);
    if (!root) {
        return;
    }
    Transaction transaction;
    // Walked on the tree as read, which holds every node once even when stored lists are damaged:
    // post-order, first child first, so that each node is a leaf at index 0 of its parent when it goes.
    const AnnotationTree nodes(*root, m_repository->findByDocument(documentId));
    std::vector<std::pair<int, int>> path { { root->id(), 0 } }; // node, its next child
    while (!path.empty()) {
        const int id = path.back().first;
        const QVector<int> children = nodes.children(id);
        if (path.back().second < children.size()) {
            path.push_back({ children.at(path.back().second++), 0 });
            continue;
        }
        path.pop_back();
        if (!path.empty()) {
            const Annotation node = nodes.annotation(id);
            const int parentId = path.back().first;
            emit aboutToBeRemoved(node, 0, parentId);
            removeImagesOf(id);
            Annotation parent = annotation(parentId);
            QVector<int> listed = parent.children();
            listed.removeAll(id);
            parent.setChildren(listed);
            m_repository->update(parent);
            m_repository->remove(id);
            Transaction::afterCommit([this, node, parentId] { emit removed(node, 0, parentId); });
        }
    }
    removeImagesOf(root->id());
    m_repository->remove(root->id());
    transaction.commit();
    Transaction::afterCommit([this, documentId] { m_annotationCounts.remove(documentId); });
}

void NoteService::handle(const MoveRequest &request)
{
    qInfo() << "Nod::Application::NoteService::handle"
            << "source Parent Id:" << request.sourceParentId << ", source Index:" << request.sourceIndex
            << ", destination Parent Id:" << request.destinationParentId
            << ", destination Index:" << request.destinationIndex;
    if (request.sourceParentId <= 0 || request.sourceIndex < 0 || request.destinationParentId <= 0
        || request.destinationIndex < 0) {
        throw std::invalid_argument("invalid argument");
    }
    if (request.sourceParentId == request.destinationParentId) {
        moveWithinParent(request);
    } else {
        moveAcrossParents(request);
    }
}

void NoteService::moveWithinParent(const MoveRequest &request)
{
    if (request.sourceIndex == request.destinationIndex) {
        return;
    }
    Annotation parent = annotation(request.sourceParentId);
    QVector<int> children = parent.children();
    if (request.sourceIndex >= children.size()) {
        throw std::invalid_argument("invalid argument, source index out of range");
    }
    if (request.destinationIndex >= children.size()) {
        throw std::invalid_argument("invalid argument, dest index out of range");
    }

    emit aboutToBeMoved(parent, request.sourceIndex, parent, request.destinationIndex);

    Transaction transaction;
    children.move(request.sourceIndex, request.destinationIndex);
    qDebug() << "children after move:" << children;
    parent.setChildren(children);
    m_repository->update(parent);
    transaction.commit();

    Transaction::afterCommit([this, parent, request] {
        emit moved(parent, request.sourceIndex, parent, request.destinationIndex);
    });
}

void NoteService::moveAcrossParents(const MoveRequest &request)
{
    Annotation source = annotation(request.sourceParentId);
    QVector<int> sourceChildren = source.children();
    if (request.sourceIndex >= sourceChildren.size()) {
        throw std::invalid_argument("invalid argument, source index out of range");
    }
    Annotation destination = annotation(request.destinationParentId);
    QVector<int> destinationChildren = destination.children();
    if (request.destinationIndex > destinationChildren.size()) {
        throw std::invalid_argument("invalid argument, dest index out of range");
    }
    // A node belongs to its document's tree; hanging it under another document's node would leave it
    // behind when that document is removed.
    if (destination.documentId() != source.documentId()) {
        throw std::invalid_argument("invalid argument, parents belong to different documents");
    }
    const int nodeId = sourceChildren.at(request.sourceIndex);
    if (m_repository->subtreeIds(nodeId).contains(request.destinationParentId)) {
        throw std::runtime_error("can't move node to descendants node");
    }

    emit aboutToBeMoved(source, request.sourceIndex, destination, request.destinationIndex);

    Transaction transaction;
    sourceChildren.removeAt(request.sourceIndex);
    source.setChildren(sourceChildren);
    m_repository->update(source);
    destinationChildren.insert(request.destinationIndex, nodeId);
    destination.setChildren(destinationChildren);
    m_repository->update(destination);
    Annotation node = annotation(nodeId);
    node.setParentId(request.destinationParentId);
    m_repository->update(node);
    transaction.commit();

    Transaction::afterCommit([this, source, destination, request] {
        emit moved(source, request.sourceIndex, destination, request.destinationIndex);
    });
}

} // namespace Nod::Application
