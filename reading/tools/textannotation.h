#pragma once

#include "select.h"

#include <domain/marker.h>
#include <domain/textrects.h>

#include <QBrush>
#include <QPen>

class AnnotationIndex;

namespace DocumentTool {

// A Select whose finished selection becomes a mark: on the annotation whose mark lies under the
// press point (on the same page), or as a new annotation. The selection's own page and boxes are
// committed, whatever page the pointer ends on; an empty selection commits nothing.
class AbstractTextAnnotation : public Select
{
    Q_OBJECT

public:
    using Select::Select;

    void mouseReleaseEvent(QMouseEvent *event) override;
    // Commits a selection with this tool's mark; returns the annotation id created or appended
    // to, or 0 when nothing was stored.
    int commit(const TextSelection &selection, const QPointF &pressScenePos);

protected:
    // The mark for boxes relative to the annotation's position, in page coordinates.
    virtual Nod::Domain::Marker marker(const Nod::Domain::TextRects &boxes) const = 0;
    virtual int createMarker(
        AnnotationIndex *index, int pageIndex, const QPointF &topLeft, const Nod::Domain::TextRects &boxes);
    virtual bool appendToMarker(
        AnnotationIndex *index, int annotationId, const Nod::Domain::TextRects &boxes);
};

// Selected text becomes a highlight: filled boxes, no outline.
class TextHighlight final : public AbstractTextAnnotation
{
    Q_OBJECT

public:
    explicit TextHighlight(PDFDocumentView *view);

    int type() const override { return AbstractTool::TextHighlight; }
    QColor color() const override { return m_brush.color(); }
    // Taken with alpha 128.
    void setColor(const QColor &color) override;
    QBrush brush() const { return m_brush; }

protected:
    Nod::Domain::Marker marker(const Nod::Domain::TextRects &boxes) const override;

private:
    QBrush m_brush { QColor(255, 255, 0, 128), Qt::SolidPattern };
};

// Selected text becomes an underline drawn with the tool's pen.
class TextUnderline final : public AbstractTextAnnotation
{
    Q_OBJECT

public:
    explicit TextUnderline(PDFDocumentView *view);

    int type() const override { return AbstractTool::TextUnderline; }
    QColor color() const override { return m_pen.color(); }
    void setColor(const QColor &color) override;
    QPen pen() const { return m_pen; }

protected:
    Nod::Domain::Marker marker(const Nod::Domain::TextRects &boxes) const override;

private:
    QPen m_pen { QColor(Qt::red), 2 };
};

} // namespace DocumentTool
