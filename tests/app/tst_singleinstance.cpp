#include <app/singleapplication.h>
#include <app/storage/applog.h>

#include <QDataStream>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

using Common::Infrastructure::AppLog;

namespace {
QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writePdf(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // The file's own path makes its fingerprint differ from every other test file.
    file.write("%PDF-1.1\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
               "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
               "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]>>endobj\n"
               "trailer<</Root 1 0 R>>\n%%EOF\n%"
        + path.toUtf8() + "\n");
}

QByteArray lengthOf(quint64 length)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << length;
    return bytes;
}

QByteArray framed(const QByteArray &bytes) { return lengthOf(quint64(bytes.size())) + bytes; }

QByteArray initMessage(const QByteArray &name, quint8 type, quint32 instance)
{
    QByteArray init;
    QDataStream stream(&init, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_6);
    stream << name << type << instance;
    stream << qChecksum(init.constData(), uint(init.size()));
    return framed(init);
}

QByteArray fileList(const QStringList &paths)
{
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream << paths;
    return message;
}
} // namespace

// The real program, started again and again for one user and storage folder: exactly one process
// works on the folder, later starts hand their files to it, and neither a killed primary nor a hostile
// client on its socket keeps that from working.
class SingleInstanceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;

    QString storage() const { return m_home->filePath(QStringLiteral("Documents/Nodera Reader")); }
    QString log() const
    {
        return readAll(storage() + QStringLiteral("/Logs/") + AppLog::fileNameFor(QDate::currentDate()));
    }
    int logCount(const QString &text) const { return log().count(text); }

    QProcess *start(const QStringList &arguments, const QString &directory = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), m_home->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home->filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home->filePath(QStringLiteral(".cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setWorkingDirectory(directory.isEmpty() ? m_home->path() : directory);
        process->start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), arguments);
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    QProcess *startPrimary(const QStringList &arguments = {}, const QString &directory = QString())
    {
        const int shown = logCount(QStringLiteral("Main window shown"));
        QProcess *primary = start(arguments, directory);
        if (!QTest::qWaitFor([&] { return logCount(QStringLiteral("Main window shown")) > shown; }, 30000)) {
            return nullptr;
        }
        return primary;
    }

    static bool endsWithZero(QProcess *process)
    {
        return process->waitForFinished(15000) && process->exitStatus() == QProcess::NormalExit
            && process->exitCode() == 0;
    }

    QStringList documentPaths() const
    {
        QStringList paths;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(storage() + QStringLiteral("/database"));
            if (db.open()) {
                QSqlQuery query(QStringLiteral("SELECT localUrl FROM documents ORDER BY localUrl"), db);
                while (query.next()) {
                    paths << query.value(0).toString();
                }
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        return paths;
    }

    // The instance numbers of the hand-overs the primary logged, in order.
    QList<int> receivedFrom() const
    {
        QList<int> numbers;
        const QRegularExpression line(QStringLiteral("Received message from instance:  (\\d+) "));
        auto it = line.globalMatch(log());
        while (it.hasNext()) {
            numbers << it.next().captured(1).toInt();
        }
        return numbers;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>(); // created with user-only access
        QVERIFY(m_home->isValid() && m_runtime->isValid());
    }

    void cleanup()
    {
        for (auto &process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(5000)) {
                    process->kill();
                    process->waitForFinished(5000);
                }
            }
        }
        m_processes.clear();
    }

    void laterStarts_handRelativePathsToTheFirstAndExit()
    {
        const QString work = m_home->filePath(QStringLiteral("work"));
        writePdf(work + QStringLiteral("/sub/own.pdf"));
        writePdf(work + QStringLiteral("/sub/first.pdf"));
        writePdf(work + QStringLiteral("/other/second.pdf"));

        // The primary's own relative path names a file of the folder it was started in, not of the
        // storage folder it moves to.
        QProcess *primary = startPrimary({ QStringLiteral("sub/own.pdf") }, work);
        QVERIFY(primary);

        QProcess *first = start({ QStringLiteral("sub/first.pdf") }, work);
        QVERIFY(endsWithZero(first));
        QProcess *second = start({ QStringLiteral("../other/second.pdf"), QStringLiteral("missing.pdf") },
            work + QStringLiteral("/sub"));
        QVERIFY(endsWithZero(second));

        QTRY_COMPARE_WITH_TIMEOUT(documentPaths().size(), 3, 20000);
        QCOMPARE(documentPaths(),
            (QStringList { work + QStringLiteral("/other/second.pdf"),
                work + QStringLiteral("/sub/first.pdf"), work + QStringLiteral("/sub/own.pdf") }));
        QCOMPARE(receivedFrom(), (QList<int> { 1, 2 }));
        QVERIFY2(log().contains(QStringLiteral("(\"%1\")").arg(work + QStringLiteral("/other/second.pdf"))),
            qPrintable(log()));
        QCOMPARE(primary->state(), QProcess::Running);
        QCOMPARE(logCount(QStringLiteral("Main window shown")), 1);
    }

    void killedPrimary_nextStartTakesOver()
    {
        QProcess *crashed = startPrimary();
        QVERIFY(crashed);
        crashed->kill(); // SIGKILL: the socket file stays behind
        QVERIFY(crashed->waitForFinished(5000));

        QProcess *primary = startPrimary();
        QVERIFY2(primary, "the start after the crash did not show its window");
        QCOMPARE(primary->state(), QProcess::Running);

        // And it serves hand-overs.
        const QString file = m_home->filePath(QStringLiteral("after crash.pdf"));
        writePdf(file);
        QVERIFY(endsWithZero(start({ file })));
        QTRY_COMPARE_WITH_TIMEOUT(documentPaths(), QStringList { file }, 20000);
    }

    void simultaneousStarts_leaveExactlyOnePrimary()
    {
        const int starts = 20;
        QList<QProcess *> processes;
        for (int i = 0; i < starts; ++i) {
            processes << start({});
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::count_if(processes.cbegin(), processes.cend(),
                                     [](QProcess *p) { return p->state() == QProcess::NotRunning; })
                == starts - 1,
            60000);
        for (QProcess *process : qAsConst(processes)) {
            if (process->state() == QProcess::NotRunning) {
                QCOMPARE(process->exitStatus(), QProcess::NormalExit);
                QCOMPARE(process->exitCode(), 0);
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(receivedFrom().size(), starts - 1, 20000);
        QList<int> numbers = receivedFrom();
        std::sort(numbers.begin(), numbers.end());
        for (int i = 0; i < numbers.size(); ++i) {
            QCOMPARE(numbers.at(i), i + 1);
        }
        QCOMPARE(logCount(QStringLiteral("Main window shown")), 1);
    }

    void hostileClients_leaveThePrimaryRunningAndOpenNothing()
    {
        QProcess *primary = startPrimary();
        QVERIFY(primary);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
        const QString server = Nod::App::SingleApplication::serverPath(storage());
        QVERIFY2(QFileInfo::exists(server), qPrintable(server));
        const QByteArray name = QFileInfo(server).completeBaseName().toLatin1();

        const QString bait = m_home->filePath(QStringLiteral("bait.pdf"));
        const QString wanted = m_home->filePath(QStringLiteral("wanted.pdf"));
        writePdf(bait);
        writePdf(wanted);
        const QByteArray baitMessage = framed(fileList({ bait }));

        const QList<QByteArray> attacks = {
            lengthOf(~quint64(0)) + QByteArray(64, 'x'),
            QByteArray(4096, '\xa7'),
            initMessage("somebody else", 2, 1) + baitMessage,
            initMessage(name, 2, 1) + lengthOf(quint64(1) << 40) + QByteArray(4096, 'p'),
            // Complete but for its last byte.
            initMessage(name, 2, 1) + baitMessage.chopped(1),
        };
        for (const QByteArray &attack : attacks) {
            QLocalSocket socket;
            socket.connectToServer(server);
            QVERIFY(socket.waitForConnected(2000));
            // Arrives in pieces, as a slow client sends it.
            for (int at = 0; at < attack.size(); at += 7) {
                socket.write(attack.mid(at, 7));
                socket.flush();
                socket.waitForBytesWritten(1000);
                QTest::qWait(1);
            }
            socket.disconnectFromServer();
        }

        // A sound message in pieces is taken once complete.
        QLocalSocket socket;
        socket.connectToServer(server);
        QVERIFY(socket.waitForConnected(2000));
        const QByteArray sound = initMessage(name, 2, 7) + framed(fileList({ wanted }));
        for (int at = 0; at < sound.size(); at += 5) {
            socket.write(sound.mid(at, 5));
            socket.waitForBytesWritten(1000);
            QTest::qWait(1);
        }
        socket.disconnectFromServer();

        QTRY_COMPARE_WITH_TIMEOUT(documentPaths(), QStringList { wanted }, 20000);
        QCOMPARE(receivedFrom(), QList<int> { 7 });
        QCOMPARE(primary->state(), QProcess::Running);
        QVERIFY(
            log().contains(QStringLiteral("closed a connection that sent a malformed or oversized message")));
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
