#include "historycommands.h"

#include <reading/pdfdocumentview.h>

PageCommand::PageCommand(PDFDocumentView *view, int fromPage, int toPage)
    : m_view(view)
    , m_fromPage(fromPage)
    , m_toPage(toPage)
{ }

void PageCommand::undo()
{
    m_view->goToPage(m_fromPage, PDFDocumentView::AlignLeft | PDFDocumentView::AlignTop);
}

void PageCommand::redo()
{
    m_view->goToPage(m_toPage, PDFDocumentView::AlignLeft | PDFDocumentView::AlignTop);
}

bool PageCommand::mergeWith(const QUndoCommand *other)
{
    if (other->id() != id()) {
        return false;
    }
    m_toPage = static_cast<const PageCommand *>(other)->m_toPage;
    return true;
}

ScrollBarValueCommand::ScrollBarValueCommand(PDFDocumentView *view, int oldValue, int newValue)
    : m_view(view)
    , m_oldValue(oldValue)
    , m_newValue(newValue)
{ }

void ScrollBarValueCommand::undo() { m_view->setScrollValue(m_oldValue); }

void ScrollBarValueCommand::redo() { m_view->setScrollValue(m_newValue); }

bool ScrollBarValueCommand::mergeWith(const QUndoCommand *other)
{
    if (other->id() != id()) {
        return false;
    }
    m_newValue = static_cast<const ScrollBarValueCommand *>(other)->m_newValue;
    return true;
}

DestinationCommand::DestinationCommand(
    PDFDocumentView *view, const PDFDestination &from, const PDFDestination &to)
    : m_view(view)
    , m_from(from)
    , m_to(to)
{ }

void DestinationCommand::undo() { m_view->goToPDFDestination(m_from); }

void DestinationCommand::redo() { m_view->goToPDFDestination(m_to); }
