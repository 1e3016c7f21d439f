#include "notesexporter.h"

#include "notetext.h"
#include "pdfmarkimport.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <application/serviceregistry.h>
#include <application/tagservice.h>
#include <backend/backendmanager.h>
#include <backend/document.h>
#include <backend/page.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>
#include <stdexcept>

namespace Nod::Exchange {

using Domain::Annotation;
using Domain::Marker;
using Domain::TextRects;

namespace {

// Excerpts are drawn at twice the page's point size: sharp on high-density screens and in print.
constexpr double kExcerptDpi = 144.0;
constexpr int kBatch = 64;

QString tr(const char *text) { return QCoreApplication::translate("Nod::Exchange::NotesExporter", text); }

bool isText(const Marker &marker) { return marker.shape().userType() == qMetaTypeId<TextRects>(); }

QString kindOf(const Annotation &annotation)
{
    const Marker canvas = annotation.canvas();
    const int type = canvas.shape().userType();
    if (type == qMetaTypeId<TextRects>()) {
        return canvas.outline() == Marker::NoLine ? tr("Highlight") : tr("Underline");
    }
    if (type == QMetaType::QPolygonF) {
        return canvas.outline() == Marker::AllEdges ? tr("Rectangle") : tr("Area highlight");
    }
    const QVector<Marker> markers = annotation.markers();
    if (!markers.isEmpty() && markers.first().shape().userType() == QMetaType::QLineF) {
        return markers.first().pen().widthF() >= 10 ? tr("Line highlight") : tr("Line");
    }
    return tr("Note");
}

// The page area a mark covers, in page points.
QRectF boundsOf(const Marker &marker, const QPointF &position)
{
    const QVariant shape = marker.shape();
    QRectF bounds;
    switch (shape.userType()) {
    case QMetaType::QPolygonF:
        bounds = shape.value<QPolygonF>().boundingRect();
        break;
    case QMetaType::QRectF:
        bounds = shape.toRectF();
        break;
    case QMetaType::QLineF: {
        const QLineF line = shape.toLineF();
        const double half = marker.pen().widthF() / 2;
        bounds = QRectF(line.p1(), line.p2()).normalized().adjusted(-half, -half, half, half);
        break;
    }
    default:
        if (shape.userType() == qMetaTypeId<TextRects>()) {
            for (const QRectF &rect : shape.value<TextRects>()) {
                bounds = bounds.united(rect);
            }
        }
    }
    return bounds.translated(position);
}

void paintMarker(QPainter &painter, const Marker &marker)
{
    const QVariant shape = marker.shape();
    painter.save();
    if (shape.userType() == QMetaType::QPolygonF) {
        const QPolygonF polygon = shape.value<QPolygonF>();
        if (marker.brush().style() != Qt::NoBrush) {
            painter.setCompositionMode(QPainter::CompositionMode_Multiply);
            painter.fillPath(
                [&] {
                    QPainterPath path;
                    path.addPolygon(polygon);
                    return path;
                }(),
                marker.brush());
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        if (marker.outline() == Marker::AllEdges && marker.pen().style() != Qt::NoPen) {
            painter.setPen(marker.pen());
            painter.setBrush(Qt::NoBrush);
            painter.drawPolygon(polygon);
        }
    } else if (shape.userType() == QMetaType::QLineF) {
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        painter.setPen(marker.pen());
        painter.drawLine(shape.toLineF());
    }
    painter.restore();
}

// The page text a mark covers. A character belongs to it when the centre of its box lies inside one
// of the mark's boxes: other programs draw their boxes a little tighter or looser than the
// characters' own. Parts of the text apart from each other are joined by a space.
QString markedTextOf(const Backend::Page &page, const QList<QRectF> &areas)
{
    QVector<QRectF> boxes;
    const QString text = page.text(boxes);
    QString marked;
    bool gap = false;
    for (int i = 0; i < text.size() && i < boxes.size(); ++i) {
        const QPointF centre = boxes.at(i).center();
        if (std::none_of(
                areas.cbegin(), areas.cend(), [&](const QRectF &area) { return area.contains(centre); })) {
            gap = !marked.isEmpty();
            continue;
        }
        if (gap) {
            marked += QLatin1Char(' ');
            gap = false;
        }
        marked += text.at(i) == QLatin1Char('\n') ? QChar(QLatin1Char(' ')) : text.at(i);
    }
    return marked.simplified();
}

// The name of the mark left in a pictures' folder that an export wrote, and the names of the
// pictures it writes there: only a folder holding nothing else is the export's to replace.
const QString kFolderMark = QStringLiteral(".nodera-notes-export");

bool isExportFolder(const QString &path)
{
    const QFileInfo folder(path);
    if (!folder.isDir() || folder.isSymLink() || !QFileInfo::exists(QDir(path).filePath(kFolderMark))) {
        return false;
    }
    static const QRegularExpression picture(
        QStringLiteral("^([0-9a-f]{40}\\.(png|jpg|gif|bmp|webp)|excerpt-[0-9]+\\.png)$"));
    const QFileInfoList entries
        = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return std::all_of(entries.cbegin(), entries.cend(), [](const QFileInfo &entry) {
        return entry.isFile() && !entry.isSymLink()
            && (entry.fileName() == kFolderMark || picture.match(entry.fileName()).hasMatch());
    });
}

// Removes a pictures' folder an export wrote, file by file; anything else in it stays.
void removeExportFolder(const QString &path)
{
    if (!isExportFolder(path)) {
        return;
    }
    QDir folder(path);
    for (const QString &name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        folder.remove(name);
    }
    QDir().rmdir(path);
}

// A name beside `path` that nothing holds yet.
QString freeNameBeside(const QString &path)
{
    const QFileInfo info(path);
    for (int i = 0;; ++i) {
        const QString candidate
            = info.absoluteDir().filePath(QStringLiteral(".%1.old-%2").arg(info.fileName()).arg(i));
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink()) {
            return candidate;
        }
    }
}

QString mimeOf(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer).toLower();
    if (format == "png") {
        return QStringLiteral("image/png");
    }
    if (format == "jpeg" || format == "jpg") {
        return QStringLiteral("image/jpeg");
    }
    if (format == "gif") {
        return QStringLiteral("image/gif");
    }
    if (format == "bmp") {
        return QStringLiteral("image/bmp");
    }
    if (format == "webp") {
        return QStringLiteral("image/webp");
    }
    return {};
}

QString suffixOf(const QString &mime)
{
    return mime.mid(mime.indexOf(QLatin1Char('/')) + 1)
        .replace(QStringLiteral("jpeg"), QStringLiteral("jpg"));
}

QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 50);
    return bytes;
}

