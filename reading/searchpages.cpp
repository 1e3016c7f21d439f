// The reading view's search: one piece of work per page, run on the global thread pool.
#include "pdfdocumentscene.h"
#include "pdfdocumentview.h"
#include "readingpageitem.h"
#include "searchrequest.h"

#include <reading/annotationindex.h>

#include <annotating/noteitem.h>
#include <application/annotationtree.h>
#include <application/noteservice.h>
#include <editor/textdocument.h>
#include <infrastructure/database.h>

#include <QFutureInterface>
#include <QHash>
#include <QtConcurrent>

#include <stdexcept>

namespace {

struct NoteSnapshot
{
    QHash<int, QVector<SearchRequest::Note>> byPage;
    std::shared_ptr<StoredNotes> stored;
};

// The notes of a document by page, in tree order. Only what a worker cannot read is taken here: the
// text of a note whose document holds edits not stored yet. The others, also those no children list
// reaches, are left for the workers to read from the store; the tree is read without note texts.
NoteSnapshot snapshotNotes(const AnnotationIndex *index, int documentId)
{
    NoteSnapshot snapshot;
    Nod::Application::NoteService *notes = index ? index->noteService() : nullptr;
    if (!notes || notes->annotationCount(documentId) <= 1) {
        return snapshot;
    }
    Nod::Application::AnnotationTree tree;
    try {
        tree = notes->treeWithoutNotes(documentId);
    } catch (const std::runtime_error &) {
        return snapshot;
    }
    QVector<int> storedIds;
    const QVector<int> ids = tree.descendants(tree.rootId());
    for (const int id : ids) {
        const int pageIndex = tree.annotation(id).pageIndex();
        if (pageIndex < 0) {
            continue;
        }
        SearchRequest::Note note;
        note.annotationId = id;
        const Nod::Presentation::NoteItem *item = index->noteItem(id);
        if (item && item->hasDocument() && !item->isPreview() && item->textDocument()->isModified()) {
            note.plainText = item->textDocument()->toPlainText();
        } else {
            note.stored = true;
            storedIds.append(id);
        }
        snapshot.byPage[pageIndex].append(note);
    }
    if (!storedIds.isEmpty()) {
        snapshot.stored = std::make_shared<StoredNotes>(Nod::Infrastructure::databaseFile(), storedIds);
    }
    return snapshot;
}

} // namespace

QFuture<QVector<ISearchable::Result>> PDFDocumentView::search(const QString &keyword)
{
    QVector<SearchRequest> requests;
    const int count = m_pdfScene && !keyword.isEmpty() ? m_pdfScene->pageCount() : 0;
    if (count == 0) {
        return Base::View::search(keyword);
    }
    const int first = qBound(0, m_currentPage, count - 1);
    // Notes are searched only where the user sees them.
    const ReadingPageItem *firstPage = m_pdfScene->readingPageAt(first);
    const bool notesShown = firstPage && firstPage->noteAreaMode() != Base::Page::NoNoteArea;
    NoteSnapshot notes;
    if (notesShown) {
        notes = snapshotNotes(m_pdfScene->annotations(), m_pdfScene->documentId());
    }
    requests.reserve(count);
    for (int i = 0; i < count; ++i) {
        const ReadingPageItem *page = m_pdfScene->readingPageAt((first + i) % count);
        if (!page) {
            continue;
        }
        SearchRequest request;
        request.keyword = keyword;
        request.page = page->page();
        request.pageItem = const_cast<ReadingPageItem *>(page);
        request.pageTransform = page->pageTransform();
        request.notes = notes.byPage.value(page->pageNumber());
        if (!request.notes.isEmpty()) {
            request.storedNotes = notes.stored;
        }
        requests.append(request);
    }
    return QtConcurrent::mapped(std::move(requests), &SearchRequest::run);
}

void PDFDocumentView::completeResults(QVector<ISearchable::Result> &results, const QString &keyword)
{
    AnnotationIndex *index = m_pdfScene ? m_pdfScene->annotations() : nullptr;
    for (ISearchable::Result &result : results) {
        if (result.annotationId == 0 || !result.path.isEmpty()) {
            continue;
        }
        auto *page = qgraphicsitem_cast<ReadingPageItem *>(result.item);
        if (!index || !page || page->noteAreaMode() == Base::Page::NoNoteArea) {
            continue;
        }
        // A page not shown yet has no note items; the user is about to be taken there.
        index->populate(page);
        Nod::Presentation::NoteItem *note = index->noteItem(result.annotationId);
        if (!note || note->parentItem() != page) {
            continue;
        }
        result.item = note;
        result.path = note->searchPaths(keyword);
    }
}

void PDFDocumentView::revealSearchResult(QGraphicsItem *highlight)
{
    // In the one-page modes the page of the result may not be shown yet.
    // A hit in a note lies on the note, a child of its page.
    const QGraphicsItem *holder = highlight->parentItem();
    while (holder && !qgraphicsitem_cast<const ReadingPageItem *>(holder)) {
        holder = holder->parentItem();
    }
    if (const auto *page = qgraphicsitem_cast<const ReadingPageItem *>(holder)) {
        if (!page->isVisible() || page->pageNumber() != m_currentPage) {
            if (m_pageMode == PageMode_SinglePage || m_pageMode == PageMode_Presentation) {
                goToPage(page->pageNumber());
            }
        }
    }
    Base::View::revealSearchResult(highlight);
}
