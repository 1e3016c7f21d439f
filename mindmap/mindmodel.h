#pragma once

#include <domain/annotation.h>
#include <domain/identity.h>

#include <QHash>
#include <QObject>
#include <QVector>

class QUndoStack;

namespace Nod::Application {
class NoteService;
}

namespace Nod::Presentation {

// The annotation tree of one document as the mind map shows it, kept in step with the note
// service's announcements. It knows only the nodes reachable from the document note and reads the
// database only through the service.
class MindModel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MindModel)

public:
    // A run of children of one parent, first to last inclusive.
    struct Range
    {
        int parentId = 0;
        int first = 0;
        int last = 0;
        bool operator==(const Range &other) const
        {
            return parentId == other.parentId && first == other.first && last == other.last;
        }
    };

    // Neither the service nor the stack is owned.
    MindModel(Application::NoteService *service, QUndoStack *undoStack, QObject *parent = nullptr);

    // Reads the document's tree; emits reset().
    void load(int documentId);

    int documentId() const { return m_documentId; }
    int rootId() const { return m_rootId; }
    int nodeCount() const { return m_records.size(); }
    bool contains(int id) const { return m_records.contains(id); }
    QVector<int> children(int id) const;
    int parentOf(int id) const;
    bool isFolded(int id) const;
    // The ids below `id`, depth first in tree order, `id` itself excluded.
    QVector<int> descendants(int id) const;

    // Moves the nodes of the range, last to first, to the index of the destination parent, as one undo
    // step. False (nothing recorded) when a parent is unknown, the range lies outside the parent's
    // children or the service refuses the move.
    bool move(const Range &range, int destParentId, int destIndex);
    // Removes the nodes of the range with everything below them, deepest first, as one undo step that
    // restores every node, its place and its images. False when nothing was removed.
    bool remove(const Range &range);

    // The annotation as stored. While reset() or inserted() is announced for a subtree the model
    // has just read, this answers from that read instead of asking the database again; the read of
    // a reset leaves the note texts out.
    Domain::Annotation annotation(int id) const;

    Application::NoteService *service() const { return m_service; }
    QUndoStack *undoStack() const { return m_undoStack; }

signals:
    void reset();
    void aboutToBeInserted(Nod::Presentation::MindModel::Range range);
    void inserted(Nod::Presentation::MindModel::Range range);
    void aboutToBeRemoved(Nod::Presentation::MindModel::Range range);
    void removed(Nod::Presentation::MindModel::Range range);
    void aboutToBeMoved(Nod::Presentation::MindModel::Range range, int destParentId, int to);
    void moved(Nod::Presentation::MindModel::Range range, int destParentId, int to);
    void foldedChanged(int id);

public slots:
    void on_noteService_added(Domain::Annotation anno, int index, Domain::Identity parentId);
    void on_noteService_aboutToBeRemoved(Domain::Annotation anno, int index, Domain::Identity parentId);
    void on_noteService_removed(Domain::Annotation anno, int index, Domain::Identity parentId);
    void on_noteService_aboutToBeMoved(
        Domain::Annotation sourceParent, int sourceIndex, Domain::Annotation destParent, int destIndex);
    void on_noteService_moved(
        Domain::Annotation sourceParent, int sourceIndex, Domain::Annotation destParent, int destIndex);

private:
    struct Record
    {
        int id = 0;
        int parentId = 0;
        QVector<int> children;
        bool folded = false;
    };

    // Reads `id` and everything below it from the service into the records.
    void readSubtree(int id, int parentId);
    void forgetSubtree(int id);
    bool holds(int parentId, int index, int childId) const;
    bool isValidRange(const Range &range) const;

    Application::NoteService *m_service; // not owned
    QUndoStack *m_undoStack; // not owned
    QHash<int, Record> m_records;
    QHash<int, Domain::Annotation> m_justRead; // only while a read subtree is announced
    int m_documentId = 0;
    int m_rootId = 0;
};

} // namespace Nod::Presentation

Q_DECLARE_METATYPE(Nod::Presentation::MindModel::Range)