QString headingOf(const NotesExporter::Entry &entry)
{
    return tr("Page %1 \u00b7 %2").arg(entry.annotation.pageIndex() + 1).arg(entry.kind);
}

QStringList paragraphsOf(const QString &text)
{
    QStringList paragraphs;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty()) {
            paragraphs.append(line.trimmed());
        }
    }
    return paragraphs;
}

const char *const kStyle = R"(
body { font-family: sans-serif; max-width: 46em; margin: 2em auto; padding: 0 1em; line-height: 1.5; color: #222; }
h1 { border-bottom: 1px solid #ccc; padding-bottom: .3em; }
section.annotation { margin: 1.2em 0; }
section.annotation section.annotation { margin-left: 1.5em; padding-left: .8em; border-left: 2px solid #ddd; }
blockquote.marked { margin: .5em 0; padding: .2em .8em; border-left: 4px solid #e6c200; background: #fffbe6; }
img { max-width: 100%; }
img.excerpt { border: 1px solid #ccc; }
p.tags { color: #555; font-size: .9em; }
span.tag { background: #eef; border-radius: 3px; padding: 0 .4em; margin-right: .3em; }
@media print { body { max-width: none; margin: 0; } section.annotation { break-inside: avoid; } }
)";

} // namespace

std::optional<NotesFormat> notesFormatOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("md") || suffix == QLatin1String("markdown")) {
        return NotesFormat::Markdown;
    }
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm")) {
        return NotesFormat::Html;
    }
    return std::nullopt;
}

QString safeFileName(const QString &title, const QString &fallback)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString name;
    for (const QChar c : title) {
        name += (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
                    || forbidden.contains(c))
            ? QLatin1Char('_')
            : (c.isSpace() ? QLatin1Char(' ') : c);
    }
    name = name.simplified();
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' '))) {
        name.remove(0, 1);
    }
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) {
        name.chop(1);
    }
    if (name.size() > 120) {
        name.truncate(120);
        if (name.at(name.size() - 1).isHighSurrogate()) {
            name.chop(1);
        }
        name = name.trimmed();
    }
    static const QStringList reserved { QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
        QStringLiteral("NUL"), QStringLiteral("COM1"), QStringLiteral("LPT1") };
    if (name.isEmpty() || reserved.contains(name.toUpper())) {
        return fallback;
    }
    return name;
}

