#include "infrastructure/testsupport.h"

#include <app/maintabbar.h>
#include <app/mainwindow.h>
#include <app/storage/house.h>
#include <app/storage/settings.h>
#include <app/tabbar.h>
#include <application/documentservice.h>
#include <application/serviceregistry.h>
#include <domain/metatypes.h>
#include <library/documentmodel.h>
#include <library/librarywidget.h>
#include <reading/tab/documenttab.h>

#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Nod::Presentation;
using Common::Infrastructure::House;
using Common::Infrastructure::Settings;

// Stands in for the desktop's viewer: remembers which files the window handed out.
class ViewerStandIn : public QObject
{
    Q_OBJECT

public:
    QStringList opened;

public slots:
    void openUrl(const QUrl &url) { opened.append(url.toLocalFile()); }
};

// Stands in for a document's page: counts how often its state was saved.
class PageStandIn : public QWidget, public DocumentTab
{
    Q_OBJECT
    Q_INTERFACES(Nod::Presentation::DocumentTab)

public:
    int id = 0;
    int *saves = nullptr;

    int documentId() const override { return id; }
    void closeDocument() override { ++*saves; }
    void reloadShortcuts() override { }
    void reloadColors() override { }
    void print() override { }
};

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_storage;
    std::unique_ptr<MainWindow> m_window;
    ViewerStandIn m_viewer;
    int m_saves = 0;

    QString makePdf(const QString &name)
    {
        const QString path = m_storage->filePath(name);
        QPdfWriter writer(path);
        QPainter painter(&writer);
        painter.drawText(QRect(0, 0, 3000, 600), name);
        return path;
    }

    Nod::Application::DocumentService *documents() const
    {
        return Nod::Application::ServiceRegistry::instance()->documentService();
    }

    Nod::Domain::Document addDocument(const QString &name)
    {
        const int id = m_window->libraryWidget()->addFile(makePdf(name)).value_or(-1);
        return documents()->document(id);
    }

    void addPage(const Nod::Domain::Document &document)
    {
        auto *page = new PageStandIn;
        page->id = document.id();
        page->saves = &m_saves;
        m_window->addDocumentPage(page, document);
    }

    QStackedWidget *stack() const { return m_window->findChild<QStackedWidget *>(); }

