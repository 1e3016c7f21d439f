#pragma once

#include <QChar>
#include <QRectF>
#include <QVector>

namespace Backend {

// One UTF-16 unit of page text with its box in page points, as used for selection.
struct TextBox
{
    QRectF rect;
    QVector<QRectF> subRects; // always empty for MuPDF pages
    QChar character;
};

} // namespace Backend