NotesExporter::NotesExporter(Application::DocumentService *documents, Application::NoteService *notes,
    Application::ResourceService *resources, Application::TagService *noteTags, QObject *parent)
    : QObject(parent)
    , m_documents(documents)
    , m_notes(notes)
    , m_resources(resources)
    , m_tags(noteTags)
{
    if (auto *registry = Application::ServiceRegistry::instance()) {
        m_documents = m_documents ? m_documents : registry->documentService();
        m_notes = m_notes ? m_notes : registry->noteService();
        m_resources = m_resources ? m_resources : registry->resourceService();
        m_tags = m_tags ? m_tags : registry->tagService();
    }
}

NotesExporter::~NotesExporter() = default;

void NotesExporter::setBackendDocument(const QSharedPointer<Backend::Document> &document)
{
    // A file that is not open (locked, damaged) gives neither text nor pictures.
    m_backend = document && document->isValid() && !document->isLocked() ? document : nullptr;
}

QVector<NotesExporter::Entry> NotesExporter::orderedEntries(int documentId) const
{
    QVector<Entry> entries;
    // The tree holds each annotation once, those that no children list reaches included.
    const Application::AnnotationTree tree = m_notes->tree(documentId);
    // Depth first, so that every annotation is followed by those nested under it; siblings in page
    // order, the unreached after the listed ones.
    std::function<void(int, int)> visit = [&](int parentId, int depth) {
        QVector<Annotation> children;
        for (int id : tree.children(parentId)) {
            children.append(tree.annotation(id));
        }
        std::stable_sort(children.begin(), children.end(), [&tree](const Annotation &a, const Annotation &b) {
            if (tree.isUnreached(a.id()) != tree.isUnreached(b.id())) {
                return tree.isUnreached(b.id());
            }
            return Application::AnnotationTree::comesBefore(a, b);
        });
        for (const Annotation &child : qAsConst(children)) {
            Entry entry;
            entry.annotation = child;
            entry.depth = depth;
            entry.kind = kindOf(child);
            entries.append(entry);
            visit(child.id(), depth + 1);
        }
    };
    visit(tree.rootId(), 0);
    return entries;
}

void NotesExporter::readPage(const QSharedPointer<Backend::Document> &backend, Entry &entry)
{
    const Annotation &annotation = entry.annotation;
    const QPointF origin = annotation.position();
    QVector<Marker> marks { annotation.canvas() };
    marks += annotation.markers();
    if (!backend) {
        return;
    }

    QList<QRectF> textAreas;
    for (const Marker &mark : qAsConst(marks)) {
        if (isText(mark)) {
            for (const QRectF &rect : mark.shape().value<TextRects>()) {
                textAreas.append(rect.translated(origin));
            }
        }
    }
    if (!textAreas.isEmpty()) {
        if (const QSharedPointer<Backend::Page> page
            = backend->pageAt(annotation.pageIndex()).toStrongRef()) {
            entry.markedText = markedTextOf(*page, textAreas);
        }
        return;
    }

    // Areas and lines get a picture of the page under them, with the marks drawn over it.
    QRectF area;
    for (const Marker &mark : qAsConst(marks)) {
        if (!mark.isNull()) {
            area = area.united(boundsOf(mark, origin));
        }
    }
    const QSharedPointer<Backend::Page> page
        = area.isValid() ? backend->pageAt(annotation.pageIndex()).toStrongRef() : nullptr;
    if (!page) {
        return;
    }
    // Only the area is drawn, not the whole page.
    const double scale = kExcerptDpi / 72.0;
    const QRect pageRect(QPoint(0, 0), (page->pageSize() * scale).toSize());
    const QRect pixels
        = QRectF(area.topLeft() * scale, area.bottomRight() * scale).toAlignedRect() & pageRect;
    if (pixels.isEmpty()) {
        return;
    }
    const QImage rendered = page->renderImage(kExcerptDpi, kExcerptDpi, pixels);
    if (rendered.isNull()) {
        return;
    }
    QImage excerpt = rendered.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&excerpt);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-pixels.topLeft());
    painter.scale(scale, scale);
    painter.translate(origin);
    for (const Marker &mark : qAsConst(marks)) {
        paintMarker(painter, mark);
    }
    painter.end();
    entry.excerpt = excerpt;
}

