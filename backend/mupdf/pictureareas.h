#pragma once

#include <QRectF>
#include <QVector>

#include <mupdf/fitz.h>

namespace Backend::MuPDF {

// Where a page's recorded contents draw, in points from the page's top-left corner, found by
// replaying them through a device that only looks at where things land.
struct PageAreas
{
    // The raster pictures, each with its transformed bounds cut to the clip in force. A page one
    // picture covers for the most part is a scan: it gives no pictures, since its whole surface is
    // the page. A library error gives none, as if the page had no pictures.
    QVector<QRectF> pictures;
    // Everything drawing may change: the bounds of every mark and picture, cut to the clip in force
    // (a transparency group, often as large as the page, is composed back only where its marks drew). A pixel
    // outside all of them keeps the colour the render was cleared to. A library error gives the whole page.
    QVector<QRectF> ink;
};

PageAreas findPageAreas(fz_context *ctx, fz_display_list *list, const fz_rect &pageBounds);

} // namespace Backend::MuPDF
