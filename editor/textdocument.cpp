#include "textdocument.h"

#include "imageintake.h"

#include <application/resourceservice.h>
#include <application/serviceregistry.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFragment>
#include <QTextImageFormat>

#include <exception>

namespace Nod::Presentation {

namespace {

// Explicit image sizes in pasted HTML are kept up to this width when the text is not wrapped.
constexpr int kWidestUnwrappedImage = 4096;

bool isImageHash(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{40}$"));
    return hex.match(text).hasMatch();
}

// Parses HTML without resolving anything it names: no style sheet, background or image is read.
class InertDocument final : public QTextDocument
{
protected:
    QVariant loadResource(int type, const QUrl &) override
    {
        return type == ImageResource ? QVariant(TextDocument::placeholderImage()) : QVariant();
    }
};

// The names of the images in the text, one entry per image character, in document order.
struct ImageChar
{
    int position;
    QTextImageFormat format;
};

QVector<ImageChar> imageChars(const QTextDocument &document)
{
    QVector<ImageChar> found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat()) {
                continue;
            }
            const QTextImageFormat format = fragment.charFormat().toImageFormat();
            for (int i = 0; i < fragment.length(); ++i) {
                found.append({ fragment.position() + i, format });
            }
        }
    }
    return found;
}

QSet<QString> databaseNames(const QTextDocument &document)
{
    QSet<QString> names;
    const QVector<ImageChar> images = imageChars(document);
    for (const ImageChar &image : images) {
        const QUrl url(image.format.name());
        if (url.scheme() == TextDocument::imageScheme()) {
            names.insert(url.path());
        }
    }
    return names;
}

} // namespace

TextDocument::TextDocument(int ownerId, Application::ResourceService *resources, QObject *parent)
    : QTextDocument(parent)
    , m_ownerId(ownerId)
    , m_resources(resources)
{ }

TextDocument::~TextDocument() = default;

Application::ResourceService *TextDocument::resources() const
{
    if (m_resources) {
        return m_resources;
    }
    Application::ServiceRegistry *registry = Application::ServiceRegistry::instance();
    return registry ? registry->resourceService() : nullptr;
}

QImage TextDocument::placeholderImage()
{
    static const QImage placeholder = [] {
        QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(0xee, 0xee, 0xee));
        QPainter painter(&image);
        painter.setPen(QColor(0x99, 0x99, 0x99));
        painter.drawRect(0, 0, 15, 15);
        painter.drawLine(4, 4, 11, 11);
        painter.drawLine(11, 4, 4, 11);
        return image;
    }();
    return placeholder;
}

int TextDocument::displayWidth() const
{
    const qreal width = textWidth();
    if (width < 0) {
        return 0;
    }
    return qMax(16, int(width - 2 * documentMargin()) - 1);
}

QUrl TextDocument::addImage(const QByteArray &bytes)
{
    Application::ResourceService *service = resources();
    if (!service) {
        qWarning() << "TextDocument::addImage"
                   << "no resource store";
        return QUrl();
    }
    if (!ImageIntake::isAcceptable(bytes)) {
        qWarning() << "TextDocument::addImage"
                   << "not a picture, or over the size limits:" << bytes.size() << "bytes";
        refuse(ImageIntake::refusal(bytes));
        return QUrl();
    }
    const QSize size = ImageIntake::declaredSize(bytes);
    const QImage image = ImageIntake::decode(bytes, displayWidth());
    if (image.isNull()) {
        qWarning() << "TextDocument::addImage"
                   << "image does not decode";
        refuse(tr("The picture's data is damaged."));
        return QUrl();
    }
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    try {
        service->handle({ m_ownerId, hash, size, bytes });
    } catch (const std::exception &e) {
        qWarning() << "TextDocument::addImage"
                   << "image not stored:" << e.what();
        refuse(tr("The picture could not be stored: %1").arg(QString::fromUtf8(e.what())));
        return QUrl();
    }
    QUrl url(QString::fromLatin1(hash));
    url.setScheme(imageScheme());
    addResource(ImageResource, url, image);
    m_displayed.insert(QString::fromLatin1(hash), Shown { size.width(), image.width() });
    return url;
}

void TextDocument::refuse(const QString &reason)
{
    if (!reason.isEmpty() && !m_refusals.contains(reason)) {
        m_refusals << reason;
    }
}

