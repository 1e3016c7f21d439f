// Draws the program's scalable icon as the square PNGs of the desktop's icon theme, at build time:
//     nodera_iconrender ICON.svg FOLDER SIZE...
// writes FOLDER/<SIZE>x<SIZE>/apps/<name of ICON>.png for every size.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // builds run without a display
    }
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (arguments.size() < 4) {
        err << "usage: nodera_iconrender ICON.svg FOLDER SIZE...\n";
        return 2;
    }
    QSvgRenderer renderer(arguments.at(1));
    if (!renderer.isValid()) {
        err << "not a readable SVG image: " << arguments.at(1) << '\n';
        return 1;
    }
    const QString name = QFileInfo(arguments.at(1)).completeBaseName() + QStringLiteral(".png");
    for (const QString &argument : arguments.mid(3)) {
        bool ok = false;
        const int size = argument.toInt(&ok);
        if (!ok || size <= 0) {
            err << "not a size in pixels: " << argument << '\n';
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QDir folder(QDir(arguments.at(2)).filePath(QStringLiteral("%1x%1/apps").arg(size)));
        const QString path = folder.filePath(name);
        if (!QDir().mkpath(folder.path()) || !image.save(path, "PNG")) {
            err << "cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}
