#include "renderparam.h"

#include <domain/backgroundmode.h>

#include <QDataStream>
#include <QImage>
#include <QSharedData>

#include <algorithm>
#include <cmath>
#include <cstring>

class RenderParam::Data final : public QSharedData
{
public:
    int resolutionX = 72;
    int resolutionY = 72;
    double devicePixelRatio = 1.0;
    double scaleFactor = 1.0;
    int flags = 0;
    QColor color;
    bool keepPictures = false;
};

namespace {

const int s_registered = qRegisterMetaType<RenderParam>("RenderParam");

int div255(int x) { return (x + (x >> 8) + 0x80) >> 8; }

bool isPacked32(const QImage &image)
{
    return image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32
        || image.format() == QImage::Format_ARGB32_Premultiplied;
}

// Replaces each channel value v of every pixel by op(v, k), with k the colour's value for that
// channel. Renders are opaque; the alpha channel goes through op with k = 255, which leaves an
// opaque alpha as it is. Plain byte arithmetic, which the compiler turns into vector code.
template <typename Op> void mapChannels(QImage &image, const QColor &color, Op op)
{
    if (!isPacked32(image)) {
        image = image.convertToFormat(QImage::Format_ARGB32);
    }
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "packed pixels are read as B, G, R, A bytes");
    const int kb = color.blue();
    const int kg = color.green();
    const int kr = color.red();
    const int width = image.width();
    const int height = image.height();
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = 0; y < height; ++y) {
        uchar *p = bits + y * stride;
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = uchar(op(p[0], kb));
            p[1] = uchar(op(p[1], kg));
            p[2] = uchar(op(p[2], kr));
            p[3] = uchar(op(p[3], 255));
        }
    }
}

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= qMin(std::abs(a), std::abs(b)) || a == b;
}

} // namespace

RenderParam::RenderParam()
    : d(new Data)
{ }

RenderParam::RenderParam(int resolutionX, int resolutionY, double devicePixelRatio, double scaleFactor,
    int flags, const QColor &color)
    : d(new Data)
{
    d->resolutionX = resolutionX;
    d->resolutionY = resolutionY;
    d->devicePixelRatio = devicePixelRatio;
    d->scaleFactor = scaleFactor;
    d->flags = flags;
    d->color = color;
}

RenderParam::RenderParam(const Nod::Domain::BackgroundMode &backgroundMode)
    : d(new Data)
{
    d->flags = backgroundMode.mode();
    d->color = backgroundMode.color();
}

RenderParam::RenderParam(const RenderParam &other) = default;
RenderParam &RenderParam::operator=(const RenderParam &other) = default;
RenderParam::~RenderParam() = default;

const RenderParam &RenderParam::defaultParam()
{
    static const RenderParam param;
    return param;
}

int RenderParam::resolutionX() const { return d->resolutionX; }
void RenderParam::setResolutionX(int resolution) { d->resolutionX = resolution; }
int RenderParam::resolutionY() const { return d->resolutionY; }
void RenderParam::setResolutionY(int resolution) { d->resolutionY = resolution; }
double RenderParam::devicePixelRatio() const { return d->devicePixelRatio; }
void RenderParam::setDevicePixelRatio(double ratio) { d->devicePixelRatio = ratio; }
double RenderParam::scaleFactor() const { return d->scaleFactor; }
void RenderParam::setScaleFactor(double factor) { d->scaleFactor = factor; }
int RenderParam::flags() const { return d->flags; }
void RenderParam::setFlags(int flags) { d->flags = flags; }
QColor RenderParam::color() const { return d->color; }
void RenderParam::setColor(const QColor &color) { d->color = color; }
bool RenderParam::keepPictures() const { return d->keepPictures; }
void RenderParam::setKeepPictures(bool keep) { d->keepPictures = keep; }

double RenderParam::renderXres() const { return d->resolutionX * d->devicePixelRatio * d->scaleFactor; }

double RenderParam::renderYres() const { return d->resolutionY * d->devicePixelRatio * d->scaleFactor; }

QByteArray RenderParam::key() const
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << d->resolutionX << d->resolutionY << d->devicePixelRatio << d->scaleFactor << d->flags
           << d->color << d->keepPictures;
    return bytes;
}

bool RenderParam::operator==(const RenderParam &other) const
{
    if (d == other.d) {
        return true;
    }
    return d->resolutionX == other.d->resolutionX && d->resolutionY == other.d->resolutionY
        && d->flags == other.d->flags && fuzzyEqual(d->devicePixelRatio, other.d->devicePixelRatio)
        && fuzzyEqual(d->scaleFactor, other.d->scaleFactor) && d->color == other.d->color
        && d->keepPictures == other.d->keepPictures;
}

void RenderParam::multiply(QImage &image, const QColor &color)
{
    // The same integer arithmetic as the framework's multiply composition of an opaque fill over
    // opaque pixels: a painter would go through premultiplied spans at several times the cost.
    mapChannels(image, color, [](int value, int k) { return div255(value * k); });
}

void RenderParam::grey(QImage &image)
{
    if (!isPacked32(image)) {
        image = image.convertToFormat(QImage::Format_ARGB32);
    }
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int value = (11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel)) / 32;
            line[x] = qRgba(value, value, value, qAlpha(pixel));
        }
    }
}

void RenderParam::invertAndScreen(QImage &image, const QColor &color)
{
    // Inverting, then the framework's screen composition of an opaque fill, in one pass.
    mapChannels(image, color, [](int value, int k) {
        const int inverted = 255 - value;
        return inverted + k - div255(inverted * k);
    });
}

QVector<QImage> RenderParam::copyAreas(const QImage &image, const QVector<QRect> &areas)
{
    QVector<QImage> copies;
    copies.reserve(areas.size());
    for (const QRect &area : areas) {
        copies.append(image.copy(area.intersected(image.rect())));
    }
    return copies;
}

void RenderParam::restoreAreas(QImage &image, const QVector<QRect> &areas, const QVector<QImage> &copies)
{
    if (copies.isEmpty()) {
        return;
    }
    // Treatment may have changed the format (grey); copies go back as bytes in that format.
    for (int i = 0; i < areas.size() && i < copies.size(); ++i) {
        const QImage copy
            = copies[i].format() == image.format() ? copies[i] : copies[i].convertToFormat(image.format());
        const QRect area = areas[i].intersected(image.rect());
        const int bytesPerPixel = image.depth() / 8;
        for (int y = 0; y < area.height() && y < copy.height(); ++y) {
            std::memcpy(image.scanLine(area.top() + y) + area.left() * bytesPerPixel, copy.constScanLine(y),
                size_t(std::min(area.width(), copy.width())) * size_t(bytesPerPixel));
        }
    }
}