QStringList TextDocument::takeRefusals()
{
    QStringList refusals;
    refusals.swap(m_refusals);
    return refusals;
}

QImage TextDocument::imageForDisplay(const QString &hash)
{
    Application::ResourceService *service = resources();
    if (!service || !isImageHash(hash)) {
        qWarning() << "TextDocument::loadResource"
                   << "missing image:" << hash;
        return QImage();
    }
    Domain::Resource resource;
    try {
        resource = service->existingResourceByByOwnerAndHash(m_ownerId, hash);
    } catch (const std::exception &e) {
        qWarning() << "TextDocument::loadResource"
                   << "missing image:" << e.what();
        return QImage();
    }
    const QImage image = ImageIntake::decode(resource.data(), displayWidth());
    if (image.isNull()) {
        qWarning() << "TextDocument::loadResource"
                   << "stored image does not decode:" << hash;
        return QImage();
    }
    m_displayed.insert(hash, Shown { ImageIntake::declaredSize(resource.data()).width(), image.width() });
    return image;
}

QVariant TextDocument::loadResource(int type, const QUrl &name)
{
    // Anything but a picture is refused: the base class would read local files for it.
    if (type != ImageResource) {
        return QVariant();
    }
    QImage image;
    if (name.scheme() == imageScheme()) {
        image = imageForDisplay(name.path());
    } else if (name.scheme() == QLatin1String("http") || name.scheme() == QLatin1String("https")) {
        qInfo() << "TextDocument::loadResource"
                << "canot support schema:" << name.scheme();
    } else {
        qInfo() << "TextDocument::loadResource"
                << "refused image of scheme:" << name.scheme();
    }
    // Never null: the text layout reads the file itself when a document gives it no image.
    if (image.isNull()) {
        image = placeholderImage();
    }
    addResource(type, name, image);
    return image;
}

void TextDocument::fitImagesToWidth()
{
    const int width = displayWidth();
    bool changed = false;
    const QStringList hashes = m_displayed.keys();
    for (const QString &hash : hashes) {
        const Shown shown = m_displayed.value(hash);
        const int wanted = width > 0 ? qMin(shown.own, width) : shown.own;
        if (wanted == shown.width) {
            continue;
        }
        const QImage image = imageForDisplay(hash);
        if (image.isNull()) {
            continue;
        }
        QUrl url(hash);
        url.setScheme(imageScheme());
        addResource(ImageResource, url, image);
        changed = true;
    }
    if (changed) {
        markContentsDirty(0, characterCount());
    }
}

QSet<QString> TextDocument::usedImageNames() const { return databaseNames(*this); }

QSet<QString> TextDocument::usedImageNames(const QString &html)
{
    InertDocument document;
    document.setHtml(html);
    return databaseNames(document);
}

void TextDocument::removeUnusedImages()
{
    const QSet<QString> used = usedImageNames();
    Application::ResourceService *service = resources();
    if (!service || m_ownerId <= 0) {
        return;
    }
    try {
        const QVector<Domain::Resource> stored = service->resources(m_ownerId);
        for (const Domain::Resource &resource : stored) {
            if (!used.contains(resource.hash())) {
                service->remove(resource.id());
            }
        }
    } catch (const std::exception &e) {
        qWarning() << "TextDocument::removeUnusedImages" << e.what();
    }
}

int TextDocument::removeUnusedImages(
    Application::ResourceService *resources, int ownerId, const QString &storedHtml)
{
    if (!resources || ownerId <= 0) {
        return 0;
    }
    const QSet<QString> used = usedImageNames(storedHtml);
    int removed = 0;
    try {
        const QVector<Domain::Resource> stored = resources->resources(ownerId);
        for (const Domain::Resource &resource : stored) {
            if (!used.contains(resource.hash())) {
                resources->remove(resource.id());
                ++removed;
            }
        }
    } catch (const std::exception &e) {
        qWarning() << "TextDocument::removeUnusedImages" << e.what();
    }
    return removed;
}

