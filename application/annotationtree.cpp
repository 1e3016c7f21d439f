#include "annotationtree.h"

#include <QDebug>
#include <QSet>

#include <algorithm>
#include <stdexcept>

namespace Nod::Application {

using Domain::Annotation;

AnnotationTree::AnnotationTree(const Annotation &root, const QVector<Annotation> &all)
    : m_rootId(root.id())
{
    m_annotations.insert(root.id(), root);
    for (const Annotation &anno : all) {
        if (anno.documentId() == root.documentId() && anno.id() != root.id()) {
            m_annotations.insert(anno.id(), anno);
        }
    }
    place(root.id(), 0);
    walkFrom(root.id());
    if (m_parents.size() == m_annotations.size()) {
        return;
    }

    QVector<Annotation> rest;
    for (const Annotation &anno : qAsConst(m_annotations)) {
        if (!m_parents.contains(anno.id())) {
            rest.append(anno);
        }
    }
    // By id first, so that annotations at one place keep one order from run to run.
    std::sort(
        rest.begin(), rest.end(), [](const Annotation &a, const Annotation &b) { return a.id() < b.id(); });
    std::stable_sort(rest.begin(), rest.end(), &AnnotationTree::comesBefore);
    // An unreached annotation that another unreached one lists goes below it, so a branch whose
    // parent lost its list stays a branch; annotations that only list one another start where the
    // page order puts them.
    QSet<int> listedByRest;
    for (const Annotation &anno : qAsConst(rest)) {
        for (int child : anno.children()) {
            if (child != anno.id()) {
                listedByRest.insert(child);
            }
        }
    }
    for (const bool topsOnly : { true, false }) {
        for (const Annotation &anno : qAsConst(rest)) {
            if (m_parents.contains(anno.id()) || (topsOnly && listedByRest.contains(anno.id()))) {
                continue;
            }
            place(anno.id(), m_rootId);
            m_unreached.append(anno.id());
            m_unreachedIds.insert(anno.id());
            walkFrom(anno.id());
        }
    }
    qWarning() << "Nod::Application::AnnotationTree: document" << root.documentId() << ":" << rest.size()
               << "annotations reached by no children list, shown after the listed ones:" << m_unreached;
}

bool AnnotationTree::comesBefore(const Annotation &a, const Annotation &b)
{
    if (a.pageIndex() != b.pageIndex()) {
        return a.pageIndex() < b.pageIndex();
    }
    if (a.position().y() != b.position().y()) {
        return a.position().y() < b.position().y();
    }
    return a.position().x() < b.position().x();
}

Annotation AnnotationTree::annotation(int id) const
{
    const auto it = m_annotations.constFind(id);
    if (it == m_annotations.constEnd()) {
        throw std::runtime_error("annotation not exist, id: " + std::to_string(id));
    }
    return *it;
}

void AnnotationTree::place(int id, int parentId)
{
    m_parents.insert(id, parentId);
    if (parentId != 0) {
        m_children[parentId].append(id);
        m_depths.insert(id, m_depths.value(parentId) + 1);
    } else {
        m_depths.insert(id, 0);
    }
}

void AnnotationTree::walkFrom(int id)
{
    // Iterative: a long chain of notes must not exhaust the stack.
    QVector<int> pending { id };
    while (!pending.isEmpty()) {
        const int parentId = pending.takeLast();
        const QVector<int> listed = m_annotations.value(parentId).children();
        for (int child : listed) {
            const char *fault = nullptr;
            if (!m_annotations.contains(child)) {
                fault = "names no annotation of the document";
            } else if (child == m_rootId) {
                fault = "names the document note";
            } else if (m_parents.contains(child)) {
                fault = child == parentId ? "names the annotation itself"
                                          : "names an annotation already placed";
            }
            if (fault) {
                qWarning() << "Nod::Application::AnnotationTree: the children list of" << parentId << "skips"
                           << child << ":" << fault;
                continue;
            }
            place(child, parentId);
            pending.append(child);
        }
    }
}

QVector<int> AnnotationTree::descendants(int id) const
{
    QVector<int> out;
    QVector<int> pending = m_children.value(id);
    std::reverse(pending.begin(), pending.end());
    while (!pending.isEmpty()) {
        const int next = pending.takeLast();
        out.append(next);
        const QVector<int> below = m_children.value(next);
        for (auto it = below.crbegin(); it != below.crend(); ++it) {
            pending.append(*it);
        }
    }
    return out;
}

} // namespace Nod::Application