private slots:
    void initTestCase()
    {
        Nod::Domain::registerMetaTypes();
        QStandardPaths::setTestModeEnabled(true);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_viewer, "openUrl");
    }

    void init()
    {
        m_storage = std::make_unique<QTemporaryDir>();
        QVERIFY(House::instance()->setLocation(m_storage->path()));
        Nod::Infrastructure::Database database;
        QVERIFY(database.open(House::instance()->databasePath()));
        m_window = std::make_unique<MainWindow>();
        m_viewer.opened.clear();
        m_saves = 0;
    }

    void cleanup()
    {
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();
        Nod::Infrastructure::Database::close();
        delete Settings::instance();
        QFile::remove(Settings::filePath());
    }

    void drops_takeLocalFilesOnly()
    {
        const QString a = makePdf(QStringLiteral("a.pdf"));
        const QString b = makePdf(QStringLiteral("b.pdf"));
        auto drop = [this](const QList<QUrl> &urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_window.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(m_window.get(), &dropped);
        };
        drop({ QUrl(QStringLiteral("https://example.org/paper.pdf")) });
        QCOMPARE(m_window->libraryWidget()->documentModel()->rowCount(), 0);
        QVERIFY(m_viewer.opened.isEmpty());

        drop({ QUrl::fromLocalFile(a), QUrl::fromLocalFile(b) });
        QCOMPARE(m_window->libraryWidget()->documentModel()->rowCount(), 2);
        QCOMPARE(m_viewer.opened, (QStringList { a, b }));

        // The same file again is found by its path, not added twice.
        drop({ QUrl::fromLocalFile(a) });
        QCOMPARE(m_window->libraryWidget()->documentModel()->rowCount(), 2);
    }

    void openingAnOpenDocument_switchesToItsTab()
    {
        const Nod::Domain::Document first = addDocument(QStringLiteral("first.pdf"));
        const Nod::Domain::Document second = addDocument(QStringLiteral("second.pdf"));
        addPage(first);
        addPage(second);
        TabBar *tabs = m_window->mainTabBar()->tabBar();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 2);
        m_window->on_shelf_requestOpenFile(first);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(stack()->currentIndex(), 1);
        QVERIFY(m_viewer.opened.isEmpty());
    }

    void missingFile_isReportedNotOpened()
    {
        const Nod::Domain::Document document = addDocument(QStringLiteral("gone.pdf"));
        QFile::remove(document.localUrl());
        QString text;
        QTimer::singleShot(0, [&text] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                text = box->text();
                box->accept();
            }
        });
        const TestSupport::LogCapture log;
        m_window->on_shelf_requestOpenFile(document);
        QCOMPARE(text,
            QStringLiteral("Can't open: \"%1\". This file may be renamed, deleted or moved.")
                .arg(document.localUrl()));
        QVERIFY(log.contains(QStringLiteral("File not exist, file path: \"%1\"").arg(document.localUrl())));
        QCOMPARE(m_window->mainTabBar()->tabBar()->count(), 1);
        QVERIFY(m_viewer.opened.isEmpty());
    }

    void closeOtherTabs_fromTheLibrary_closesEveryDocumentAndSavesIt()
    {
        addPage(addDocument(QStringLiteral("a.pdf")));
        addPage(addDocument(QStringLiteral("b.pdf")));
        addPage(addDocument(QStringLiteral("c.pdf")));
        TabBar *tabs = m_window->mainTabBar()->tabBar();
        QScopedPointer<QMenu> menu(tabs->createContextMenu(0, nullptr));
        menu->findChild<QAction *>(QStringLiteral("closeOtherTabs"))->trigger();
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(stack()->count(), 1);
        QCOMPARE(m_saves, 3);
        QVERIFY(m_window->openDocumentIds().isEmpty());
    }

    void removedDocument_closesItsTabWithoutSaving()
    {
        const Nod::Domain::Document kept = addDocument(QStringLiteral("kept.pdf"));
        const Nod::Domain::Document removed = addDocument(QStringLiteral("removed.pdf"));
        addPage(kept);
        addPage(removed);
        QVERIFY(documents()->remove(removed.id()));
        QCOMPARE(m_window->openDocumentIds(), QList<int> { kept.id() });
        QCOMPARE(m_saves, 0);
    }

    void session_isSavedInTabOrderAndReopenedInThatOrder()
    {
        const Nod::Domain::Document first = addDocument(QStringLiteral("first.pdf"));
        const Nod::Domain::Document second = addDocument(QStringLiteral("second.pdf"));
        addPage(second);
        addPage(first);
        m_window->close();
        QCOMPARE(m_saves, 2);
        QCOMPARE(Settings::instance()->mainWindow.lastSessionDocuments(),
            (QList<int> { second.id(), first.id() }));
        QVERIFY(!Settings::instance()->mainWindow.geometry().isEmpty());
        QVERIFY(!Settings::instance()->mainWindow.libraryWidgetState().isEmpty());

        // Without session loading nothing is reopened; with it, the documents come back in order.
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QVERIFY(m_viewer.opened.isEmpty());
        m_window.reset();
        delete Nod::Application::ServiceRegistry::instance();

        Settings::instance()->general.setLoadLastSessionWhenStart(true);
        m_window = std::make_unique<MainWindow>();
        m_window->show();
        QCOMPARE(m_viewer.opened, (QStringList { second.localUrl(), first.localUrl() }));
    }

    void backgroundMode_isKeptAcrossRuns()
    {
        QScopedPointer<QMenu> menu(
            m_window->mainTabBar()->createMainMenu(nullptr, MainWindow::backgroundMode()));
        QVERIFY(menu->findChild<QAction *>(QStringLiteral("defaultMode"))->isChecked());
        menu->findChild<QAction *>(QStringLiteral("nightMode"))->trigger();
        QCOMPARE(MainWindow::backgroundMode(), Nod::Domain::BackgroundMode(1, QColor(53, 62, 66)));
        m_window->close();
        QCOMPARE(Settings::instance()->mainWindow.backgroundMode(),
            Nod::Domain::BackgroundMode(1, QColor(53, 62, 66)));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
