#pragma once

#include <reading/basescene.h>
#include <reading/pagelayout.h>

#include <QList>

namespace Base {
class Page;
}

// A scene of pages in page order, placed by its PageLayout. Pages are owned by the scene (as
// items); the list is valid until the next aboutToBeRebuilt().
class PagedScene : public Base::Scene
{
    Q_OBJECT

public:
    explicit PagedScene(QObject *parent = nullptr);

    PageLayout &pageLayout() { return m_pageLayout; }
    const PageLayout &pageLayout() const { return m_pageLayout; }
    const QList<Base::Page *> &pages() const { return m_pages; }
    int pageCount() const { return m_pages.size(); }
    // Null outside 0..pageCount()-1.
    Base::Page *pageAt(int index) const;
    // The page item under a scene point, or null.
    Base::Page *pageAt(const QPointF &scenePos) const;
    // -1 when no page lies under the point.
    int pageIndexAt(const QPointF &scenePos) const;

    // Sets the note-area mode (Base::Page::NoteAreaMode) on every page and relayouts.
    virtual void setNoteAreaMode(int mode) = 0;

protected:
    QList<Base::Page *> m_pages; // items of this scene
    PageLayout m_pageLayout;
};