QStringList TextDocument::insertImageFiles(QTextCursor &cursor, const QStringList &paths)
{
    QStringList errors;
    QSet<QByteArray> supported;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const QByteArray &format : formats) {
        supported.insert(format.toLower());
    }
    for (const QString &path : paths) {
        if (!supported.contains(QFileInfo(path).suffix().toLower().toLatin1())) {
            continue;
        }
        QString reason;
        const QByteArray bytes = ImageIntake::readLocalFile(path, ImageIntake::maxImageBytes, &reason);
        if (bytes.isEmpty()) {
            qWarning() << "read"
                       << "can't open file: " << path << reason;
            errors << (QFileInfo(path).size() > ImageIntake::maxImageBytes
                    ? tr("%1: %2").arg(
                        QDir::toNativeSeparators(path), ImageIntake::refusal(QFileInfo(path).size()))
                    : tr("Can't open file: %1").arg(QDir::toNativeSeparators(path)));
            continue;
        }
        const QUrl url = addImage(bytes);
        if (url.isEmpty()) {
            errors << tr("%1: %2").arg(QDir::toNativeSeparators(path), takeRefusals().join(QLatin1Char(' ')));
            continue;
        }
        QTextImageFormat format;
        format.setName(url.toString());
        cursor.insertImage(format);
    }
    return errors;
}

void TextDocument::insertImagesFromDialog(QTextCursor &cursor, QWidget *parent)
{
    const QStringList paths = QFileDialog::getOpenFileNames(
        parent, tr("Select one or more files to open"), QString(), tr("Images (*.png *.xpm *.jpg)"));
    const QStringList errors = insertImageFiles(cursor, paths);
    if (!errors.isEmpty()) {
        QMessageBox::warning(parent, tr("Insert Image"), errors.join(QLatin1Char('\n')));
    }
}

bool TextDocument::insertImage(QTextCursor &cursor, const QImage &image)
{
    const QByteArray bytes = ImageIntake::encodePng(image);
    if (bytes.isEmpty()) {
        qWarning() << "TextDocument::insertImage"
                   << "picture refused, size:" << image.size();
        refuse(ImageIntake::refusal(image.size()));
        return false;
    }
    const QUrl url = addImage(bytes);
    if (url.isEmpty()) {
        return false;
    }
    const QTextBlockFormat blockFormat = cursor.blockFormat();
    const QTextCharFormat charFormat = cursor.charFormat();
    QTextBlockFormat imageBlock;
    imageBlock.setLineHeight(10, QTextBlockFormat::LineDistanceHeight);
    QTextImageFormat format;
    format.setName(url.toString());
    cursor.beginEditBlock();
    cursor.insertBlock(imageBlock);
    cursor.insertImage(format);
    cursor.insertBlock(blockFormat);
    cursor.setBlockFormat(blockFormat);
    cursor.setCharFormat(charFormat);
    cursor.endEditBlock();
    return true;
}

QString TextDocument::importImageName(
    const QString &name, qint64 &budget, const QHash<QString, QByteArray> &carried)
{
    const QString text = name.trimmed();
    const QString databasePrefix = imageScheme() + QLatin1Char(':');
    const qint64 cap = qMin<qint64>(ImageIntake::maxImageBytes, budget);
    QByteArray bytes;
    if (text.startsWith(databasePrefix)) {
        const QString hash = text.mid(databasePrefix.size());
        Application::ResourceService *service = resources();
        if (!service || !isImageHash(hash)) {
            return QString();
        }
        try {
            service->existingResourceByByOwnerAndHash(m_ownerId, hash);
            return text;
        } catch (const std::exception &) { }
        // Another note's picture: this note gets its own copy of the bytes the copy brought along.
        // Without them it is not this note's to show.
        bytes = carried.value(hash);
        if (bytes.isEmpty()) {
            qInfo() << "TextDocument::importHtml"
                    << "picture of another note dropped:" << hash;
            return QString();
        }
        if (bytes.size() > cap) {
            refuse(ImageIntake::refusal(qint64(bytes.size())));
            return QString();
        }
    } else if (text.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        bytes = ImageIntake::decodeDataUrl(text, cap);
        if (bytes.isEmpty()) {
            qInfo() << "TextDocument::importHtml"
                    << "data image dropped: malformed or over" << cap << "bytes";
            refuse(ImageIntake::refusal(qint64(text.size()) / 4 * 3));
            return QString();
        }
    } else {
        const QUrl url(text);
        QString path;
        if (url.isLocalFile()) {
            path = url.toLocalFile();
        } else if (url.scheme().isEmpty() && QDir::isAbsolutePath(text)
            && !text.startsWith(QLatin1Char(':'))) {
            path = text;
        } else {
            qInfo() << "TextDocument::importHtml"
                    << "image dropped, scheme:" << url.scheme();
            return QString();
        }
        QString reason;
        bytes = ImageIntake::readLocalFile(path, cap, &reason);
        if (bytes.isEmpty()) {
            qInfo() << "TextDocument::importHtml"
                    << "image dropped:" << path << reason;
            refuse(ImageIntake::refusal(QFileInfo(path).size()));
            return QString();
        }
    }
    const QUrl stored = addImage(bytes);
    if (stored.isEmpty()) {
        return QString();
    }
    budget -= bytes.size();
    return stored.toString();
}

