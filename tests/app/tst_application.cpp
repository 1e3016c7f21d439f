#include "infrastructure/testsupport.h"

#include <app/singleapplication.h>

#include <QMessageBox>
#include <QSignalSpy>
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
};

int main(int argc, char *argv[])
{
    Nod::App::SingleApplication app(argc, argv);
    ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
