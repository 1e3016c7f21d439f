#pragma once

#include "backend/testdocuments.h"
#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/tagservice.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/page.h>
#include <domain/marker.h>

#include <QPainter>

// A library with one two-page PDF whose pages carry known words, for the exchange tests.
class ExchangeFixture : public ServiceFixture
{
public:
    // Page 1: "Alpha beta gamma" at y 100, "Second line here" at y 300; page 2: "Closing words" at y 100.
    QString writePdf(const QString &name = QStringLiteral("book.pdf"))
    {
        const QString file = path(name);
        TestDocuments::writePdf(file, QPageSize::A4, 18, 2, [](QPainter &painter, int page) {
            if (page == 0) {
                painter.drawText(QPointF(72, 100), QStringLiteral("Alpha beta gamma"));
                painter.drawText(QPointF(72, 300), QStringLiteral("Second line here"));
                painter.fillRect(QRectF(300, 400, 100, 60), QColor(40, 90, 200));
            } else {
                painter.drawText(QPointF(72, 100), QStringLiteral("Closing words"));
            }
        });
        return file;
    }

    int addDocument(const QString &file, const QString &title = QStringLiteral("A <Book> & *notes*"))
    {
        return registry()->documentService()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), file, title);
    }

    int rootOf(int documentId) { return registry()->noteService()->documentNote(documentId).id(); }

    // The boxes of `word` on the page, in page points.
    static Nod::Domain::TextRects wordBoxes(const QString &file, int page, const QString &word)
    {
        QSharedPointer<Backend::Document> document = BackendManager::instance()->openDocument(file);
        Nod::Domain::TextRects rects;
        if (!document) {
            return rects;
        }
        const QSharedPointer<Backend::Page> p = document->pageAt(page).toStrongRef();
        QVector<QRectF> boxes;
        const QString text = p->text(boxes);
        const int at = text.indexOf(word);
        for (int i = at; at >= 0 && i < at + word.size(); ++i) {
            rects.append(boxes.at(i));
        }
        return rects;
    }

    // Appends an annotation whose canvas is `canvas` (in page points) at its top-left corner.
    int annotate(int documentId, int parentId, int page, const Nod::Domain::Marker &canvas,
        const QString &note = QString(), const QVector<Nod::Domain::Marker> &markers = {})
    {
        using Nod::Domain::Marker;
        auto *notes = registry()->noteService();
        Nod::Application::NewAnnotation request;
        request.id = notes->nextId();
        request.documentId = documentId;
        request.pageIndex = page;
        QRectF bounds;
        const QVariant shape = canvas.shape();
        if (shape.userType() == qMetaTypeId<Nod::Domain::TextRects>()) {
            for (const QRectF &r : shape.value<Nod::Domain::TextRects>()) {
                bounds = bounds.united(r);
            }
        } else if (shape.userType() == QMetaType::QPolygonF) {
            bounds = shape.value<QPolygonF>().boundingRect();
        } else {
            bounds = shape.toRectF();
        }
        request.position = bounds.topLeft();
        QTransform toLocal = QTransform::fromTranslate(-bounds.left(), -bounds.top());
        if (shape.userType() == qMetaTypeId<Nod::Domain::TextRects>()) {
            request.canvas = Marker(shape.value<Nod::Domain::TextRects>().mapped(toLocal), canvas.outline(),
                canvas.pen(), canvas.brush());
        } else if (shape.userType() == QMetaType::QPolygonF) {
            request.canvas = Marker(
                toLocal.map(shape.value<QPolygonF>()), canvas.outline(), canvas.pen(), canvas.brush());
        } else {
            request.canvas = Marker(toLocal.mapRect(shape.toRectF()));
        }
        for (const Marker &marker : markers) {
            request.markers.append(Marker(toLocal.map(marker.shape().toLineF()), marker.pen()));
        }
        request.noteText = note;
        request.createdAt = QDateTime::currentDateTime();
        request.parentId = parentId;
        request.index = notes->annotation(parentId).children().size();
        notes->newAnnotation(request);
        return request.id;
    }
};
