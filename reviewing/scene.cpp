#include "scene.h"

#include "page.h"
#include "summary.h"
#include "summaryprinting.h"

#include <reading/annotationindex.h>
#include <reading/pdfdocumentscene.h>

#include <annotating/markeritem.h>
#include <backend/document.h>
#include <backend/page.h>

#include <QDebug>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScopedValueRollback>

#include <algorithm>

namespace Reviewing {

Scene::Scene(const QSharedPointer<Backend::Document> &document, int documentId, QUndoStack *undoStack,
    double resolutionX, double resolutionY, int noteAreaMode, QObject *parent)
    : PagedScene(parent)
    , m_document(document)
    , m_noteAreaMode(qBound(0, noteAreaMode, 3))
{
    setDocumentId(documentId);
    setUndoStack(undoStack);
    setResolution(resolutionX, resolutionY);
    buildPages();
    m_annotations = new AnnotationIndex(this);
    connect(this, &Base::Scene::contentChanged, this, &Scene::on_contentChanged);
    populateAll();
}

Scene::~Scene()
{
    // The rows give the marks and notes back to their pages before the pages go.
    delete m_annotations;
    m_annotations = nullptr;
    clear();
}

Page *Scene::summaryPageAt(int index) const { return static_cast<Page *>(pageAt(index)); }

int Scene::annotationCount() const { return m_annotations ? m_annotations->shownCount() : 0; }

QList<Summary *> Scene::summaries() const
{
    QList<Summary *> rows;
    for (Base::Page *page : m_pages) {
        rows.append(static_cast<Page *>(page)->summaries());
    }
    return rows;
}

Summary *Scene::summaryOf(int annotationId) const
{
    Nod::Presentation::MarkerItem *canvas = m_annotations ? m_annotations->canvasItem(annotationId) : nullptr;
    return canvas ? qobject_cast<Summary *>(canvas->parentObject()) : nullptr;
}

void Scene::buildPages()
{
    if (!m_document || !m_document->isValid() || m_document->isLocked()) {
        setSceneRect(QRectF());
        return;
    }
    const int count = std::max(0, m_document->pageCount());
    m_pages.reserve(count);
    // A page is loaded when a row first shows its image.
    const QVector<QSizeF> sizes = Reading::pagePlaceholderSizes(*m_document);
    for (int i = 0; i < count; ++i) {
        auto *item = new Page(m_document, i, m_dpiX, m_dpiY, sizes.at(i));
        item->setNoteAreaMode(m_noteAreaMode);
        connect(item, &Page::heightChanged, this, &Scene::on_page_heightChanged);
        m_pages.append(item);
        addItem(item);
    }
}

void Scene::populateAll()
{
    if (!m_annotations) {
        return;
    }
    QElapsedTimer timer;
    timer.start();
    {
        const QScopedValueRollback<bool> hold(m_placementHeld, true);
        for (Base::Page *page : qAsConst(m_pages)) {
            m_annotations->populate(page);
        }
    }
    placePages();
    qInfo("initialize summary: %d annotations, %lld ms", annotationCount(),
        static_cast<long long>(timer.elapsed()));
    on_contentChanged();
}

void Scene::reinitializeScene()
{
    emit aboutToBeRebuilt();
    clear();
    m_pages.clear();
    buildPages();
    emit rebuilt();
    populateAll();
}

void Scene::setNoteAreaMode(int mode)
{
    if (mode < Base::Page::NoNoteArea || mode > Base::Page::BothNoteAreas || mode == m_noteAreaMode) {
        return;
    }
    m_noteAreaMode = mode;
    {
        const QScopedValueRollback<bool> hold(m_placementHeld, true);
        for (Base::Page *page : qAsConst(m_pages)) {
            page->setNoteAreaMode(mode);
        }
        if (m_annotations) {
            m_annotations->updateNoteAreas();
        }
    }
    placePages();
}

void Scene::on_page_heightChanged()
{
    if (!m_placementHeld) {
        placePages();
    }
}

void Scene::placePages()
{
    double width = 0;
    for (const Base::Page *page : qAsConst(m_pages)) {
        width = std::max(width, page->boundingRect().width());
    }
    double y = 0;
    for (Base::Page *page : qAsConst(m_pages)) {
        const QRectF bounds = page->boundingRect();
        page->setPos((width - bounds.width()) / 2 - bounds.left(), y);
        y += bounds.height();
    }
    setSceneRect(QRectF(0, -5, width, y + 10));
}

void Scene::on_contentChanged()
{
    const int count = annotationCount();
    if (count != m_lastCount) {
        m_lastCount = count;
        emit annotationCountChanged();
    }
}

bool Scene::print(QPrinter *printer, QWidget *parentWidget)
{
    const PrintReport report = printSummaries(this, printer, parentWidget);
    if (!report.started && !report.cancelled) {
        QMessageBox::warning(parentWidget, tr("Printing"), tr("The printer could not be started."));
    }
    return report.started && !report.cancelled;
}

} // namespace Reviewing