bool NotesExporter::exportNotes(int documentId, const QString &filePath, NotesFormat format)
{
    m_error.clear();
    m_canceled = false;
    if (!m_documents || !m_notes || !m_resources) {
        m_error = tr("The library is not open.");
        return false;
    }
    const std::optional<Domain::Document> document = m_documents->find(documentId);
    if (!document) {
        m_error = tr("The document is not in the library.");
        return false;
    }
    QVector<Entry> entries;
    try {
        entries = orderedEntries(documentId);
    } catch (const std::exception &error) {
        m_error = tr("The notes of \"%1\" cannot be read: %2")
                      .arg(document->title(), QString::fromUtf8(error.what()));
        return false;
    }
    if (!m_backend) {
        const QFileInfo file(document->localUrl());
        if (file.isFile()) {
            QSharedPointer<Backend::Document> opened
                = BackendManager::instance()->openDocument(file.absoluteFilePath());
            if (opened) {
                // Excerpts show the marks, not the file's annotations they were made from.
                opened->setHiddenAnnotations(
                    PdfMarkImport(m_notes, documentId, document->hash()).replacedAnnotations());
            }
            setBackendDocument(opened);
        }
        if (!m_backend) {
            qInfo() << "Nod::Exchange::NotesExporter::exportNotes"
                    << "exporting without page text and pictures, file not readable:" << document->localUrl();
        }
    }

    const QFileInfo target(filePath);
    const QString folderName = target.completeBaseName() + QStringLiteral("_files");
    const QString folderPath = target.absoluteDir().filePath(folderName);
    const bool markdown = format == NotesFormat::Markdown;
    // The pictures' folder is replaced as a whole, so that no picture of an earlier export stays;
    // a folder of that name that an export did not write is never touched.
    const bool replacesFolder
        = markdown && (QFileInfo::exists(folderPath) || QFileInfo(folderPath).isSymLink());
    if (replacesFolder && !isExportFolder(folderPath)) {
        m_error = tr("The folder %1 holds files that were not written by an export of notes. Choose another "
                     "file name, or move the folder away.")
                      .arg(QDir::toNativeSeparators(folderPath));
        return false;
    }
    const QString folderReference = QString::fromLatin1(QUrl::toPercentEncoding(folderName));
    std::unique_ptr<QTemporaryDir> staging;
    QSet<QString> staged;
    QHash<QString, QString> dataUrls; // image hash -> data URL
    int ownerId = 0;

    auto stage = [&](const QString &name, const QByteArray &bytes) -> QString {
        if (!staging) {
            staging = std::make_unique<QTemporaryDir>(
                target.absoluteDir().filePath(QStringLiteral(".nodera-export-XXXXXX")));
            if (!staging->isValid()) {
                throw std::runtime_error(tr("Cannot write next to %1").arg(filePath).toStdString());
            }
        }
        if (!staged.contains(name)) {
            QFile file(staging->filePath(name));
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
                throw std::runtime_error(tr("Cannot write %1").arg(file.fileName()).toStdString());
            }
            staged.insert(name);
        }
        return folderReference + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(name));
    };
    auto dataUrl = [](const QString &mime, const QByteArray &bytes) {
        return QStringLiteral("data:") + mime + QStringLiteral(";base64,")
            + QString::fromLatin1(bytes.toBase64());
    };
    const ImageReference image = [&](const QString &hash) -> QString {
        if (!markdown && dataUrls.contains(hash)) {
            return dataUrls.value(hash);
        }
        QByteArray bytes;
        try {
            bytes = m_resources->existingResourceByByOwnerAndHash(ownerId, hash).data();
        } catch (const std::runtime_error &) {
            return {}; // the note names an image it no longer holds
        }
        const QString mime = mimeOf(bytes);
        if (mime.isEmpty()) {
            return {};
        }
        if (markdown) {
            return stage(hash.left(40) + QLatin1Char('.') + suffixOf(mime), bytes);
        }
        return dataUrls[hash] = dataUrl(mime, bytes);
    };

    QString out;
    const Annotation root = m_notes->documentNote(documentId);
    ownerId = root.id();
    const QVector<NoteBlock> rootNote = noteBlocks(root.noteText());
    if (markdown) {
        out += QStringLiteral("# ") + markdownEscaped(document->title()) + QStringLiteral("\n\n");
        for (const QString &paragraph : paragraphsOf(document->overview())) {
            out += markdownEscaped(paragraph) + QStringLiteral("\n\n");
        }
        if (!rootNote.isEmpty()) {
            out += markdownOf(rootNote, image) + QStringLiteral("\n\n");
        }
    } else {
        out += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\"/>\n<title>")
            + document->title().toHtmlEscaped() + QStringLiteral("</title>\n<style>")
            + QString::fromLatin1(kStyle) + QStringLiteral("</style>\n</head>\n<body>\n<h1>")
            + document->title().toHtmlEscaped() + QStringLiteral("</h1>\n");
        const QStringList overview = paragraphsOf(document->overview());
        if (!overview.isEmpty()) {
            out += QStringLiteral("<div class=\"overview\">\n");
            for (const QString &paragraph : overview) {
                out += QStringLiteral("<p>") + paragraph.toHtmlEscaped() + QStringLiteral("</p>\n");
            }
            out += QStringLiteral("</div>\n");
        }
        if (!rootNote.isEmpty()) {
            out += QStringLiteral("<div class=\"note\">\n") + htmlOf(rootNote, image)
                + QStringLiteral("</div>\n");
        }
    }

    int openSections = 0;
    try {
        for (int i = 0; i < entries.size(); ++i) {
            emit progressChanged(i, entries.size());
            if (m_canceled) {
                m_error = tr("The export was cancelled.");
                return false;
            }
            // The pages are read for a batch of annotations at once, on the worker threads; the
            // interface only waits for one batch between two progress reports.
            if (i % kBatch == 0) {
                const auto batch = entries.begin() + i;
                QtConcurrent::blockingMap(batch, batch + qMin(kBatch, int(entries.size()) - i),
                    [backend = m_backend](Entry &entry) { readPage(backend, entry); });
            }
            Entry &entry = entries[i];
            if (m_tags) {
                for (const Domain::Tag &tag : m_tags->tagsOfDocument(entry.annotation.id())) {
                    entry.tags.append(tag.name());
                }
                entry.tags.sort(Qt::CaseInsensitive);
            }
            const Annotation &annotation = entry.annotation;
            ownerId = annotation.id();
            const QVector<NoteBlock> note = noteBlocks(annotation.noteText());
            if (markdown) {
                out += QString(qMin(2 + entry.depth, 6), QLatin1Char('#')) + QLatin1Char(' ')
                    + markdownEscaped(headingOf(entry)) + QStringLiteral("\n\n");
                if (!entry.markedText.isEmpty()) {
                    out += QStringLiteral("> ") + markdownEscaped(entry.markedText) + QStringLiteral("\n\n");
                }
                if (!entry.excerpt.isNull()) {
                    out += QStringLiteral("![")
                        + markdownEscaped(tr("Excerpt of page %1").arg(annotation.pageIndex() + 1), false)
                        + QStringLiteral("](")
                        + stage(QStringLiteral("excerpt-%1.png").arg(annotation.id()), pngOf(entry.excerpt))
                        + QStringLiteral(")\n\n");
                }
                if (!note.isEmpty()) {
                    out += markdownOf(note, image) + QStringLiteral("\n\n");
                }
                if (!entry.tags.isEmpty()) {
                    QStringList tags;
                    for (const QString &tag : qAsConst(entry.tags)) {
                        tags.append(markdownEscaped(tag, false));
                    }
                    out += QStringLiteral("*") + tr("Tags:") + QStringLiteral("* ")
                        + tags.join(QStringLiteral(", ")) + QStringLiteral("\n\n");
                }
            } else {
                for (; openSections > entry.depth; --openSections) {
                    out += QStringLiteral("</section>\n");
                }
                const int level = qMin(2 + entry.depth, 6);
                out += QStringLiteral(
                    "<section class=\"annotation\" id=\"annotation-%1\" data-page=\"%2\">\n")
                           .arg(annotation.id())
                           .arg(annotation.pageIndex() + 1);
                ++openSections;
                out += QStringLiteral("<h%1>").arg(level) + headingOf(entry).toHtmlEscaped()
                    + QStringLiteral("</h%1>\n").arg(level);
                if (!entry.markedText.isEmpty()) {
                    out += QStringLiteral("<blockquote class=\"marked\">") + entry.markedText.toHtmlEscaped()
                        + QStringLiteral("</blockquote>\n");
                }
                if (!entry.excerpt.isNull()) {
                    out += QStringLiteral("<p><img class=\"excerpt\" alt=\"")
                        + tr("Excerpt of page %1").arg(annotation.pageIndex() + 1).toHtmlEscaped()
                        + QStringLiteral("\" src=\"")
                        + dataUrl(QStringLiteral("image/png"), pngOf(entry.excerpt))
                        + QStringLiteral("\"/></p>\n");
                }
                if (!note.isEmpty()) {
                    out += QStringLiteral("<div class=\"note\">\n") + htmlOf(note, image)
                        + QStringLiteral("</div>\n");
                }
                if (!entry.tags.isEmpty()) {
                    out += QStringLiteral("<p class=\"tags\">") + tr("Tags:").toHtmlEscaped();
                    for (const QString &tag : qAsConst(entry.tags)) {
                        out += QStringLiteral(" <span class=\"tag\">") + tag.toHtmlEscaped()
                            + QStringLiteral("</span>");
                    }
                    out += QStringLiteral("</p>\n");
                }
            }
        }
    } catch (const std::runtime_error &error) {
        m_error = QString::fromStdString(error.what());
        return false;
    }
    if (!markdown) {
        for (; openSections > 0; --openSections) {
            out += QStringLiteral("</section>\n");
        }
        out += QStringLiteral("</body>\n</html>\n");
    }
    emit progressChanged(entries.size(), entries.size());

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = tr("Cannot write %1: %2").arg(filePath, file.errorString());
        return false;
    }
    const QByteArray bytes = out.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        m_error = tr("Cannot write %1: %2").arg(filePath, file.errorString());
        return false;
    }
    // The pictures go into place just before the text that names them; the earlier folder is moved
    // aside first and removed once the text is in place.
    QString aside;
    if (replacesFolder) {
        aside = freeNameBeside(folderPath);
        if (!QDir().rename(folderPath, aside)) {
            m_error = tr("Cannot replace the folder %1").arg(QDir::toNativeSeparators(folderPath));
            file.cancelWriting();
            return false;
        }
    }
    const auto restoreFolder = [&] {
        if (!aside.isEmpty()) {
            QDir().rename(aside, folderPath);
        }
    };
    if (staging) {
        QFile mark(staging->filePath(kFolderMark));
        const QFileDevice::Permissions folderPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
            | QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
            | QFileDevice::ExeOther;
        if (!mark.open(QIODevice::WriteOnly) || mark.write(target.fileName().toUtf8()) < 0 || !mark.flush()
            || !QFile::setPermissions(staging->path(), folderPermissions)
            || !QDir().rename(staging->path(), folderPath)) {
            m_error = tr("Cannot write %1").arg(QDir::toNativeSeparators(folderPath));
            file.cancelWriting();
            restoreFolder();
            return false;
        }
        staging->setAutoRemove(false); // it is the folder now
    }
    if (!file.commit()) {
        m_error = tr("Cannot write %1: %2").arg(filePath, file.errorString());
        if (staging) {
            removeExportFolder(folderPath);
        }
        restoreFolder();
        return false;
    }
    if (!aside.isEmpty()) {
        removeExportFolder(aside);
    }
    return true;
}

} // namespace Nod::Exchange
