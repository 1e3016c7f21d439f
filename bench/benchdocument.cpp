#include "benchdocument.h"

#include <application/documentservice.h>
#include <application/resourceservice.h>
#include <application/serviceregistry.h>
#include <domain/marker.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/transaction.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>

using namespace Nod;

namespace Bench {

Workspace::Workspace() = default;

Workspace::~Workspace()
{
    if (m_registry) {
        Application::ServiceRegistry::setInstance(nullptr);
        m_registry.reset();
    }
    Infrastructure::Database::close();
}

bool Workspace::open()
{
    if (!m_dir.isValid() || !m_database.open(m_dir.filePath(QStringLiteral("database")))) {
        std::fprintf(stderr, "cannot open a database\n");
        return false;
    }
    if (!Infrastructure::Migrator().migrate()) {
        std::fprintf(stderr, "cannot migrate the database\n");
        return false;
    }
    m_registry = std::make_unique<Application::ServiceRegistry>();
    Application::ServiceRegistry::setInstance(m_registry.get());
    return true;
}

QString Workspace::filePath(const QString &name) const { return m_dir.filePath(name); }

int Workspace::addDocument(const QString &path, const QString &title)
{
    return m_registry->documentService()->newDocument(
        QStringLiteral("0123456789abcdef0123456789abcdef"), path, title);
}

bool writePdf(const QString &path, int pages, const std::function<void(QPainter &, int page)> &draw)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        draw(painter, i);
    }
    return painter.end();
}

bool writeTextPdf(const QString &path, int pages)
{
    return writePdf(path, pages, [](QPainter &painter, int page) {
        for (int line = 0; line < 40; ++line) {
            painter.drawText(QPointF(60, 60 + line * 18),
                QStringLiteral("Page %1 line %2 of sample text").arg(page + 1).arg(line));
        }
    });
}

QByteArray pngBytes(int seed, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void storeAnnotation(
    Application::NewAnnotation record, QString html, const QByteArray &png, const QSize &imageSize)
{
    auto *notes = Application::ServiceRegistry::instance()->noteService();
    if (png.isEmpty()) {
        record.noteText = html;
        notes->newAnnotation(record);
        return;
    }
    // The image is a resource of the note, so the note exists before it and names it afterwards.
    const QByteArray hash = QCryptographicHash::hash(png, QCryptographicHash::Sha1).toHex();
    html += QStringLiteral("<p><img src=\"database:%1\"/></p>").arg(QString::fromLatin1(hash));
    notes->newAnnotation(record);
    Application::ServiceRegistry::instance()->resourceService()->handle({ record.id, hash, imageSize, png });
    notes->changeNote(record.id, html);
}

void fillAnnotations(int documentId, int pages, int annotations, int crowdedPage, int onCrowdedPage)
{
    auto *notes = Application::ServiceRegistry::instance()->noteService();
    const int root = notes->documentNote(documentId).id();
    const QSize imageSize(64, 48);
    Infrastructure::Transaction transaction;
    for (int i = 0; i < annotations; ++i) {
        Application::NewAnnotation record;
        record.id = notes->nextId();
        record.documentId = documentId;
        record.pageIndex = i < onCrowdedPage ? crowdedPage : (i * 7) % pages;
        record.position = QPointF(40 + (i * 53) % 480, 40 + (i * 31) % 760);
        record.canvas = Domain::Marker(QPolygonF(QRectF(0, 0, 50, 12)), Domain::Marker::AllEdges,
            QPen(Qt::NoPen), QBrush(QColor(255, 220, 0, 120)));
        record.createdAt = QDateTime::currentDateTime();
        record.parentId = root;
        record.index = i;
        const QString html = QStringLiteral("<p>Note %1: a short remark.</p>").arg(i);
        storeAnnotation(record, html, i % 10 == 0 ? pngBytes(i, imageSize) : QByteArray(), imageSize);
    }
    transaction.commit();
}

} // namespace Bench
