#include <reading/lazyicon.h>

#include <QApplication>
#include <QPainter>
#include <QtTest>

using Nod::Presentation::lazyIcon;

Q_DECLARE_METATYPE(QIcon::Mode)

class LazyIconTest final : public QObject
{
    Q_OBJECT

private slots:
    // First, while nothing else has read an image: a drawing listed under an image's name is drawn
    // without loading the image format plugins to find out what it is.
    void drawingUnderAnImagesName_loadsNoImagePlugin()
    {
        const QPixmap drawn = lazyIcon(QStringLiteral(":icons/toc.png")).pixmap(24, 24);
        QVERIFY(!drawn.isNull());
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY(!maps.readAll().contains("/imageformats/"));
    }

    void drawsAsTheFrameworksOwnIcon_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QIcon::Mode>("mode");
        // A drawing and an image file, at their own size, smaller and larger, normal and greyed.
        for (const char *file : { ":icons/chevron-left.svg", ":icons/toc.png" }) {
            for (const QSize size : { QSize(24, 24), QSize(16, 16), QSize(48, 40) }) {
                for (const QIcon::Mode mode : { QIcon::Normal, QIcon::Disabled, QIcon::Selected }) {
                    QTest::addRow("%s %dx%d mode %d", file, size.width(), size.height(), int(mode))
                        << QString::fromLatin1(file) << size << mode;
                }
            }
        }
    }

    void drawsAsTheFrameworksOwnIcon()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(QIcon::Mode, mode);
        const QIcon framework(file);
        const QIcon lazy = lazyIcon(file);
        QVERIFY(!framework.isNull());
        QVERIFY(!lazy.isNull());
        QCOMPARE(lazy.actualSize(size, mode), framework.actualSize(size, mode));
        const QImage expected = framework.pixmap(size, mode).toImage();
        QVERIFY(!expected.isNull());
        QCOMPARE(lazy.pixmap(size, mode).toImage(), expected);

        // Painted into a rectangle, it fills the same pixels.
        const auto painted = [size](const QIcon &icon) {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            icon.paint(&painter, image.rect());
            return image;
        };
        QCOMPARE(painted(lazy), painted(framework));
    }

    void missingFile_isANullIcon()
    {
        QVERIFY(lazyIcon(QStringLiteral(":icons/no-such-icon.svg")).isNull());
        QVERIFY(lazyIcon(QStringLiteral(":icons/no-such-icon.svg")).pixmap(16, 16).isNull());
    }
};

QTEST_MAIN(LazyIconTest)
#include "tst_lazyicon.moc"
