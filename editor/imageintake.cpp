#include "imageintake.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Nod::Presentation {

namespace {

// Raster formats only: an SVG may name further files that its renderer would read.
bool isRasterFormat(const QByteArray &format)
{
    static const QList<QByteArray> accepted { "png", "jpeg", "jpg", "gif", "bmp", "ico", "xpm", "xbm", "ppm",
        "pgm", "pbm" };
    return accepted.contains(format.toLower());
}

// The XPM reader allocates the size its header claims before reading a single pixel row, and does
// not report that size through QImageReader, so the header is read here.
QSize xpmHeaderSize(const QByteArray &bytes)
{
    static const QRegularExpression header(QStringLiteral("\"\\s*(\\d{1,9})\\s+(\\d{1,9})\\s+\\d+\\s+\\d+"));
    const QRegularExpressionMatch match = header.match(QString::fromLatin1(bytes.left(4096)));
    if (!match.hasMatch()) {
        return QSize();
    }
    return QSize(match.captured(1).toInt(), match.captured(2).toInt());
}

bool withinPixelCap(const QSize &size)
{
    return size.isValid() && !size.isEmpty()
        && qint64(size.width()) * qint64(size.height()) <= ImageIntake::maxImagePixels;
}

} // namespace

QByteArray ImageIntake::readLocalFile(const QString &path, qint64 maxBytes, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error) {
            *error = message;
        }
        return QByteArray();
    };
    if (path.isEmpty()) {
        return fail(QStringLiteral("no file name"));
    }
#ifdef Q_OS_UNIX
    // Opened without blocking and checked on the open handle, so a path swapped for a FIFO or a
    // device between a check and the read cannot hang or flood the program.
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return fail(QStringLiteral("can't open file"));
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a regular file"));
    }
    if (status.st_size > maxBytes) {
        ::close(fd);
        return fail(QStringLiteral("file too large"));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QStringLiteral("can't open file"));
    }
#else
    const QFileInfo info(path);
    if (!info.isFile()) {
        return fail(QStringLiteral("not a regular file"));
    }
    if (info.size() > maxBytes) {
        return fail(QStringLiteral("file too large"));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("can't open file"));
    }
#endif
    // The file may grow after the size check; never read past the cap.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        return fail(QStringLiteral("file too large"));
    }
    if (bytes.isEmpty()) {
        return fail(QStringLiteral("empty file"));
    }
    return bytes;
}

QByteArray ImageIntake::decodeDataUrl(const QString &text, qint64 maxBytes)
{
    if (!text.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        return QByteArray();
    }
    const int comma = text.indexOf(QLatin1Char(','));
    if (comma < 0) {
        return QByteArray();
    }
    const QStringRef header = text.midRef(5, comma - 5);
    const bool base64 = header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive);
    const qint64 payloadLength = text.size() - comma - 1;
    // Checked on the text first, so that an oversized payload is never decoded.
    const qint64 longestAccepted = base64 ? (maxBytes + 2) / 3 * 4 + 64 : maxBytes * 3;
    if (payloadLength <= 0 || payloadLength > longestAccepted) {
        return QByteArray();
    }
    const QByteArray payload = text.midRef(comma + 1).toLatin1();
    QByteArray bytes;
    if (base64) {
        const QByteArray::FromBase64Result result
            = QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
        if (!result) {
            return QByteArray();
        }
        bytes = result.decoded;
    } else {
        bytes = QByteArray::fromPercentEncoding(payload);
    }
    if (bytes.size() > maxBytes) {
        return QByteArray();
    }
    return bytes;
}

QSize ImageIntake::declaredSize(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    if (!isRasterFormat(format)) {
        return QSize();
    }
    if (format == "xpm") {
        return xpmHeaderSize(bytes);
    }
    return reader.size();
}

bool ImageIntake::isAcceptable(const QByteArray &bytes)
{
    return !bytes.isEmpty() && bytes.size() <= maxImageBytes && withinPixelCap(declaredSize(bytes));
}

QImage ImageIntake::decode(const QByteArray &bytes, int maxWidth)
{
    if (!isAcceptable(bytes)) {
        return QImage();
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = declaredSize(bytes);
    if (maxWidth > 0 && size.width() > maxWidth) {
        const int height = qMax(1, qRound(double(size.height()) * maxWidth / size.width()));
        reader.setScaledSize(QSize(maxWidth, height));
    }
    QImage image = reader.read();
    // A header that understated the size must not slip an oversized picture through.
    if (!withinPixelCap(image.size())) {
        return QImage();
    }
    return image;
}

QByteArray ImageIntake::encodePng(const QImage &image)
{
    if (image.isNull() || !withinPixelCap(image.size())) {
        return QByteArray();
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return QByteArray();
    }
    return bytes;
}

QString ImageIntake::refusal(const QSize &pixels)
{
    if (withinPixelCap(pixels)) {
        return QString();
    }
    if (!pixels.isValid() || pixels.isEmpty()) {
        return QCoreApplication::translate("ImageIntake", "The data is not a picture that a note can show.");
    }
    return QCoreApplication::translate(
        "ImageIntake", "The picture has %1 × %2 pixels; a note takes pictures of at most %3 megapixels.")
        .arg(pixels.width())
        .arg(pixels.height())
        .arg(maxImagePixels / 1000000);
}

QString ImageIntake::refusal(qint64 byteCount)
{
    if (byteCount <= maxImageBytes) {
        return QString();
    }
    return QCoreApplication::translate(
        "ImageIntake", "The picture takes %1 MiB; a note takes pictures of at most %2 MiB.")
        .arg(double(byteCount) / (1024 * 1024), 0, 'f', 1)
        .arg(maxImageBytes / (1024 * 1024));
}

QString ImageIntake::refusal(const QByteArray &bytes)
{
    const QString tooLarge = refusal(qint64(bytes.size()));
    return tooLarge.isEmpty() ? refusal(declaredSize(bytes)) : tooLarge;
}

} // namespace Nod::Presentation
