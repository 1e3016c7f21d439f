#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <application/resourceservice.h>
#include <infrastructure/databaseexception.h>

using namespace Nod::Application;

class ServiceRegistryTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    int m_root = 0;
    int m_document = 0;

    int addNode() { return m_fixture->appendNode(m_document, m_root); }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_document = m_fixture->registry()->documentService()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), m_fixture->makeFile(QStringLiteral("a.pdf")),
            QStringLiteral("a"));
        m_root = m_fixture->registry()->noteService()->documentNote(m_document).id();
    }

    void cleanup() { m_fixture.reset(); }

    void instance_isClearedWithTheRegistry()
    {
        auto *registry = new ServiceRegistry;
        ServiceRegistry::setInstance(registry);
        QCOMPARE(ServiceRegistry::instance(), registry);
        delete registry;
        QCOMPARE(ServiceRegistry::instance(), nullptr);
    }

    void resources_storedOncePerNote()
    {
        ResourceService *resources = m_fixture->registry()->resourceService();
        const int a = addNode();
        const int b = addNode();
        const QByteArray red = ServiceFixture::pngBytes(Qt::red);
        QSignalSpy added(resources, &ResourceService::added);
        resources->handle(ServiceFixture::imageRequest(a, red));
        resources->handle(ServiceFixture::imageRequest(a, red));
        resources->handle(ServiceFixture::imageRequest(b, red));
        QCOMPARE(added.count(), 2);
        QCOMPARE(resources->resources(a).size(), 1);
        const QString hash = QString::fromLatin1(ServiceFixture::imageRequest(a, red).hash);
        const Nod::Domain::Resource stored = resources->existingResourceByByOwnerAndHash(b, hash);
        QCOMPARE(stored.data(), red);
        QCOMPARE(stored.width(), 4);
        QCOMPARE(stored.height(), 3);

        try {
            resources->existingResourceByByOwnerAndHash(a, QStringLiteral("deadbeef"));
            QFAIL("found a hash the note does not hold");
        } catch (const std::runtime_error &error) {
            QCOMPARE(QString::fromLatin1(error.what()),
                QStringLiteral("Resource not exist, ownerId: %1, hash: deadbeef").arg(a));
        }
        NewResource empty = ServiceFixture::imageRequest(a, ServiceFixture::pngBytes(Qt::blue));
        empty.size = QSize(0, 0);
        QVERIFY_EXCEPTION_THROWN(resources->handle(empty), std::invalid_argument);
        QVERIFY_EXCEPTION_THROWN(resources->remove(987654), std::bad_optional_access);
    }

    void removingAnAnnotation_takesItsImagesInTheSameUnit()
    {
        ResourceService *resources = m_fixture->registry()->resourceService();
        NoteService *notes = m_fixture->registry()->noteService();
        const int a = addNode();
        const int keep = addNode();
        resources->handle(ServiceFixture::imageRequest(a, ServiceFixture::pngBytes(Qt::red)));
        resources->handle(ServiceFixture::imageRequest(a, ServiceFixture::pngBytes(Qt::green)));
        resources->handle(ServiceFixture::imageRequest(keep, ServiceFixture::pngBytes(Qt::red)));
        QCOMPARE(notes->annotationCount(m_document), 3);

        QStringList events;
        connect(resources, &ResourceService::aboutToBeRemoved, this,
            [&] { events << QStringLiteral("resource about"); });
        connect(resources, &ResourceService::removed, this,
            [&] { events << QStringLiteral("resource removed"); });
        connect(notes, &NoteService::removed, this, [&] { events << QStringLiteral("note removed"); });
        connect(notes, &NoteService::aboutToBeRemoved, this, [&](const Annotation &anno) {
            // A listener still finds the annotation and its images in the database.
            QVERIFY(notes->find(anno.id()).has_value());
            QCOMPARE(resources->resources(anno.id()).size(), 2);
        });

        const QStringList annotationRows = rowsOf(QStringLiteral("Annotation"));
        const QStringList resourceRows = rowsOf(QStringLiteral("Resource"));
        const QList<QPair<QString, QString>> failures { { QStringLiteral("DELETE"),
                                                            QStringLiteral("Resource") },
            { QStringLiteral("UPDATE"), QStringLiteral("Annotation") },
            { QStringLiteral("DELETE"), QStringLiteral("Annotation") } };
        for (const auto &failure : failures) {
            failNext(failure.first, failure.second);
            QVERIFY_EXCEPTION_THROWN(
                notes->handle(RemoveRequest { 0, m_root }), Nod::Infrastructure::DatabaseException);
            stopFailing(failure.first);
            QCOMPARE(rowsOf(QStringLiteral("Annotation")), annotationRows);
            QCOMPARE(rowsOf(QStringLiteral("Resource")), resourceRows);
            QVERIFY2(!events.contains(QStringLiteral("resource removed")), qPrintable(failure.second));
            QVERIFY(!events.contains(QStringLiteral("note removed")));
            QCOMPARE(notes->annotationCount(m_document), 3);
            events.clear();
        }

        notes->handle(RemoveRequest { 0, m_root });
        // The images go in the note's own transaction; every completion follows its commit.
        QCOMPARE(events,
            (QStringList { QStringLiteral("resource about"), QStringLiteral("resource about"),
                QStringLiteral("resource removed"), QStringLiteral("resource removed"),
                QStringLiteral("note removed") }));
        QVERIFY(resources->resources(a).isEmpty());
        QCOMPARE(resources->resources(keep).size(), 1);
        QCOMPARE(notes->annotationCount(m_document), 2);
    }
};

QTEST_GUILESS_MAIN(ServiceRegistryTest)
#include "tst_serviceregistry.moc"
