#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kId = QStringLiteral("app.nodera.reader");
const QList<int> kIconSizes = { 16, 22, 24, 32, 48, 64, 128, 256, 512 };

struct Run
{
    int code = -1;
    QString out;
};

Run run(const QString &program, const QStringList &arguments, const QString &directory = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!directory.isEmpty()) {
        process.setWorkingDirectory(directory);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(240000)) {
        process.kill();
        process.waitForFinished();
        return { -1, QStringLiteral("%1 did not finish").arg(program) };
    }
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromLocal8Bit(process.readAll()) };
}

QString tool(const char *name)
{
    const QString path = QStandardPaths::findExecutable(QLatin1String(name));
    if (path.isEmpty()) {
        qWarning("%s is missing: run scripts/install-deps", name);
    }
    return path;
}

// The lines of a validator's report that are more than hints or notes.
QStringList complaints(const QString &report)
{
    QStringList lines;
    for (const QString &line : report.split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral("error")) || line.contains(QStringLiteral("warning"))
            || line.startsWith(QStringLiteral("E:")) || line.startsWith(QStringLiteral("W:"))) {
            lines.append(line);
        }
    }
    return lines;
}

} // namespace

// The program installed as a desktop application: what `cmake --install` puts where the desktop
// looks for it, checked by the desktop's own validators, and the Debian package made from it.
class PackagingTest : public QObject
{
    Q_OBJECT

private slots:
    void installIntoAPrefix_placesEveryFileWhereTheDesktopFindsIt()
    {
        QTemporaryDir prefix;
        const Run install = run(tool("cmake"),
            { QStringLiteral("--install"), QStringLiteral(NODERA_BINARY_DIR), QStringLiteral("--prefix"),
                prefix.path() });
        QVERIFY2(install.code == 0, qPrintable(install.out));
        const QDir root(prefix.path());

        const QString program = root.filePath(QStringLiteral("bin/NoderaReader"));
        QVERIFY(QFileInfo(program).isExecutable());
        const Run version = run(program, { QStringLiteral("--version") });
        QCOMPARE(version.out, QStringLiteral("Nodera Reader " NODERA_VERSION "\n"));

        const QString desktop = root.filePath(QStringLiteral("share/applications/%1.desktop").arg(kId));
        QFile entry(desktop);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString entryText = QString::fromUtf8(entry.readAll());
        for (const QString &line : { QStringLiteral("Exec=NoderaReader %F"), QStringLiteral("Icon=") + kId,
                 QStringLiteral("MimeType=application/pdf;application/epub+zip;"),
                 QStringLiteral("Categories=Office;Viewer;Education;") }) {
            QVERIFY2(entryText.contains(QLatin1Char('\n') + line + QLatin1Char('\n')), qPrintable(line));
        }
        const Run desktopCheck = run(tool("desktop-file-validate"), { desktop });
        QVERIFY2(
            desktopCheck.code == 0 && complaints(desktopCheck.out).isEmpty(), qPrintable(desktopCheck.out));

        const QString metainfo = root.filePath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kId));
        QVERIFY(QFileInfo::exists(metainfo));
        const Run metainfoCheck
            = run(tool("appstreamcli"), { QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo });
        QVERIFY2(metainfoCheck.code == 0 && complaints(metainfoCheck.out).isEmpty(),
            qPrintable(metainfoCheck.out));

        QVERIFY(QFileInfo::exists(
            root.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(kId))));
        for (int size : kIconSizes) {
            const QImage icon(
                root.filePath(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId)));
            QCOMPARE(icon.size(), QSize(size, size));
            // Drawn, not blank: the corner is clear and the middle is not.
            QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
            QVERIFY(qAlpha(icon.pixel(size / 2, size / 2)) > 0);
        }

        const QString manual = root.filePath(QStringLiteral("share/man/man1/NoderaReader.1.gz"));
        QVERIFY(QFileInfo::exists(manual));
        const Run man = run(
            tool("man"), { QStringLiteral("-E"), QStringLiteral("ascii"), QStringLiteral("-l"), manual });
        QVERIFY2(man.code == 0, qPrintable(man.out));
        QVERIFY2(man.out.contains(QStringLiteral("--export-notes")), qPrintable(man.out));

        const QDir doc(root.filePath(QStringLiteral("share/doc/nodera-reader")));
        for (const char *name : { "user-guide.html", "copyright", "changelog.gz" }) {
            QVERIFY2(QFileInfo::exists(doc.filePath(QLatin1String(name))), name);
        }
    }

    void debianPackage_holdsTheProgramAndNamesItsLibraries()
    {
        QTemporaryDir work;
        const Run pack = run(tool("cpack"),
            { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                QStringLiteral(NODERA_BINARY_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), work.path() });
        QVERIFY2(pack.code == 0, qPrintable(pack.out));
        const QString deb
            = QDir(work.path()).filePath(QStringLiteral("nodera-reader_" NODERA_VERSION "_amd64.deb"));
        QVERIFY2(QFileInfo::exists(deb), qPrintable(pack.out));

        const Run contents = run(tool("dpkg-deb"), { QStringLiteral("-c"), deb });
        QCOMPARE(contents.code, 0);
        const QStringList expected = {
            QStringLiteral("./usr/bin/NoderaReader"),
            QStringLiteral("./usr/share/applications/%1.desktop").arg(kId),
            QStringLiteral("./usr/share/metainfo/%1.metainfo.xml").arg(kId),
            QStringLiteral("./usr/share/icons/hicolor/scalable/apps/%1.svg").arg(kId),
            QStringLiteral("./usr/share/icons/hicolor/48x48/apps/%1.png").arg(kId),
            QStringLiteral("./usr/share/icons/hicolor/512x512/apps/%1.png").arg(kId),
            QStringLiteral("./usr/share/man/man1/NoderaReader.1.gz"),
            QStringLiteral("./usr/share/doc/nodera-reader/copyright"),
            QStringLiteral("./usr/share/doc/nodera-reader/user-guide.html"),
        };
        for (const QString &path : expected) {
            QVERIFY2(contents.out.contains(QLatin1Char(' ') + path + QLatin1Char('\n')), qPrintable(path));
        }
        QVERIFY2(contents.out.contains(QStringLiteral("-rwxr-xr-x root/root")), qPrintable(contents.out));

        // The dependencies come from the libraries the executable links, plus the plugins Qt loads.
        const Run depends = run(tool("dpkg-deb"), { QStringLiteral("-f"), deb, QStringLiteral("Depends") });
        for (const char *package : { "libc6", "libqt5widgets5", "libqt5sql5-sqlite", "libqt5svg5" }) {
            QVERIFY2(depends.out.contains(QLatin1String(package)), qPrintable(depends.out));
        }

        // Debian's own checker finds nothing it calls an error.
        const Run lintian = run(tool("lintian"), { deb });
        QVERIFY2(lintian.code == 0, qPrintable(lintian.out));
        for (const QString &line : lintian.out.split(QLatin1Char('\n'))) {
            QVERIFY2(!line.startsWith(QStringLiteral("E:")), qPrintable(line));
        }
    }
};

QTEST_GUILESS_MAIN(PackagingTest)
#include "tst_packaging.moc"
