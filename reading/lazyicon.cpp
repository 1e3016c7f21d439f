#include "lazyicon.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QSharedPointer>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <memory>
#include <optional>

namespace Nod::Presentation {

namespace {

// A drawing listed under an image file's name, as the framework reads it: at the size it declares,
// on a transparent ground. Drawn here directly, because reading it as an image loads every image
// format plugin to find the one that knows it, which cost milliseconds of the first window.
// Nothing when the file holds no drawing.
std::optional<QImage> drawnAsImage(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || !file.peek(1024).contains("<svg")) {
        return std::nullopt;
    }
    QSvgRenderer renderer(file.readAll());
    if (!renderer.isValid()) {
        return std::nullopt;
    }
    QImage image(renderer.defaultSize(), QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull()) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(image.rect()));
    }
    return image;
}

// What was read of one file, on first use.
class IconSource
{
public:
    explicit IconSource(const QString &fileName)
        : m_fileName(fileName)
        , m_drawing(fileName.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        , m_exists(QFile::exists(fileName))
    { }

    bool exists() const { return m_exists; }

    // The size of what is drawn into a box of `size`.
    QSize actualSize(const QSize &size)
    {
        read();
        QSize natural
            = m_drawing ? (m_renderer->isValid() ? m_renderer->defaultSize() : QSize()) : m_image.size();
        if (natural.isEmpty()) {
            return {};
        }
        if (m_drawing || natural.width() > size.width() || natural.height() > size.height()) {
            natural.scale(size, Qt::KeepAspectRatio);
        }
        return natural;
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode)
    {
        const QSize actual = actualSize(size);
        if (actual.isEmpty()) {
            return {};
        }
        const QString key = QStringLiteral("lazyicon:%1:%2x%3:%4")
                                .arg(m_fileName)
                                .arg(actual.width())
                                .arg(actual.height())
                                .arg(int(mode));
        QPixmap pixmap;
        if (QPixmapCache::find(key, &pixmap)) {
            return pixmap;
        }
        if (m_drawing) {
            QImage image(actual, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            m_renderer->render(&painter);
            painter.end();
            pixmap = QPixmap::fromImage(image);
        } else {
            pixmap = QPixmap::fromImage(m_image.size() == actual
                    ? m_image
                    : m_image.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
        // Disabled and selected icons as the style makes them from the normal one.
        if (mode != QIcon::Normal && qobject_cast<QApplication *>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
            if (!generated.isNull()) {
                pixmap = generated;
            }
        }
        QPixmapCache::insert(key, pixmap);
        return pixmap;
    }

private:
    void read()
    {
        if (m_read) {
            return;
        }
        m_read = true;
        if (m_drawing) {
            m_renderer = std::make_unique<QSvgRenderer>(m_fileName);
        } else if (const std::optional<QImage> drawn = drawnAsImage(m_fileName)) {
            m_image = *drawn;
        } else {
            m_image = QImageReader(m_fileName).read();
        }
    }

    const QString m_fileName;
    const bool m_drawing;
    const bool m_exists;
    bool m_read = false;
    std::unique_ptr<QSvgRenderer> m_renderer;
    QImage m_image;
};

class LazyIconEngine final : public QIconEngine
{
public:
    explicit LazyIconEngine(QSharedPointer<IconSource> source)
        : m_source(std::move(source))
    { }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        QSize size = rect.size();
        if (painter->device() && QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps)) {
            size *= painter->device()->devicePixelRatioF();
        }
        painter->drawPixmap(rect, pixmap(size, mode, state));
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return m_source->actualSize(size);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        return m_source->pixmap(size, mode);
    }
    QString key() const override { return QStringLiteral("lazy"); }
    QIconEngine *clone() const override { return new LazyIconEngine(m_source); }
    void virtual_hook(int id, void *data) override
    {
        // Asked by every button sizing itself: answered without reading the file.
        if (id == QIconEngine::IsNullHook) {
            *static_cast<bool *>(data) = !m_source->exists();
            return;
        }
        QIconEngine::virtual_hook(id, data);
    }

private:
    QSharedPointer<IconSource> m_source;
};

} // namespace

QIcon lazyIcon(const QString &fileName)
{
    static QHash<QString, QSharedPointer<IconSource>> sources;
    QSharedPointer<IconSource> &source = sources[fileName];
    if (!source) {
        source = QSharedPointer<IconSource>::create(fileName);
    }
    return QIcon(new LazyIconEngine(source));
}

} // namespace Nod::Presentation
