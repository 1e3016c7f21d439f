#include "documentformat.h"

#include "ziparchive.h"

#include <QDir>
#include <QMimeDatabase>
#include <QUrl>
#include <QXmlStreamReader>

namespace Nod::Library {

namespace {

// Both files are a few kilobytes in any real book.
constexpr qint64 MaxContainerSize = 1 << 20;
constexpr qint64 MaxPackageSize = 16 << 20;

// The package named by the container's first root file, as the reader takes it.
QString packagePath(const QByteArray &container)
{
    QXmlStreamReader xml(container);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("rootfile")) {
            return xml.attributes().value(QLatin1String("full-path")).toString();
        }
    }
    return {};
}

// The archive paths of the chapters in the package's reading order; hrefs are URLs relative to the
// package's folder. Empty when the package cannot be read.
QStringList chapterPaths(const QByteArray &package, const QString &packagePath)
{
    QHash<QString, QString> manifest; // id -> href
    QStringList spine; // idrefs
    QXmlStreamReader xml(package);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("item")) {
            manifest.insert(attributes.value(QLatin1String("id")).toString(),
                attributes.value(QLatin1String("href")).toString());
        } else if (xml.name() == QLatin1String("itemref")) {
            spine.append(attributes.value(QLatin1String("idref")).toString());
        }
    }
    if (xml.hasError()) {
        return {};
    }
    const int slash = packagePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : packagePath.left(slash + 1);
    QStringList paths;
    for (const QString &idref : spine) {
        const QString href = manifest.value(idref);
        if (href.isEmpty()) {
            continue; // the reader skips a reference to nothing
        }
        const QString path = QDir::cleanPath(
            folder + QUrl::fromPercentEncoding(href.section(QLatin1Char('#'), 0, 0).toUtf8()));
        paths.append(path);
    }
    return paths;
}

bool isReadableEpub(const QString &path)
{
    const ZipArchive zip(path);
    if (!zip.isValid()) {
        return false;
    }
    const QByteArray container = zip.read(QStringLiteral("META-INF/container.xml"), MaxContainerSize);
    if (container.isNull()) {
        return false;
    }
    const QString package = QDir::cleanPath(packagePath(container));
    if (package.isEmpty() || !zip.contains(package)) {
        return false;
    }
    const QStringList chapters = chapterPaths(zip.read(package, MaxPackageSize), package);
    if (chapters.isEmpty()) {
        return false;
    }
    for (const QString &chapter : chapters) {
        if (!zip.contains(chapter)) {
            return false;
        }
    }
    return true;
}

} // namespace

DocumentFormat documentFormat(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent);
    if (type.inherits(QStringLiteral("application/pdf"))) {
        return DocumentFormat::Pdf;
    }
    // A book with a leading "mimetype" entry is told apart already, one without it is a plain zip;
    // either way it has to hold what the reader needs.
    if (type.inherits(QStringLiteral("application/epub+zip"))
        || type.inherits(QStringLiteral("application/zip"))) {
        return isReadableEpub(path) ? DocumentFormat::Epub : DocumentFormat::Unsupported;
    }
    return DocumentFormat::Unsupported;
}

} // namespace Nod::Library
