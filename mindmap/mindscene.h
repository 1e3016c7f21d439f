#pragma once

#include <mindmap/mindmodel.h>
#include <reading/basescene.h>

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSharedPointer>
#include <QTransform>
#include <QWeakPointer>

#include <functional>

class QGraphicsRectItem;
class QMimeData;

namespace Backend {
class Document;
class Page;
} // namespace Backend

namespace Nod::Domain {
class Annotation;
class Document;
} // namespace Nod::Domain

namespace Nod::Presentation {

class AnnoNodeItem;
class AnnotationCommand;
class MarkerItem;
class MindNodeItem;
class NoteItem;
class RootMindNodeItem;

// The annotation tree of one document drawn as a map: the document at the root, every annotation a
// node with its marked page area and its note. The scene only shows the tree; it changes through the
// model's signals, and what the user does (dragging a node elsewhere, removing one, editing a note)
// becomes an undo step on the tab's stack.
//
// Dragging: a node drag carries "application/x-node" with a token that only the scene's own running
// drag knows, so a drag of that type from another window or program is refused without reading more
// than the token.
class MindScene : public Base::Scene
{
    Q_OBJECT

public:
    // Answers a yes/no question before a removal; the default asks with a message box.
    using Confirmation = std::function<bool(const QString &question)>;

    // The model is not owned; its document, note service and undo stack are the scene's. The
    // resolution is that of the reading view, so that marks keep their proportions.
    MindScene(MindModel *model, const QSharedPointer<Backend::Document> &document, double resolutionX,
        double resolutionY, QObject *parent = nullptr);
    ~MindScene() override;

    static QString mimeType();

    MindModel *model() const { return m_model; }
    RootMindNodeItem *rootNode() const { return m_root; }
    // The node of an annotation, or the root for the document note; null when not in the map.
    MindNodeItem *nodeItem(int annotationId) const;
    AnnoNodeItem *annoNode(int annotationId) const;
    // The page a node shows part of, and the transform from its page points into the node's
    // coordinates; no page for the root or a node not in the map.
    QWeakPointer<Backend::Page> pageOf(int annotationId, QTransform *pointsToNode) const;
    int idOf(const MindNodeItem *node) const;
    // The drop-target outline or insertion bar of a pending drop.
    QGraphicsRectItem *dropIndicator() const { return m_indicator; }

    // Starts the scene's own drag of a node and returns its data (the caller owns it until it hands
    // it to a QDrag). Null for the root or a node of another scene.
    QMimeData *beginNodeDrag(MindNodeItem *node, const QPointF &pointerScenePos);
    // Ends the drag: the node shows its children again and goes back to its place unless a drop moved it.
    void endNodeDrag();
    MindNodeItem *draggedNode() const { return m_dragged; }

    // Removes the annotation and everything below it as one undo step; false when nothing was removed.
    bool removeNode(int annotationId);
    // Asks first, naming how many notes go; false when declined or nothing was removed.
    bool requestRemoval(int annotationId);
    QString removalQuestion(int annotationId) const;
    void setRemovalConfirmation(Confirmation confirmation);

    // The view's scale (zoom × device pixel ratio): excerpts are rendered for it, and below a readable
    // scale notes are drawn as plain blocks.
    void setDetailScale(double scale);
    double detailScale() const { return m_detailScale; }
    // Nodes holding a page excerpt; when there are more than the budget, the ones out of sight drop theirs.
    int excerptCount() const { return m_withExcerpt.size(); }
    static constexpr int excerptBudget = 200;
    void keepExcerpts(const QVector<AnnoNodeItem *> &visible);

    bool print(QPrinter *printer, QWidget *parentWidget) override;
    bool isDocumentScene() const override { return false; }
    // Undo and redo keys in a note past the note's own steps step the tab's stack.
    bool event(QEvent *event) override;

public slots:
    void reinitializeScene() override;

signals:
    // A node's note took or left the focus (the tab attaches the editor's tool bar to it).
    void editingStarted(Nod::Presentation::NoteItem *note, int annotationId);
    void editingFinished();
    void noteHeightChanged(Nod::Presentation::NoteItem *note);

protected:
    void dragEnterEvent(QGraphicsSceneDragDropEvent *event) override;
    void dragMoveEvent(QGraphicsSceneDragDropEvent *event) override;
    void dragLeaveEvent(QGraphicsSceneDragDropEvent *event) override;
    void dropEvent(QGraphicsSceneDragDropEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;

private:
    struct Placement
    {
        int pageIndex = -1;
        QPointF offset; // where the canvas's origin lies on its page, in item units
    };
    class ExcerptRequest;

    QTransform pageTransform() const;
    AnnoNodeItem *makeNode(const Domain::Annotation &anno);
    MarkerItem *makeMark(const Domain::Marker &marker, QGraphicsItem *parent) const;
    // The node is in the map already (logged): a walk skips it.
    bool isShown(int id) const;
    // Builds the node of `id` and everything the model has below it.
    MindNodeItem *buildSubtree(int id);
    void forgetSubtree(MindNodeItem *node);
    void connectNode(MindNodeItem *node);
    // A mark after the canvas: its menu and Delete act on it alone.
    void connectMark(int annotationId, MarkerItem *mark);
    void removeMark(int annotationId, MarkerItem *mark);
    void pushCommand(AnnotationCommand *command);
    QString documentTitle() const;

    static bool carriesContent(const QMimeData *mime);
    // The dragged node when the data is this scene's running drag, with the offset of the grab.
    MindNodeItem *ownDrag(const QMimeData *mime, QPointF *grabOffset) const;
    MindNodeItem *findTarget(MindNodeItem *node) const;
    int findMovePosition(MindNodeItem *node) const;
    void showIndicatorFor(MindNodeItem *node);
    void startNodeDrag(MindNodeItem *node, const QPointF &pointerScenePos, QWidget *source);

    void requestExcerpt(int annotationId);
    void deliverExcerpt(const QVector<int> &ids, const QImage &image);

    void on_model_inserted(MindModel::Range range);
    void on_model_removed(MindModel::Range range);
    void on_model_moved(MindModel::Range range, int destParentId, int to);
    void on_service_canvasChanged(const Domain::Annotation &anno);
    void on_service_markerInserted(const Domain::Annotation &anno, int index);
    void on_service_markerRemoved(const Domain::Annotation &anno, int index);
    void on_service_markerReplaced(const Domain::Annotation &anno, int index);
    void on_service_noteChanged(const Domain::Annotation &anno);
    void on_note_contentChanged(int annotationId);
    void on_documents_titleChanged(const Domain::Document &doc);

    MindModel *m_model; // not owned
    QSharedPointer<Backend::Document> m_document;
    QGraphicsRectItem *m_indicator; // owned by the scene
    RootMindNodeItem *m_root = nullptr; // owned by the scene
    QHash<int, AnnoNodeItem *> m_nodes; // by annotation id
    QHash<int, Placement> m_placements; // by annotation id
    QSet<int> m_withExcerpt;
    QHash<QString, QPointer<ExcerptRequest>> m_pendingExcerpts;
    double m_detailScale = 1.0;
    double m_excerptScale = 1.0;
    bool m_lowDetail = false;
    QPointer<MindNodeItem> m_dragged;
    quint64 m_dragToken = 0;
    Confirmation m_confirm;
};

} // namespace Nod::Presentation
