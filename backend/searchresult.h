#pragma once

#include <QMetaType>
#include <QRectF>

namespace Backend {

// One search hit: the page and the hit's bounding box in page points.
struct SearchResult
{
    int pageNumber = -1;
    QRectF rect;

    bool operator==(const SearchResult &other) const
    {
        return pageNumber == other.pageNumber && rect == other.rect;
    }
};

} // namespace Backend

Q_DECLARE_METATYPE(Backend::SearchResult)
