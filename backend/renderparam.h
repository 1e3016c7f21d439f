#pragma once

#include <backend/colortreatment.h>

#include <QColor>
#include <QImage>
#include <QMetaType>
#include <QRect>
#include <QSharedDataPointer>
#include <QVector>

namespace Nod::Domain {
class BackgroundMode;
}

// How a page is to be rendered: resolution, device pixel ratio, zoom and the colour treatment of
// the current background mode. Implicitly shared, so it travels cheaply through queued signals.
class RenderParam final
{
public:
    // Colour-treatment bits, applied in the order multiply, grey, invert.
    enum Flag { Invert = 1, Grey = 2, Crop = 4, Multiply = 8 };

    RenderParam();
    RenderParam(int resolutionX, int resolutionY, double devicePixelRatio, double scaleFactor, int flags = 0,
        const QColor &color = QColor());
    // Resolution 72 × 72 with the mode's colour treatment.
    explicit RenderParam(const Nod::Domain::BackgroundMode &backgroundMode);
    RenderParam(const RenderParam &other);
    RenderParam &operator=(const RenderParam &other);
    ~RenderParam();

    // The process-wide parameter with the default values.
    static const RenderParam &defaultParam();

    int resolutionX() const;
    void setResolutionX(int resolution);
    int resolutionY() const;
    void setResolutionY(int resolution);
    double devicePixelRatio() const;
    void setDevicePixelRatio(double ratio);
    double scaleFactor() const;
    void setScaleFactor(double factor);
    int flags() const;
    void setFlags(int flags);
    QColor color() const;
    void setColor(const QColor &color);
    // Whether the colour treatment leaves the page's pictures as the default mode shows them.
    bool keepPictures() const;
    void setKeepPictures(bool keep);
    // Whether the flags change the colours of a render at all.
    bool treatsColors() const { return flags() & (Multiply | Grey | Invert); }

    // Dots per inch of the rendered image: resolution × device pixel ratio × zoom.
    double renderXres() const;
    double renderYres() const;

    // The cache key part of the parameter, in the framework's data-stream encoding.
    QByteArray key() const;

    // The treatment the flags and colour describe.
    ColorTreatment colorTreatment() const { return ColorTreatment(flags(), color()); }
    // Applies the multiply, grey and invert bits in place, but for the kept rectangles (image
    // pixels), which come out as they went in; stops (returning false) when cancelled() turns true
    // before the work or between bands of rows.
    template <typename Cancelled>
    bool applyColorTreatment(QImage &image, Cancelled cancelled, const QVector<QRect> &kept = {}) const;

    bool operator==(const RenderParam &other) const;
    bool operator!=(const RenderParam &other) const { return !(*this == other); }

private:
    class Data;
    QSharedDataPointer<Data> d;

    // Makes the image one of packed 32-bit pixels the treatment can work on in place.
    static void preparePixels(QImage &image);
};

template <typename Cancelled>
bool RenderParam::applyColorTreatment(QImage &image, Cancelled cancelled, const QVector<QRect> &kept) const
{
    const ColorTreatment treatment = colorTreatment();
    if (treatment.isIdentity()) {
        return !cancelled();
    }
    if (cancelled()) {
        return false;
    }
    preparePixels(image);
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        if (y % 128 == 127 && cancelled()) {
            return false;
        }
        treatment.applyToRow(reinterpret_cast<quint32 *>(image.scanLine(y)), y, 0, width, kept);
    }
    return !cancelled();
}

Q_DECLARE_METATYPE(RenderParam)
