#pragma once

#include <QString>
#include <QtPlugin>

namespace Nod::Presentation {

// What the main window needs from a page of its stack that shows one document. A typed interface
// rather than a dynamic property or a slot looked up by name, so that renaming either side breaks
// the build instead of silently losing the reading position.
class DocumentTab
{
public:
    virtual ~DocumentTab() = default;

    // The library id of the document shown; fixed for the tab's lifetime.
    virtual int documentId() const = 0;
    // Stores the reading state (page, zoom, note area, side bar). A tab whose document never
    // finished opening stores nothing, so what was saved before survives.
    virtual void closeDocument() = 0;
    // Re-reads the tool shortcuts and the colour pane from the settings store.
    virtual void reloadShortcuts() = 0;
    virtual void reloadColors() = 0;
    // Prints the view that is shown, after asking the user for printer and range.
    virtual void print() = 0;
    // Shows a hit of the library's full-text search in the reading view: the mark and note of an
    // annotation, or else the page with the words highlighted by the view's own search. A tab still
    // opening its document does so once it has.
    virtual void showSearchHit(int page, int annotationId, const QString &words) = 0;
};

} // namespace Nod::Presentation

#define NoderaDocumentTab_iid "org.nodera.Reader.DocumentTab/1.0"
Q_DECLARE_INTERFACE(Nod::Presentation::DocumentTab, NoderaDocumentTab_iid)
