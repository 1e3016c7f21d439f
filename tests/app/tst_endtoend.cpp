#include <app/storage/applog.h>

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Common::Infrastructure::AppLog;

namespace {
QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writePdf(const QString &path, const QString &text)
{
    QPdfWriter writer(path);
    QPainter painter(&writer);
    painter.drawText(QRect(0, 0, 4000, 1000), text);
}
} // namespace

// The real program in a real X server: files named on the command line enter the library, and the
// library still holds them after the program is closed and started again.
class EndToEndTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QProcess m_xserver;
    QString m_display;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral(".cache")));
        return env;
    }

    QString storage() const { return m_home.filePath(QStringLiteral("Documents/Nodera Reader")); }
    QString log() const
    {
        return readAll(storage() + QStringLiteral("/Logs/") + AppLog::fileNameFor(QDate::currentDate()));
    }

    // Starts the program, waits until `ready` holds, then closes it as the desktop would on logout.
    void runProgram(const QStringList &arguments, const std::function<bool()> &ready)
    {
        QProcess app;
        app.setProcessEnvironment(environment());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), arguments);
        QVERIFY(app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(ready(), 30000);
        app.terminate();
        QVERIFY(app.waitForFinished(15000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        }
        const int number = 90 + QCoreApplication::applicationPid() % 400;
        m_display = QStringLiteral(":%1").arg(number);
        m_xserver.start(xvfb,
            { m_display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24"),
                QStringLiteral("-nolisten"), QStringLiteral("tcp") });
        QVERIFY(m_xserver.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)), 10000);
    }

    void cleanupTestCase()
    {
        m_xserver.terminate();
        m_xserver.waitForFinished(5000);
    }

    void commandLineFiles_enterTheLibraryAndStay()
    {
        const QString first = m_home.filePath(QStringLiteral("first.pdf"));
        const QString second = m_home.filePath(QStringLiteral("second paper.pdf"));
        writePdf(first, QStringLiteral("The first document"));
        writePdf(second, QStringLiteral("The second document"));

        runProgram({ first, second }, [this] {
            return log().count(QStringLiteral("Nod::Application::DocumentService::newDocument")) == 2;
        });
        QVERIFY(log().contains(QStringLiteral("Main window shown")));

        // Started again, with one of the files once more: it is recognised, not added twice.
        runProgram({ second }, [this] { return log().count(QStringLiteral("Main window shown")) == 2; });
        QCOMPARE(log().count(QStringLiteral("Nod::Application::DocumentService::newDocument")), 2);
        QVERIFY2(!log().contains(QStringLiteral(" - Critical - ")), qPrintable(log()));

        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(storage() + QStringLiteral("/database"));
            QVERIFY(db.open());
            QSqlQuery query(QStringLiteral("SELECT title, localUrl FROM documents ORDER BY title"), db);
            QStringList found;
            while (query.next()) {
                found << query.value(0).toString() + QLatin1Char('|') + query.value(1).toString();
            }
            QCOMPARE(found,
                (QStringList {
                    QStringLiteral("first.pdf|") + first, QStringLiteral("second paper.pdf|") + second }));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));

        // The orderly close saved the window's state.
        const QString ini = readAll(
            m_home.filePath(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")));
        QVERIFY2(ini.contains(QStringLiteral("geometry=")), qPrintable(ini));
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
