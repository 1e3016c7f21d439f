#include "linkpolicy.h"

#include <QDir>
#include <QFileInfo>

LinkPolicy::Verdict LinkPolicy::classify(const QUrl &url, const QString &baseDir)
{
    if (!url.isValid()) {
        return Refuse;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        return url.host().isEmpty() ? Refuse : OpenExternally;
    }
    if (scheme == QLatin1String("mailto")) {
        return url.path().isEmpty() ? Refuse : OpenExternally;
    }
    if (scheme == QLatin1String("file")) {
        const QString path = localDocumentPath(url, baseDir);
        const QString suffix = QFileInfo(path).suffix().toLower();
        if ((suffix == QLatin1String("pdf") || suffix == QLatin1String("epub")) && QFileInfo(path).isFile()) {
            return OpenDocumentInside;
        }
    }
    return Refuse;
}

QString LinkPolicy::localDocumentPath(const QUrl &url, const QString &baseDir)
{
    // MuPDF writes a launch or remote go-to of "sub/x.pdf" as "file://sub/x.pdf": what looks like
    // a host is the first folder of a path relative to the document.
    const QString host = url.host();
    QString path = url.path();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) {
        path = host + path;
    }
    const QFileInfo info(
        QDir::isRelativePath(path) && !baseDir.isEmpty() ? QDir(baseDir).filePath(path) : path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString LinkPolicy::toolTipFor(const QUrl &url)
{
    QString text = url.toDisplayString();
    constexpr int limit = 200;
    if (text.size() > limit) {
        text = text.left(limit) + QChar(0x2026);
    }
    return QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped());
}
