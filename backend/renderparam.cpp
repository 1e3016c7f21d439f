#include "renderparam.h"

#include <domain/backgroundmode.h>

#include <QDataStream>
#include <QImage>
#include <QSharedData>

#include <cmath>

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

void RenderParam::preparePixels(QImage &image)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "packed pixels are read as B, G, R, A bytes");
    if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_RGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied) {
        image = image.convertToFormat(QImage::Format_ARGB32);
    }
}
