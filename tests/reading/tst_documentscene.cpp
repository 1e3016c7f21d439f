#include "readingtestsupport.h"

#include <QGraphicsProxyWidget>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include <cstdio>

using namespace ReadingTest;

// The reading scene's life: locked documents behind the unlock panel, reloads when the file is
// replaced on disk, and rebuilds that warn before they delete anything.
class TestDocumentScene : public QObject
{
    Q_OBJECT

private slots:
    void lockedDocument_unlocksThroughThePanel();
    void replacedByRename_reloadsEachTimeAndKeepsPagesWhenTheNewFileIsBroken();

private:
    void answerPassword(const QString &password);
    void closeNextMessage();

    QString m_message;
};

void TestDocumentScene::answerPassword(const QString &password)
{
    QTimer::singleShot(0, this, [this, password] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            answerPassword(password);
            return;
        }
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Unlock PDF"));
        QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
        dialog->setTextValue(password);
        dialog->accept();
    });
}

void TestDocumentScene::closeNextMessage()
{
    QTimer::singleShot(0, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            closeNextMessage();
            return;
        }
        m_message = box->windowTitle() + QLatin1Char('|') + box->text();
        box->accept();
    });
}

void TestDocumentScene::lockedDocument_unlocksThroughThePanel()
{
    Reader reader(fixture(QStringLiteral("locked.pdf")));
    QVERIFY(reader.document && reader.document->isLocked());
    PDFDocumentScene *scene = reader.scene.data();
    QCOMPARE(scene->pageCount(), 0);
    QCOMPARE(reader.view->currentPage(), -1);
    const QList<QGraphicsItem *> items = scene->items();
    QCOMPARE(items.size(), 1);
    auto *proxy = qgraphicsitem_cast<QGraphicsProxyWidget *>(items.first());
    QVERIFY(proxy);
    auto *button = proxy->widget()->findChild<QPushButton *>(QStringLiteral("unlockButton"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("Unlock"));
    bool toldLocked = false;
    for (QLabel *label : proxy->widget()->findChildren<QLabel *>()) {
        toldLocked
            |= label->text() == QLatin1String("This document is locked. You need a password to open it.");
    }
    QVERIFY(toldLocked);

    int documentChanged = 0;
    connect(reader.view.get(), &PDFDocumentView::changedDocument, this,
        [&documentChanged] { ++documentChanged; });
    QSignalSpy rebuilding(scene, &Base::Scene::aboutToBeRebuilt);

    // A wrong password says so and leaves the panel.
    answerPassword(QStringLiteral("wrong"));
    closeNextMessage();
    button->click();
    QCOMPARE(m_message, QStringLiteral("Incorrect password|The password you entered was incorrect."));
    QVERIFY(reader.document->isLocked());
    QCOMPARE(scene->items().size(), 1);
    QCOMPARE(rebuilding.count(), 0);

    answerPassword(QStringLiteral("secret"));
    button->click();
    QTRY_COMPARE(documentChanged, 1);
    QCOMPARE(rebuilding.count(), 1);
    QVERIFY(!reader.document->isLocked());
    QVERIFY(scene->pageCount() > 0);
    QCOMPARE(reader.view->pageCount(), scene->pageCount());
    QCOMPARE(reader.view->currentPage(), 0);
    QVERIFY(reader.waitSharp(0));

    // A reload opens the file again with the password that unlocked it.
    const int pages = scene->pageCount();
    QVERIFY(scene->reloadDocument());
    QTRY_VERIFY(!scene->isReloading());
    QCOMPARE(rebuilding.count(), 2);
    QVERIFY(!reader.document->isLocked());
    QCOMPARE(scene->pageCount(), pages);
    QVERIFY(reader.waitSharp(0));
}

void TestDocumentScene::replacedByRename_reloadsEachTimeAndKeepsPagesWhenTheNewFileIsBroken()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("book.pdf"));
    const QString staging = dir.filePath(QStringLiteral("book.pdf.part"));
    QVERIFY(writePdf(path, 3));
    Reader reader(path);
    PDFDocumentScene *scene = reader.scene.data();
    QCOMPARE(scene->pageCount(), 3);
    reader.view->goToPage(2);

    // Whoever keeps items hears of a rebuild while they still exist.
    int itemsWhenWarned = -1;
    connect(scene, &Base::Scene::aboutToBeRebuilt, this, [&] { itemsWhenWarned = scene->items().size(); });
    QSignalSpy changed(scene, &PDFDocumentScene::rebuilt);
    QSignalSpy failed(scene, &PDFDocumentScene::reloadFailed);

    // Saved by writing a new file and renaming it over the old one, as editors do.
    const auto replace = [&](int pages) {
        QVERIFY(writePdf(staging, pages));
        QCOMPARE(std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(path).constData()), 0);
    };
    replace(5);
    QVERIFY(changed.wait(5000));
    QCOMPARE(scene->pageCount(), 5);
    QCOMPARE(reader.view->pageCount(), 5);
    QVERIFY(itemsWhenWarned >= 3);
    QCOMPARE(reader.view->currentPage(), 2);
    QVERIFY(reader.waitSharp(2));

    // The watch survives the rename: a second save reloads too.
    replace(2);
    QVERIFY(changed.wait(5000));
    QCOMPARE(scene->pageCount(), 2);
    QCOMPARE(reader.view->currentPage(), 1);

    // A broken file is not loaded: the pages shown stay, whole.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("reload failed")));
    itemsWhenWarned = -1;
    {
        QFile broken(staging);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("%PDF-1.4\nnot really\n");
    }
    QCOMPARE(std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(path).constData()), 0);
    QVERIFY(failed.wait(5000));
    QCOMPARE(itemsWhenWarned, -1);
    QCOMPARE(scene->pageCount(), 2);
    QVERIFY(reader.document->isValid());
    reader.view->verticalScrollBar()->setValue(0);
    QVERIFY(reader.waitSharp(0));

    // A deleted file leaves the scene as it was; the file coming back reloads it.
    QVERIFY(QFile::remove(path));
    QTest::qWait(800);
    QCOMPARE(scene->pageCount(), 2);
    QCOMPARE(changed.count(), 2);
    replace(4);
    QVERIFY(changed.wait(5000));
    QCOMPARE(scene->pageCount(), 4);
}

QTEST_MAIN(TestDocumentScene)
#include "tst_documentscene.moc"
