#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QUrl;

namespace Nod::Presentation {

// Reads and decodes images that come from outside the database: files the user picks, paths and
// data URLs inside pasted HTML, the clipboard. Everything here runs on the interface thread, so no
// read may block (a FIFO), grow without bound (/dev/zero) or decode a picture whose pixels would
// exhaust memory. Sizes are checked before any byte is decoded.
class ImageIntake final
{
public:
    // Limits of one image: its file's bytes and its pixels.
    static constexpr qint64 maxImageBytes = 16 * 1024 * 1024;
    static constexpr qint64 maxImagePixels = 40 * 1000 * 1000;

    // The bytes of a regular file of at most `maxBytes`; empty, with `error` set, for anything else
    // (missing, unreadable, a directory, FIFO, socket or device, too large).
    static QByteArray readLocalFile(const QString &path, qint64 maxBytes, QString *error = nullptr);
    // The payload of a "data:" URL text, or empty when it is malformed or decodes to more than
    // `maxBytes`.
    static QByteArray decodeDataUrl(const QString &text, qint64 maxBytes);

    // The pixel size the bytes declare, read from the header only; invalid when unknown.
    static QSize declaredSize(const QByteArray &bytes);
    // True when the bytes are within the byte cap and declare a size within the pixel cap.
    static bool isAcceptable(const QByteArray &bytes);
    // Decodes acceptable bytes, scaled down (aspect kept) to at most `maxWidth` pixels wide when
    // `maxWidth` > 0. A null image for bytes that are not acceptable or do not decode.
    static QImage decode(const QByteArray &bytes, int maxWidth = 0);
    // The image as PNG bytes; empty when it is null or over the pixel cap.
    static QByteArray encodePng(const QImage &image);

    // Why a note refuses these bytes, or the size of a picture, in words for the user; empty when
    // it does not.
    static QString refusal(const QByteArray &bytes);
    static QString refusal(const QSize &pixels);
    static QString refusal(qint64 byteCount);
};

} // namespace Nod::Presentation
