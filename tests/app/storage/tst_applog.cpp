#include <app/storage/applog.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

using Common::Infrastructure::AppLog;

namespace {
QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

class AppLogTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { AppLog::uninstall(); }

    void fileName_isDated()
    {
        QCOMPARE(AppLog::fileNameFor(QDate(2019, 8, 1)), QStringLiteral("AppLog 2019-08-01.txt"));
    }

    void lines_haveStampLabelAndText()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("AppLog.txt"));
        AppLog::install(path);
        qDebug() << "never written";
        qInfo() << "Nodera Reader started. VERSION:" << QStringLiteral("1.5.0.7");
        qWarning() << "a warning";
        qCritical() << "a critical";
        AppLog::uninstall();
        qWarning() << "after uninstall";

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 3);
        const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} - "));
        for (const QString &line : lines) {
            QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        }
        QCOMPARE(lines[0].mid(26), QStringLiteral("Info - Nodera Reader started. VERSION: \"1.5.0.7\""));
        QCOMPARE(lines[1].mid(26), QStringLiteral("Warning - a warning"));
        QCOMPARE(lines[2].mid(26), QStringLiteral("Critical - a critical"));
    }

    void levelLabels()
    {
        QCOMPARE(AppLog::levelLabel(QtDebugMsg), QStringLiteral("Debug - "));
        QCOMPARE(AppLog::levelLabel(QtFatalMsg), QStringLiteral("Fatal - "));
        QCOMPARE(AppLog::levelLabel(static_cast<QtMsgType>(42)), QStringLiteral("Unknown - "));
    }

    void unwritableFile_dropsSilently()
    {
        AppLog::install(QStringLiteral("/nonexistent-folder/for/sure/AppLog.txt"));
        qWarning() << "goes nowhere";
        QVERIFY(!QFile::exists(QStringLiteral("/nonexistent-folder/for/sure/AppLog.txt")));
    }

    void concurrentLines_comeOutWhole()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("AppLog.txt"));
        AppLog::install(path);
        const int threads = 8;
        const int perThread = 300;
        const QString filler(200, QLatin1Char('x'));
        std::vector<std::thread> workers;
        for (int worker = 0; worker < threads; ++worker) {
            workers.emplace_back([&, worker] {
                for (int n = 0; n < perThread; ++n) {
                    qWarning().noquote() << QStringLiteral("w%1 n%2 %3 end").arg(worker).arg(n).arg(filler);
                }
            });
        }
        for (std::thread &worker : workers) {
            worker.join();
        }
        AppLog::uninstall();

        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), threads * perThread);
        const QRegularExpression whole(QStringLiteral("^\\S+ \\S+ - Warning - w\\d+ n\\d+ x{200} end$"));
        for (const QString &line : lines) {
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line.left(80)));
        }
    }
};

QTEST_GUILESS_MAIN(AppLogTest)
#include "tst_applog.moc"
