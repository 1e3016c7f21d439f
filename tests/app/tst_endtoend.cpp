#include "support/desktop.h"

#include <QPainter>
#include <QPdfWriter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

namespace {
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
    std::unique_ptr<Desktop> m_desktop;

    QString storage() const { return m_desktop->home().defaultStorage(); }
    QString log() const { return m_desktop->home().log(storage()); }
    QString homeFile(const QString &name) const { return m_desktop->home().filePath(name); }

    // Starts the program, waits until `ready` holds, then closes it as the desktop would on logout.
    void runProgram(const QStringList &arguments, const std::function<bool()> &ready)
    {
        QProcess app;
        QVERIFY(m_desktop->start(app, arguments));
        QTRY_VERIFY_WITH_TIMEOUT(ready(), 30000);
        app.terminate();
        QVERIFY(app.waitForFinished(15000));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        if (!Desktop::serverInstalled()) {
            QSKIP("Xvfb is not installed (scripts/install-deps installs it)");
        }
        m_desktop = std::make_unique<Desktop>(90);
        QVERIFY(m_desktop->isRunning());
    }

    void cleanupTestCase() { m_desktop.reset(); }

    void commandLineFiles_enterTheLibraryAndStay()
    {
        const QString first = homeFile(QStringLiteral("first.pdf"));
        const QString second = homeFile(QStringLiteral("second paper.pdf"));
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
        const QString ini
            = readText(homeFile(QStringLiteral(".local/share/Nodera/Nodera Desktop/NoderaDesktop.ini")));
        QVERIFY2(ini.contains(QStringLiteral("geometry=")), qPrintable(ini));
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
