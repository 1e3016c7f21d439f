#include "mindmodel.h"

#include <annotating/undocommands.h>
#include <application/annotationtree.h>
#include <application/noteservice.h>

#include <QDebug>
#include <QSet>
#include <QUndoStack>

#include <algorithm>
#include <stdexcept>

namespace Nod::Presentation {

MindModel::MindModel(Application::NoteService *service, QUndoStack *undoStack, QObject *parent)
    : QObject(parent)
    , m_service(service)
    , m_undoStack(undoStack)
{
    qRegisterMetaType<Range>();
    using Application::NoteService;
    connect(service, &NoteService::added, this, &MindModel::on_noteService_added);
    connect(service, &NoteService::aboutToBeRemoved, this, &MindModel::on_noteService_aboutToBeRemoved);
    connect(service, &NoteService::removed, this, &MindModel::on_noteService_removed);
    connect(service, &NoteService::aboutToBeMoved, this, &MindModel::on_noteService_aboutToBeMoved);
    connect(service, &NoteService::moved, this, &MindModel::on_noteService_moved);
}

void MindModel::load(int documentId)
{
    m_records.clear();
    m_documentId = documentId;
    m_rootId = 0;
    try {
        // Damaged children lists (a cycle, a duplicate, an unknown id, a list cut short) cannot hang
        // or empty the map: the tree holds every annotation of the document once.
        // The notes are left to the nodes, which read a long one only as far as they show it.
        const Application::AnnotationTree tree = m_service->treeWithoutNotes(documentId);
        m_rootId = tree.rootId();
        QVector<int> all = tree.descendants(m_rootId);
        all.prepend(m_rootId);
        for (int id : qAsConst(all)) {
            const Domain::Annotation anno = tree.annotation(id);
            m_justRead.insert(id, anno);
            m_records.insert(id, Record { id, tree.parentOf(id), tree.children(id), anno.isFolded() });
        }
    } catch (const std::exception &e) {
        qWarning() << "Nod::Presentation::MindModel::load" << documentId << e.what();
    }
    emit reset();
    m_justRead.clear();
}

Domain::Annotation MindModel::annotation(int id) const
{
    const auto it = m_justRead.constFind(id);
    return it != m_justRead.constEnd() ? *it : m_service->annotation(id);
}

QVector<int> MindModel::children(int id) const { return m_records.value(id).children; }

int MindModel::parentOf(int id) const { return m_records.value(id).parentId; }

bool MindModel::isFolded(int id) const { return m_records.value(id).folded; }

QVector<int> MindModel::descendants(int id) const
{
    QVector<int> out;
    QSet<int> seen { id };
    QVector<int> stack = m_records.value(id).children;
    std::reverse(stack.begin(), stack.end());
    while (!stack.isEmpty()) {
        const int next = stack.takeLast();
        if (seen.contains(next)) {
            continue;
        }
        seen.insert(next);
        out.append(next);
        const QVector<int> below = m_records.value(next).children;
        for (auto it = below.crbegin(); it != below.crend(); ++it) {
            stack.append(*it);
        }
    }
    return out;
}

bool MindModel::isValidRange(const Range &range) const
{
    const auto it = m_records.constFind(range.parentId);
    return it != m_records.constEnd() && range.first >= 0 && range.first <= range.last
        && range.last < it->children.size();
}

bool MindModel::move(const Range &range, int destParentId, int destIndex)
{
    if (!isValidRange(range) || !contains(destParentId) || destIndex < 0) {
        return false;
    }
    auto *macro = new MacroCommand(m_service, tr("move node"));
    for (int i = range.last; i >= range.first; --i) {
        macro->append(new MoveNodeCommand(m_service, { range.parentId, i, destParentId, destIndex }));
    }
    if (!m_undoStack) {
        const bool ok = macro->apply();
        delete macro;
        return ok;
    }
    return AnnotationCommand::push(m_undoStack, macro);
}

bool MindModel::remove(const Range &range)
{
    if (!isValidRange(range)) {
        return false;
    }
    auto *macro = new MacroCommand(m_service, tr("remove node"));
    try {
        // Each node goes after everything below it, children last to first (the reverse of the tree
        // order), so that every removal takes a leaf and every recorded index is the place the node
        // has when it goes; the undo re-creates them parents first, first child first.
        const QVector<int> children = m_records.value(range.parentId).children;
        for (int i = range.last; i >= range.first; --i) {
            QVector<int> order { children.at(i) };
            order += descendants(children.at(i));
            for (auto it = order.crbegin(); it != order.crend(); ++it) {
                const Application::NewAnnotation record = recordOf(m_service, m_service->annotation(*it));
                if (record.index < 0) {
                    throw std::runtime_error("node not among its parent's children");
                }
                macro->append(new RemoveAnnotationCommand(m_service, record));
            }
        }
    } catch (const std::exception &e) {
        qWarning() << "Nod::Presentation::MindModel::remove" << e.what();
        delete macro;
        return false;
    }
    if (!m_undoStack) {
        const bool ok = macro->apply();
        delete macro;
        return ok;
    }
    return AnnotationCommand::push(m_undoStack, macro);
}

void MindModel::on_noteService_added(Domain::Annotation anno, int index, Domain::Identity parentId)
{
    if (parentId <= 0 || index < 0 || !contains(parentId) || contains(anno.id())) {
        return;
    }
    Record &parent = m_records[parentId];
    if (index > parent.children.size()) {
        return;
    }
    const Range range { parentId, index, index };
    emit aboutToBeInserted(range);
    m_records[parentId].children.insert(index, anno.id());
    // The service creates nodes without children.
    m_records.insert(anno.id(), Record { anno.id(), parentId, {}, anno.isFolded() });
    emit inserted(range);
}

void MindModel::on_noteService_aboutToBeRemoved(Domain::Annotation anno, int index, Domain::Identity parentId)
{
    if (holds(parentId, index, anno.id())) {
        emit aboutToBeRemoved(Range { parentId, index, index });
    }
}

void MindModel::on_noteService_removed(Domain::Annotation anno, int index, Domain::Identity parentId)
{
    if (!holds(parentId, index, anno.id())) {
        return;
    }
    m_records[parentId].children.remove(index);
    forgetSubtree(anno.id());
    emit removed(Range { parentId, index, index });
}

void MindModel::on_noteService_aboutToBeMoved(
    Domain::Annotation sourceParent, int sourceIndex, Domain::Annotation destParent, int destIndex)
{
    const int sourceId = sourceParent.id();
    if (!contains(sourceId) || sourceIndex < 0 || sourceIndex >= m_records.value(sourceId).children.size()) {
        return;
    }
    const Range range { sourceId, sourceIndex, sourceIndex };
    if (contains(destParent.id())) {
        emit aboutToBeMoved(range, destParent.id(), destIndex);
    } else {
        emit aboutToBeRemoved(range);
    }
}

void MindModel::on_noteService_moved(
    Domain::Annotation sourceParent, int sourceIndex, Domain::Annotation destParent, int destIndex)
{
    const int sourceId = sourceParent.id();
    const int destId = destParent.id();
    const bool sourceKnown
        = contains(sourceId) && sourceIndex >= 0 && sourceIndex < m_records.value(sourceId).children.size();
    const bool destKnown = contains(destId);
    const Range range { sourceId, sourceIndex, sourceIndex };
    if (sourceKnown && destKnown) {
        const int node = m_records.value(sourceId).children.at(sourceIndex);
        m_records[sourceId].children.remove(sourceIndex);
        QVector<int> &into = m_records[destId].children;
        into.insert(qBound(0, destIndex, int(into.size())), node);
        m_records[node].parentId = destId;
        emit moved(range, destId, destIndex);
    } else if (sourceKnown) {
        const int node = m_records.value(sourceId).children.at(sourceIndex);
        m_records[sourceId].children.remove(sourceIndex);
        forgetSubtree(node);
        emit removed(range);
    } else if (destKnown) {
        const QVector<int> now = destParent.children();
        if (destIndex < 0 || destIndex >= now.size() || destIndex > m_records.value(destId).children.size()) {
            return;
        }
        const Range entering { destId, destIndex, destIndex };
        emit aboutToBeInserted(entering);
        m_records[destId].children.insert(destIndex, now.at(destIndex));
        try {
            readSubtree(now.at(destIndex), destId);
        } catch (const std::exception &e) {
            qWarning() << "Nod::Presentation::MindModel::on_noteService_moved" << e.what();
        }
        emit inserted(entering);
        m_justRead.clear();
    }
}

void MindModel::readSubtree(int id, int parentId)
{
    // Iterative: a long chain of notes must not exhaust the stack. A child already in the map, listed
    // twice or unreadable is left out, so the records stay a tree.
    QVector<QPair<int, int>> pending { { id, parentId } };
    while (!pending.isEmpty()) {
        const auto [nodeId, nodeParent] = pending.takeLast();
        const Domain::Annotation anno = m_service->annotation(nodeId);
        m_justRead.insert(nodeId, anno);
        Record record { nodeId, nodeParent, {}, anno.isFolded() };
        for (int child : anno.children()) {
            const bool listed = std::any_of(pending.cbegin(), pending.cend(),
                [child](const QPair<int, int> &p) { return p.first == child; });
            const std::optional<Domain::Annotation> found
                = listed || m_records.contains(child) || child == nodeId || record.children.contains(child)
                ? std::nullopt
                : m_service->find(child);
            if (!found || found->documentId() != anno.documentId()) {
                qWarning() << "Nod::Presentation::MindModel: children list of" << nodeId << "skips" << child;
                continue;
            }
            record.children.append(child);
            pending.append({ child, nodeId });
        }
        m_records.insert(nodeId, record);
    }
}

void MindModel::forgetSubtree(int id)
{
    // Taking each record as it is met makes a repeated id a no-op.
    QVector<int> pending { id };
    while (!pending.isEmpty()) {
        const auto it = m_records.find(pending.takeLast());
        if (it != m_records.end()) {
            pending += it->children;
            m_records.erase(it);
        }
    }
}

bool MindModel::holds(int parentId, int index, int childId) const
{
    const auto it = m_records.constFind(parentId);
    return it != m_records.constEnd() && index >= 0 && index < it->children.size()
        && it->children.at(index) == childId;
}

} // namespace Nod::Presentation
