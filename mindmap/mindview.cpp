#include "mindview.h"

#include "annonodeitem.h"
#include "mindmodel.h"
#include "mindnodeitem.h"
#include "mindscene.h"

#include <annotating/noteitem.h>
#include <application/noteservice.h>
#include <application/serviceregistry.h>
#include <reading/searchrequest.h>

#include <QDebug>
#include <QDragMoveEvent>
#include <QElapsedTimer>
#include <QFutureInterface>
#include <QMessageBox>
#include <QScrollBar>
#include <QTextDocument>
#include <QtConcurrent>

namespace Nod::Presentation {

MindView::MindView(QWidget *parent)
    : Base::View(parent)
{
    setObjectName(QStringLiteral("mindView"));
    setDragMode(QGraphicsView::ScrollHandDrag);
    setRenderHint(QPainter::Antialiasing);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
    connect(this, &Base::View::changedZoom, this, &MindView::updateDetailScale);
}

MindView::~MindView() { closeDocument(); }

bool MindView::openDocument(const QSharedPointer<Backend::Document> &document, int documentId,
    QUndoStack *undoStack, double resolutionX, double resolutionY, Application::NoteService *notes)
{
    closeDocument();
    if (!notes) {
        auto *registry = Application::ServiceRegistry::instance();
        notes = registry ? registry->noteService() : nullptr;
    }
    if (!notes) {
        return false;
    }
    try {
        notes->documentNote(documentId);
    } catch (const std::exception &e) {
        qWarning() << "Nod::Presentation::MindView::openDocument" << documentId << e.what();
        return false;
    }
    m_pending = Pending { document, documentId, undoStack, resolutionX, resolutionY, notes };
    if (isVisible()) {
        ensureBuilt();
    }
    return true;
}

void MindView::ensureBuilt()
{
    if (m_scene || !m_pending.notes) {
        return;
    }
    QElapsedTimer timer;
    timer.start();
    m_model = new MindModel(m_pending.notes, m_pending.undoStack, this);
    m_scene = new MindScene(m_model, m_pending.document, m_pending.resolutionX, m_pending.resolutionY, this);
    connect(m_scene, &Base::Scene::toggleView, this, &MindView::toggleView);
    connect(m_scene, &Base::Scene::contentChanged, this, &MindView::contentChanged);
    connect(m_scene, &MindScene::editingStarted, this, &MindView::noteEditingStarted);
    connect(m_scene, &MindScene::editingFinished, this, &MindView::noteEditingFinished);
    setScene(m_scene);
    m_model->load(m_pending.documentId);
    updateDetailScale();
    if (MindNodeItem *root = m_scene->nodeItem(m_model->rootId())) {
        centerOn(root);
    }
    // The document note is the root, not an annotation.
    qInfo("initialize mind map: %d annotations, %lld ms", qMax(0, m_model->nodeCount() - 1),
        static_cast<long long>(timer.elapsed()));
}

void MindView::showEvent(QShowEvent *event)
{
    Base::View::showEvent(event);
    ensureBuilt();
}

void MindView::closeDocument()
{
    m_pending = Pending();
    setScene(nullptr);
    delete m_scene.data();
    delete m_model.data();
}

bool MindView::print()
{
    QMessageBox::information(
        this, tr("Information"), tr("Unsuppoted function, please wait a litter."), QMessageBox::Ok);
    return false;
}

QFuture<QVector<ISearchable::Result>> MindView::search(const QString &keyword)
{
    if (!m_scene || !m_model || keyword.isEmpty()) {
        return Base::View::search(keyword);
    }
    // One piece per node in tree order, folded branches included: the page text under the node's
    // canvas, then its note. What the workers read is copied here; results find their nodes again
    // by id.
    QVector<SearchRequest> requests;
    const QVector<int> order = m_model->descendants(m_model->rootId());
    requests.reserve(order.size());
    for (int id : order) {
        const AnnoNodeItem *node = m_scene->annoNode(id);
        if (!node) {
            continue;
        }
        SearchRequest request;
        request.keyword = keyword;
        request.page = m_scene->pageOf(id, &request.pageTransform);
        request.clip = node->canvasRect();
        request.annotationId = id;
        SearchRequest::Note note;
        note.annotationId = id;
        note.plainText = node->noteItem()->document()->toPlainText();
        if (!note.plainText.isEmpty()) {
            request.notes.append(note);
        }
        requests.append(request);
    }
    return QtConcurrent::mapped(std::move(requests), &SearchRequest::run);
}

void MindView::completeResults(QVector<ISearchable::Result> &results, const QString &keyword)
{
    for (ISearchable::Result &result : results) {
        AnnoNodeItem *node = m_scene ? m_scene->annoNode(result.annotationId) : nullptr;
        if (!node) {
            result.path = QPainterPath();
        } else if (!result.path.isEmpty()) {
            result.item = node;
        } else {
            result.item = node->noteItem();
            result.path = node->noteItem()->searchPaths(keyword);
        }
    }
}

void MindView::commitEditing()
{
    if (auto *note = m_scene ? dynamic_cast<NoteItem *>(m_scene->focusItem()) : nullptr) {
        note->commitEditing();
    }
}

void MindView::revealSearchResult(QGraphicsItem *highlight)
{
    for (QGraphicsItem *item = highlight; item; item = item->parentItem()) {
        if (auto *node = qgraphicsitem_cast<MindNodeItem *>(item)) {
            for (MindNodeItem *above = node->parentNode(); above; above = above->parentNode()) {
                above->setFolded(false);
            }
            node->flushLayout();
            break;
        }
    }
    Base::View::revealSearchResult(highlight);
}

void MindView::jumpToAnnotation(int annoId)
{
    ensureBuilt();
    MindNodeItem *node = m_scene ? m_scene->nodeItem(annoId) : nullptr;
    if (!node) {
        return;
    }
    for (MindNodeItem *above = node->parentNode(); above; above = above->parentNode()) {
        above->setFolded(false);
    }
    node->flushLayout();
    m_scene->clearSelection();
    node->setSelected(true);
    centerOn(node);
}

void MindView::updateDetailScale()
{
    if (m_scene) {
        m_scene->setDetailScale(zoomLevel() * devicePixelRatioF());
    }
}

void MindView::dragMoveEvent(QDragMoveEvent *event)
{
    const QRect area = viewport()->rect();
    const QPoint at = event->pos();
    if (at.x() < area.left() + autoScrollMargin) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - autoScrollStep);
    } else if (at.x() > area.right() - autoScrollMargin) {
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + autoScrollStep);
    }
    if (at.y() < area.top() + autoScrollMargin) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() - autoScrollStep);
    } else if (at.y() > area.bottom() - autoScrollMargin) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + autoScrollStep);
    }
    Base::View::dragMoveEvent(event);
}

void MindView::paintEvent(QPaintEvent *event)
{
    Base::View::paintEvent(event);
    // Painting asked for the excerpts of the nodes in sight; past the budget, the rest let theirs go.
    if (!m_scene || m_scene->excerptCount() <= MindScene::excerptBudget) {
        return;
    }
    QVector<AnnoNodeItem *> visible;
    const QList<QGraphicsItem *> shown = items(viewport()->rect());
    for (QGraphicsItem *item : shown) {
        if (auto *node = qgraphicsitem_cast<MindNodeItem *>(item)) {
            if (auto *anno = qobject_cast<AnnoNodeItem *>(node)) {
                visible.append(anno);
            }
        }
    }
    m_scene->keepExcerpts(visible);
}

} // namespace Nod::Presentation
