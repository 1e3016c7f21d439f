#include "pagedscene.h"

#include <reading/basepage.h>

PagedScene::PagedScene(QObject *parent)
    : Base::Scene(parent)
{ }

Base::Page *PagedScene::pageAt(int index) const
{
    return index >= 0 && index < m_pages.size() ? m_pages.at(index) : nullptr;
}

Base::Page *PagedScene::pageAt(const QPointF &scenePos) const
{
    const QList<QGraphicsItem *> hits = items(scenePos, Qt::IntersectsItemBoundingRect);
    for (QGraphicsItem *item : hits) {
        if (auto *page = dynamic_cast<Base::Page *>(item)) {
            return page;
        }
    }
    return nullptr;
}

int PagedScene::pageIndexAt(const QPointF &scenePos) const
{
    Base::Page *page = pageAt(scenePos);
    if (!page || !page->isVisible()) {
        return -1;
    }
    const int number = page->pageNumber();
    return pageAt(number) == page ? number : m_pages.indexOf(page);
}
