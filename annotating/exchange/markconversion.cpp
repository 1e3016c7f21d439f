#include "markconversion.h"

#include "notetext.h"

#include <domain/marker.h>

#include <QSet>
#include <QTextDocument>

namespace Nod::Exchange {

using Domain::Marker;
using Domain::TextRects;

namespace {

// Highlights, area fills and wide line strokes are see-through, as the program's tools make them.
constexpr int kFillAlpha = 128;

QColor withAlpha(QColor color, int alpha)
{
    color.setAlpha(alpha);
    return color;
}

// The program's rectangles are 12-point polygons: each corner three times, so that the polygon's
// grips can later turn every corner into a step.
QPolygonF steppedRect(const QRectF &rect)
{
    QPolygonF polygon;
    for (const QPointF &corner : { rect.topLeft(), rect.topRight(), rect.bottomRight(), rect.bottomLeft() }) {
        polygon << corner << corner << corner;
    }
    return polygon;
}

QString noteFromContents(const QString &contents)
{
    const QString text = contents.trimmed();
    return text.isEmpty() ? QString() : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

QColor opaque(const QColor &color) { return color.isValid() ? QColor(color.rgb()) : QColor(Qt::yellow); }

} // namespace

std::optional<Application::NewAnnotation> annotationFromPdf(const PdfAnnotationRecord &record)
{
    Application::NewAnnotation result;
    result.pageIndex = record.page;
    result.noteText = noteFromContents(record.contents);
    const QColor color = opaque(record.color);
    QRectF bounds;
    switch (record.kind) {
    case PdfAnnotationRecord::Highlight:
    case PdfAnnotationRecord::Underline:
    case PdfAnnotationRecord::Squiggly:
    case PdfAnnotationRecord::StrikeOut: {
        TextRects boxes;
        for (const QRectF &box : record.boxes) {
            if (box.isValid()) {
                boxes.append(box);
                bounds = bounds.united(box);
            }
        }
        if (boxes.isEmpty()) {
            return std::nullopt;
        }
        const QTransform toLocal = QTransform::fromTranslate(-bounds.left(), -bounds.top());
        if (record.kind == PdfAnnotationRecord::Highlight) {
            result.canvas
                = Marker(boxes.mapped(toLocal), Marker::NoLine, Qt::NoPen, withAlpha(color, kFillAlpha));
        } else {
            const Marker::OutlineType outline = record.kind == PdfAnnotationRecord::Underline
                ? Marker::Underline
                : (record.kind == PdfAnnotationRecord::Squiggly ? Marker::WaveUnderline : Marker::Strikeout);
            result.canvas = Marker(boxes.mapped(toLocal), outline, QPen(color, 2), Qt::NoBrush);
        }
        break;
    }
    case PdfAnnotationRecord::Square:
    case PdfAnnotationRecord::Circle:
    case PdfAnnotationRecord::FreeText:
    case PdfAnnotationRecord::Text: {
        bounds = record.kind == PdfAnnotationRecord::Text ? QRectF(record.rect.topLeft(), QSizeF(20, 20))
                                                          : record.rect.normalized();
        if (bounds.width() <= 0 || bounds.height() <= 0) {
            return std::nullopt;
        }
        const QPolygonF polygon = steppedRect(QRectF(QPointF(0, 0), bounds.size()));
        if (record.kind == PdfAnnotationRecord::FreeText) {
            // The box of the text, framed in the text's colour; the text itself is the note.
            const QBrush brush
                = record.interior.isValid() ? QBrush(withAlpha(record.interior, kFillAlpha)) : QBrush();
            result.canvas = Marker(polygon, Marker::AllEdges,
                QPen(record.color.isValid() ? QColor(record.color.rgb()) : QColor(Qt::black), 1), brush);
        } else if (record.kind == PdfAnnotationRecord::Text
            || (record.interior.isValid() && !record.color.isValid())) {
            const QColor fill = record.interior.isValid() ? opaque(record.interior) : color;
            result.canvas = Marker(polygon, Marker::NoLine, Qt::NoPen, withAlpha(fill, kFillAlpha));
        } else {
            const QBrush brush
                = record.interior.isValid() ? QBrush(withAlpha(record.interior, kFillAlpha)) : QBrush();
            result.canvas = Marker(polygon, Marker::AllEdges, QPen(color, qMax(1.0, record.width)), brush);
        }
        break;
    }
    case PdfAnnotationRecord::Line:
    case PdfAnnotationRecord::Ink: {
        const double width = qMax(1.0, record.width);
        for (const QLineF &line : record.lines) {
            if (line.isNull() && record.kind == PdfAnnotationRecord::Ink) {
                continue;
            }
            bounds = bounds.united(QRectF(line.p1(), line.p2())
                                       .normalized()
                                       .adjusted(-width / 2, -width / 2, width / 2, width / 2));
        }
        if (bounds.isEmpty()) {
            return std::nullopt;
        }
        const QTransform toLocal = QTransform::fromTranslate(-bounds.left(), -bounds.top());
        QPen pen(width >= 10 ? withAlpha(color, kFillAlpha) : color, width);
        pen.setCapStyle(width >= 10 ? Qt::RoundCap : Qt::SquareCap);
        for (const QLineF &line : record.lines) {
            if (!line.isNull()) {
                result.markers.append(Marker(toLocal.map(line), pen));
            }
        }
        result.canvas = Marker(QRectF(QPointF(0, 0), bounds.size()));
        break;
    }
    }
    result.position = bounds.topLeft();
    return result;
}

QVector<PdfAnnotationRecord> pdfFromAnnotation(const Domain::Annotation &annotation)
{
    QVector<PdfAnnotationRecord> records;
    const QPointF origin = annotation.position();
    QVector<Marker> marks { annotation.canvas() };
    marks += annotation.markers();
    for (const Marker &mark : qAsConst(marks)) {
        const QVariant shape = mark.shape();
        PdfAnnotationRecord record;
        record.page = annotation.pageIndex();
        if (shape.userType() == QMetaType::QLineF) {
            // The lines of a mark drawn with one pen are one ink drawing, one stroke per line.
            const QLineF line = shape.toLineF().translated(origin);
            const QColor color = QColor(mark.pen().color().rgb());
            PdfAnnotationRecord *last = records.isEmpty() ? nullptr : &records.last();
            if (last && (last->kind == PdfAnnotationRecord::Line || last->kind == PdfAnnotationRecord::Ink)
                && last->color == color && last->width == mark.pen().widthF()
                && last->opacity == mark.pen().color().alphaF()) {
                last->kind = PdfAnnotationRecord::Ink;
                last->lines.append(line);
                last->rect = last->rect.united(QRectF(line.p1(), line.p2()).normalized());
                continue;
            }
        }
        if (shape.userType() == qMetaTypeId<TextRects>()) {
            for (const QRectF &box : shape.value<TextRects>()) {
                record.boxes.append(box.translated(origin));
                record.rect = record.rect.united(box.translated(origin));
            }
            switch (mark.outline()) {
            case Marker::NoLine:
            case Marker::AllEdges:
            case Marker::Ellipse:
                record.kind = PdfAnnotationRecord::Highlight;
                record.color = QColor(mark.brush().color().rgb());
                break;
            case Marker::WaveUnderline:
                record.kind = PdfAnnotationRecord::Squiggly;
                record.color = QColor(mark.pen().color().rgb());
                break;
            case Marker::Strikeout:
            case Marker::DoubleStrikeout:
                record.kind = PdfAnnotationRecord::StrikeOut;
                record.color = QColor(mark.pen().color().rgb());
                break;
            default:
                record.kind = PdfAnnotationRecord::Underline;
                record.color = QColor(mark.pen().color().rgb());
            }
        } else if (shape.userType() == QMetaType::QPolygonF) {
            record.kind = PdfAnnotationRecord::Square;
            record.rect = shape.value<QPolygonF>().boundingRect().translated(origin);
            const bool outlined = mark.outline() == Marker::AllEdges && mark.pen().style() != Qt::NoPen;
            const bool filled = mark.brush().style() != Qt::NoBrush;
            if (filled) {
                record.interior = QColor(mark.brush().color().rgb());
            }
            record.color = outlined ? QColor(mark.pen().color().rgb()) : record.interior;
            record.width = outlined ? mark.pen().widthF() : 0;
            if (filled && !outlined) {
                record.opacity = mark.brush().color().alphaF();
            }
        } else if (shape.userType() == QMetaType::QLineF) {
            record.kind = PdfAnnotationRecord::Line;
            record.lines.append(shape.toLineF().translated(origin));
            record.rect = QRectF(record.lines.first().p1(), record.lines.first().p2()).normalized();
            record.color = QColor(mark.pen().color().rgb());
            record.width = mark.pen().widthF();
            record.opacity = mark.pen().color().alphaF();
        } else {
            continue; // a line annotation's frame only holds its lines
        }
        if (record.color.isValid() || record.interior.isValid()) {
            records.append(record);
        }
    }
    if (!records.isEmpty()) {
        records.first().contents = notePlainText(annotation.noteText());
    }
    return records;
}

QVector<PdfAnnotationRecord> pdfRecordsOfDocument(Application::NoteService *notes, int documentId)
{
    QVector<PdfAnnotationRecord> records;
    // Each annotation once, those that no children list reaches included.
    const Application::AnnotationTree tree = notes->tree(documentId);
    for (int id : tree.descendants(tree.rootId())) {
        records += pdfFromAnnotation(tree.annotation(id));
    }
    return records;
}

} // namespace Nod::Exchange
