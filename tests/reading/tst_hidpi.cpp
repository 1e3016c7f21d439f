#include "readingtestsupport.h"

#include <backend/tileitem.h>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace ReadingTest;

namespace {

const char kChildOption[] = "--render-first-page";

// In a child process on the X server: the reading view shows a page fitted as usual and reports
// the pixel size and ratio of the image its page tile was painted from.
int renderFirstPage(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Reader reader(QString::fromLocal8Bit(argv[2]));
    if (!reader.exposed || !reader.waitSharp(0)) {
        return 1;
    }
    const double viewRatio = reader.view->viewport()->devicePixelRatioF();
    for (TileItem *tile : reader.page(0)->findChildren<TileItem *>()) {
        const QPixmap pixmap = tile->pixmap(tile->renderParam());
        if (tile->rect().isEmpty() && !pixmap.isNull()) {
            QTextStream(stdout) << pixmap.width() << ' ' << pixmap.height() << ' '
                                << pixmap.devicePixelRatio() << ' ' << viewRatio << '\n';
            return 0;
        }
    }
    return 2;
}

} // namespace

// Pages on a high-density screen: with the desktop's scale factor at 2, the reading view renders
// its page tiles at device pixels rather than enlarging the 1x image.
class HiDpiTest : public QObject
{
    Q_OBJECT

private:
    QProcess m_xserver;
    QString m_display;
    QTemporaryDir m_dir;

    QStringList render(const QString &scaleFactor)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), scaleFactor);
        env.remove(QStringLiteral("QT_AUTO_SCREEN_SCALE_FACTOR"));
        env.remove(QStringLiteral("QT_SCREEN_SCALE_FACTORS"));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
            { QString::fromLatin1(kChildOption), m_dir.filePath(QStringLiteral("pages.pdf")) });
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            child.kill();
            child.waitForFinished();
            return {};
        }
        return QString::fromLatin1(child.readAllStandardOutput()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        QVERIFY2(!xvfb.isEmpty(), "Xvfb is needed (scripts/install-deps installs it)");
        QVERIFY(writePdf(m_dir.filePath(QStringLiteral("pages.pdf")), 2));
        // The server picks a free display itself and writes its number to us.
        m_xserver.start(xvfb,
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1600x1200x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp") });
        QVERIFY(m_xserver.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_xserver.canReadLine(), 10000);
        m_display = QLatin1Char(':') + QString::fromLatin1(m_xserver.readLine()).trimmed();
    }

    void cleanupTestCase()
    {
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
    }

    void scaleFactorTwo_rendersThePageTileAtTwiceThePixels()
    {
        const QStringList normal = render(QStringLiteral("1"));
        const QStringList doubled = render(QStringLiteral("2"));
        QCOMPARE(normal.size(), 4);
        QCOMPARE(doubled.size(), 4);
        QCOMPARE(normal.at(3).toDouble(), 1.0);
        QCOMPARE(doubled.at(3).toDouble(), 2.0);
        // The same page at the same zoom: twice the pixels each way, drawn at ratio 2 into the
        // same logical size.
        const QSize one(normal.at(0).toInt(), normal.at(1).toInt());
        const QSize two(doubled.at(0).toInt(), doubled.at(1).toInt());
        QVERIFY(!one.isEmpty());
        QVERIFY2(
            std::abs(two.width() - 2 * one.width()) <= 1 && std::abs(two.height() - 2 * one.height()) <= 1,
            qPrintable(QStringLiteral("%1x%2 against %3x%4")
                           .arg(two.width())
                           .arg(two.height())
                           .arg(one.width())
                           .arg(one.height())));
        QCOMPARE(normal.at(2).toDouble(), 1.0);
        QCOMPARE(doubled.at(2).toDouble(), 2.0);
    }
};

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], kChildOption) == 0) {
        return renderFirstPage(argc, argv);
    }
    QGuiApplication app(argc, argv); // offscreen: it only writes the document
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hidpi.moc"
