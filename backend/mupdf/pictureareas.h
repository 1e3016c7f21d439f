#pragma once

#include <QRectF>
#include <QVector>

#include <mupdf/fitz.h>

namespace Backend::MuPDF {

// The areas of a page that raster pictures cover, in points from the page's top-left corner, found
// by replaying the page's recorded contents through a device that only looks at where images land.
// Each picture counts with its transformed bounds cut to the clip in force. A page one picture
// covers for the most part is a scan: it gives no areas, since its whole surface is the page.
// A library error gives no areas, as if the page had no pictures.
QVector<QRectF> findPictureAreas(fz_context *ctx, fz_display_list *contents, const fz_rect &pageBounds);

} // namespace Backend::MuPDF