QTextDocumentFragment TextDocument::importHtml(const QString &html, const QHash<QString, QByteArray> &carried)
{
    InertDocument scratch;
    scratch.setHtml(html);
    const QVector<ImageChar> images = imageChars(scratch);

    // Decided in reading order, so the budget goes to the first pictures.
    qint64 budget = maxPasteBytes;
    QHash<QString, QString> decided;
    QStringList names;
    for (const ImageChar &image : images) {
        const QString name = image.format.name();
        if (!decided.contains(name)) {
            decided.insert(name, importImageName(name, budget, carried));
        }
        names << decided.value(name);
    }

    // Applied backwards so the positions still hold.
    const int widest = displayWidth() > 0 ? displayWidth() : kWidestUnwrappedImage;
    QTextCursor cursor(&scratch);
    for (int i = images.size() - 1; i >= 0; --i) {
        cursor.setPosition(images[i].position);
        cursor.setPosition(images[i].position + 1, QTextCursor::KeepAnchor);
        if (names[i].isEmpty()) {
            cursor.removeSelectedText();
            continue;
        }
        QTextImageFormat format = images[i].format;
        format.setName(names[i]);
        if (format.width() > widest) {
            if (format.height() > 0) {
                format.setHeight(format.height() * widest / format.width());
            }
            format.setWidth(widest);
        }
        cursor.setCharFormat(format);
    }
    return QTextDocumentFragment(&scratch);
}

bool TextDocument::insertFromMimeData(QTextCursor &cursor, const QMimeData *source)
{
    if (!source) {
        return false;
    }
    if (source->hasImage()) {
        return insertImage(cursor, qvariant_cast<QImage>(source->imageData()));
    }
    if (source->hasHtml()) {
        QHash<QString, QByteArray> carried;
        if (source->hasFormat(pictureMimeType())) {
            QDataStream stream(source->data(pictureMimeType()));
            stream >> carried;
            if (stream.status() != QDataStream::Ok) {
                carried.clear();
            }
        }
        cursor.insertFragment(importHtml(source->html(), carried));
        return true;
    }
    if (source->hasUrls()) {
        QStringList paths;
        const QList<QUrl> urls = source->urls();
        for (const QUrl &url : urls) {
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
            }
        }
        if (!paths.isEmpty()) {
            const int before = cursor.position();
            const QStringList errors = insertImageFiles(cursor, paths);
            for (const QString &error : errors) {
                qWarning() << "TextDocument::insertFromMimeData" << error;
                refuse(error);
            }
            if (cursor.position() != before) {
                return true;
            }
        }
    }
    const QString text = source->text();
    if (text.isEmpty()) {
        return false;
    }
    cursor.insertText(text);
    return true;
}

QMimeData *TextDocument::createMimeData(const QTextCursor &selection)
{
    auto *data = new QMimeData;
    if (!selection.hasSelection()) {
        return data;
    }
    const QTextDocumentFragment fragment(selection);
    data->setText(fragment.toPlainText());
    data->setHtml(fragment.toHtml("utf-8"));
    Application::ResourceService *service = resources();
    const QSet<QString> names = usedImageNames(fragment.toHtml("utf-8"));
    QHash<QString, QByteArray> carried;
    for (const QString &hash : names) {
        if (!service || !isImageHash(hash)) {
            continue;
        }
        try {
            carried.insert(hash, service->existingResourceByByOwnerAndHash(m_ownerId, hash).data());
        } catch (const std::exception &e) {
            qWarning() << "TextDocument::createMimeData"
                       << "picture not copied:" << e.what();
        }
    }
    if (!carried.isEmpty()) {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << carried;
        data->setData(pictureMimeType(), bytes);
    }
    return data;
}

} // namespace Nod::Presentation
