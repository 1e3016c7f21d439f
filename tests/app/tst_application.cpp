#include "infrastructure/testsupport.h"

#include <app/messagereceiver.h>
#include <app/singleapplication.h>

#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

namespace {
// Fails in its event handler, as a slot does when a statement fails under it.
class Failing : public QObject
{
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("database or disk is full");
        }
        return QObject::event(event);
    }
};
} // namespace

class ApplicationTest : public QObject
{
    Q_OBJECT

private slots:
    void escapingError_isLoggedAndShownNotFatal()
    {
        auto *app = qobject_cast<Nod::App::SingleApplication *>(QCoreApplication::instance());
        QVERIFY(app);
        QSignalSpy caught(app, &Nod::App::SingleApplication::errorCaught);
        QString boxText;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                boxText = box->text();
                box->accept();
            }
        });
        poll.start(10);

        const TestSupport::LogCapture log;
        Failing failing;
        QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
        QTRY_COMPARE(caught.count(), 2);
        QTRY_VERIFY(!boxText.isEmpty());
        QVERIFY(boxText.contains(QStringLiteral("database or disk is full")));
        QVERIFY(log.contains(
            QStringLiteral("Unhandled error in an event handler: \"database or disk is full\"")));

        // The program goes on handling events.
        bool later = false;
        QTimer::singleShot(0, this, [&later] { later = true; });
        QTRY_VERIFY(later);
    }

    void primaryFollowsItsStorageFolder_soLaterStartsThereHandOver()
    {
        auto *app = qobject_cast<Nod::App::SingleApplication *>(QCoreApplication::instance());
        QVERIFY(app->isPrimary());
        QSignalSpy received(app, &Nod::App::SingleApplication::receivedMessage);
        app->startDelivery();

        // The storage folder moved: a start configured for the new folder must find this process.
        QTemporaryDir moved;
        QVERIFY(app->followStorageLocation(moved.path()));

        // Another process configured for it, with the key spelt as the settings dialog spells it.
        QTemporaryDir other;
        const QString dataHome = other.filePath(QStringLiteral("data"));
        QSettings(dataHome + QStringLiteral("/Nodera/Nodera Desktop/NoderaDesktop.ini"), QSettings::IniFormat)
            .setValue(QStringLiteral("general/storageLocation"), moved.path());
        const QString file = other.filePath(QStringLiteral("handed.pdf"));
        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write("%PDF-1.1\n");
        pdf.close();

        QProcess later;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        later.setProcessEnvironment(env);
        later.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        later.start(QStringLiteral(NODERA_BINARY_DIR "/app/NoderaReader"), { file });
        QVERIFY(later.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
        QCOMPARE(Nod::Presentation::MessageReceiver::decode(received.first().at(1).toByteArray()),
            QStringList { file });
        QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 10000);
        QCOMPARE(later.exitCode(), 0);
    }
};

int main(int argc, char *argv[])
{
    Nod::App::SingleApplication app(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
