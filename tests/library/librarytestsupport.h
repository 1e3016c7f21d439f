#pragma once

#include "application/servicefixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/tagservice.h>

#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTimer>

#include <functional>

// Shared by the library tests: documents with annotation trees and images, real PDF files, and a
// hand that answers the next modal dialog.
namespace LibraryTest {

inline QString hashOf(const QString &name)
{
    return QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex());
}

// A document over an existing file (the content does not matter to the services).
inline int addDocument(ServiceFixture &fixture, const QString &title)
{
    const QString file = fixture.makeFile(title + QStringLiteral(".pdf"));
    return fixture.registry()->documentService()->newDocument(hashOf(title), file, title);
}

inline int addNode(ServiceFixture &fixture, int documentId, int parentId)
{
    Nod::Application::NoteService *notes = fixture.registry()->noteService();
    Nod::Application::NewAnnotation request;
    request.id = notes->nextId();
    request.documentId = documentId;
    request.canvas = Nod::Domain::Marker(QRectF(0, 0, 10, 10));
    request.parentId = parentId;
    request.index = notes->annotation(parentId).children().size();
    notes->newAnnotation(request);
    return request.id;
}

inline void addImage(ServiceFixture &fixture, int ownerId, QColor color)
{
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    fixture.registry()->resourceService()->handle(Nod::Application::NewResource {
        ownerId, QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex(), QSize(4, 3), bytes });
}

inline int rows(const QString &sql)
{
    return TestSupport::scalar(sql).toInt();
}

// A real one-page PDF with `text` on it, so that detection by content sees a PDF.
inline bool writePdf(const QString &path, const QString &text)
{
    QPdfWriter writer(path);
    writer.setTitle(text);
    QPainter painter;
    if (!painter.begin(&writer)) {
        return false;
    }
    painter.drawText(QPointF(100, 100), text);
    return painter.end();
}

// Runs `answer` on the next modal widget as soon as it shows, polling until it does.
inline void whenModal(std::function<void(QWidget *)> answer, int attempts = 200)
{
    QTimer::singleShot(10, [answer, attempts] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            answer(modal);
        } else if (attempts > 0) {
            whenModal(answer, attempts - 1);
        }
    });
}

} // namespace LibraryTest
