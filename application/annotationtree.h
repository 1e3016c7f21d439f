#pragma once

#include <domain/annotation.h>

#include <QHash>
#include <QSet>
#include <QVector>

namespace Nod::Application {

// A document's annotations as one tree that is safe to walk whatever its stored children lists hold.
// Every annotation of the document appears exactly once. A list entry that names no annotation of
// the document, names the document note, or names an annotation already placed (a duplicate, or a
// cycle such as a node listed as its own child) is skipped and logged. Annotations that no list
// reaches from the document note (a list cut short or lost) are placed under the document note after
// the listed ones, in page order, with a warning; what their own lists reach stays below them.
class AnnotationTree final
{
public:
    AnnotationTree() = default;
    // `all` holds the document's annotations; the root among them or not, entries of other
    // documents are ignored.
    AnnotationTree(const Domain::Annotation &root, const QVector<Domain::Annotation> &all);

    int rootId() const { return m_rootId; }
    int size() const { return m_annotations.size(); }
    bool contains(int id) const { return m_parents.contains(id); }
    // Throws std::runtime_error "annotation not exist, id: <id>" for an id outside the tree.
    Domain::Annotation annotation(int id) const;
    QVector<int> children(int id) const { return m_children.value(id); }
    // 0 for the root and for ids outside the tree.
    int parentOf(int id) const { return m_parents.value(id); }
    // 0 for the root, 1 for its children, and so on.
    int depthOf(int id) const { return m_depths.value(id); }
    // Everything below `id`, depth first in tree order, `id` itself excluded.
    QVector<int> descendants(int id) const;
    // Placed under the document note because no list from it reached them, in page order.
    bool isUnreached(int id) const { return m_unreachedIds.contains(id); }
    QVector<int> unreached() const { return m_unreached; }

    // Page order: page, then the position's y, then x.
    static bool comesBefore(const Domain::Annotation &a, const Domain::Annotation &b);

private:
    void place(int id, int parentId);
    void walkFrom(int id);

    int m_rootId = 0;
    QHash<int, Domain::Annotation> m_annotations;
    QHash<int, int> m_parents;
    QHash<int, int> m_depths;
    QHash<int, QVector<int>> m_children;
    QVector<int> m_unreached;
    QSet<int> m_unreachedIds; // the same, for look-ups while sorting
};

} // namespace Nod::Application
