#include "damagedtree.h"
#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <application/noteservice.h>
#include <infrastructure/databaseexception.h>

#include <QRandomGenerator>

#include <map>

using namespace Nod::Application;
using Nod::Domain::Marker;

namespace {

Marker rectCanvas(double x = 10, double y = 20) { return Marker(QRectF(x, y, 100, 40)); }

Marker highlight(double y)
{
    return Marker(QPolygonF(QRectF(0, y, 50, 10)), Marker::AllEdges, QPen(Qt::red), QBrush(Qt::yellow));
}

// The tree as the rows have it: parent and ordered children of every node of a document.
struct StoredTree
{
    std::map<int, int> parentOf;
    std::map<int, QVector<int>> childrenOf;
};

StoredTree storedTree(int documentId)
{
    StoredTree tree;
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT id, parentId, children FROM Annotation WHERE documentId = ?"));
    query.addBindValue(documentId);
    query.exec();
    while (query.next()) {
        Nod::Domain::Annotation node;
        node.setChildrenData(query.value(2).toByteArray());
        tree.parentOf[query.value(0).toInt()] = query.value(1).toInt();
        tree.childrenOf[query.value(0).toInt()] = node.children();
    }
    return tree;
}

int storedCount(int documentId)
{
    return TestSupport::scalar(
        QStringLiteral("SELECT count(*) FROM Annotation WHERE documentId = %1").arg(documentId))
        .toInt();
}

} // namespace

class NoteServiceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    NoteService *m_notes = nullptr;
    int m_documentId = 0;
    int m_rootId = 0;

    // A node on page 0 appended under `parentId`.
    int addNode(int parentId, int index = -1)
    {
        NewAnnotation request;
        request.id = m_notes->nextId();
        request.documentId = m_documentId;
        request.pageIndex = 0;
        request.position = QPointF(5, 5);
        request.canvas = rectCanvas();
        request.createdAt = QDateTime::currentDateTime();
        request.parentId = parentId;
        request.index = index >= 0 ? index : m_notes->annotation(parentId).children().size();
        m_notes->newAnnotation(request);
        return request.id;
    }

    QVector<int> childrenOf(int id) { return m_notes->annotation(id).children(); }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_notes = m_fixture->registry()->noteService();
        m_documentId = m_fixture->registry()->documentService()->newDocument(
            QStringLiteral("0123456789abcdef0123456789abcdef"), m_fixture->makeFile(QStringLiteral("a.pdf")),
            QStringLiteral("a.pdf"));
        QVERIFY(m_documentId > 0);
        m_rootId = m_notes->documentNote(m_documentId).id();
    }

    void cleanup() { m_fixture.reset(); }

    // However the stored lists are damaged, the tree holds every annotation once; what no list reaches
    // follows the listed ones in page order; removing the document's tree ends and takes every row.
    void damagedChildrenLists_treeHoldsEveryAnnotationOnce_data() { addTreeDamageRows(); }

    void damagedChildrenLists_treeHoldsEveryAnnotationOnce()
    {
        QFETCH(QString, damage);
        const TreeIds t = buildDamageableTree(m_notes, m_documentId);
        damageTree(damage, t);
        const bool rootLost = damage.startsWith(QLatin1String("root list"));

        const Nod::Application::AnnotationTree tree = m_notes->tree(m_documentId);
        QCOMPARE(tree.size(), 5);
        QCOMPARE(tree.descendants(t.root),
            rootLost ? (QVector<int> { t.a, t.d, t.b, t.c }) : (QVector<int> { t.c, t.a, t.d, t.b }));
        QCOMPARE(tree.parentOf(t.d), t.a);
        QCOMPARE(tree.depthOf(t.d), 2);
        QCOMPARE(tree.unreached(), rootLost ? (QVector<int> { t.a, t.b, t.c }) : QVector<int>());

        m_notes->removeDocumentTree(m_documentId);
        QCOMPARE(
            TestSupport::scalar(
                QStringLiteral("SELECT COUNT(*) FROM Annotation WHERE documentId = %1").arg(m_documentId))
                .toInt(),
            0);
    }

    void newAnnotation_storesNodeBeforeAnnouncing()
    {
        const int first = addNode(m_rootId);
        NewAnnotation request;
        request.id = m_notes->nextId();
        request.documentId = m_documentId;
        request.pageIndex = 3;
        request.position = QPointF(12.5, 40);
        request.canvas = rectCanvas(1, 2);
        request.markers = { highlight(10), highlight(30) };
        request.noteText = QStringLiteral("<p>note</p>");
        request.createdAt = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5));
        request.parentId = m_rootId;
        request.index = 0;

        int calls = 0;
        connect(m_notes, &NoteService::added, this, [&](const Annotation &anno, int index, int parentId) {
            ++calls;
            QCOMPARE(index, 0);
            QCOMPARE(parentId, m_rootId);
            QCOMPARE(anno.id(), request.id);
            QCOMPARE(anno.markerCount(), 2);
            // Listeners see the committed rows.
            QCOMPARE(childrenOf(m_rootId), (QVector<int> { request.id, first }));
            const Annotation stored = m_notes->annotation(request.id);
            QCOMPARE(stored.pageIndex(), 3);
            QCOMPARE(stored.position(), QPointF(12.5, 40));
            QCOMPARE(stored.canvas(), rectCanvas(1, 2));
            QCOMPARE(stored.markers(), request.markers);
            QCOMPARE(stored.noteText(), request.noteText);
            QCOMPARE(stored.createdAt(), request.createdAt);
            QCOMPARE(stored.parentId(), m_rootId);
            QVERIFY(stored.children().isEmpty());
        });
        m_notes->newAnnotation(request);
        QCOMPARE(calls, 1);
        QCOMPARE(m_notes->annotations(m_documentId, 3).size(), 1);
    }

    void newAnnotation_refusesBadRequestsWithoutWriting_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("index past the end") << "index"
                                            << "invalid argument";
        QTest::newRow("id already a child") << "duplicate"
                                            << "child has existed in parent";
        QTest::newRow("no canvas") << "canvas"
                                   << "Invalid argument";
        QTest::newRow("negative page") << "page"
                                       << "Invalid argument";
        QTest::newRow("no parent") << "parent"
                                   << "Invalid argument";
        QTest::newRow("missing parent") << "missing"
                                        << "annotation not exist, id: 999999";
    }

    void newAnnotation_refusesBadRequestsWithoutWriting()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        const int existing = addNode(m_rootId);
        NewAnnotation request;
        request.id = m_notes->nextId();
        request.documentId = m_documentId;
        request.canvas = rectCanvas();
        request.parentId = m_rootId;
        request.index = 1;
        if (fault == QLatin1String("index")) {
            request.index = 2;
        } else if (fault == QLatin1String("duplicate")) {
            request.id = existing;
        } else if (fault == QLatin1String("canvas")) {
            request.canvas = Marker();
        } else if (fault == QLatin1String("page")) {
            request.pageIndex = -1;
        } else if (fault == QLatin1String("parent")) {
            request.parentId = 0;
        } else {
            request.parentId = 999999;
        }
        QSignalSpy added(m_notes, &NoteService::added);
        const int rowsBefore = storedCount(m_documentId);
        try {
            m_notes->newAnnotation(request);
            QFAIL("expected an exception");
        } catch (const std::exception &error) {
            QCOMPARE(QString::fromLatin1(error.what()), message);
        }
        QCOMPARE(added.count(), 0);
        QCOMPARE(storedCount(m_documentId), rowsBefore);
        QCOMPARE(childrenOf(m_rootId), QVector<int> { existing });
    }

    void remove_announcesBeforeAndAfterTheRowsChange()
    {
        const int a = addNode(m_rootId);
        const int b = addNode(m_rootId);
        const int countBefore = m_notes->annotationCount(m_documentId);
        QStringList events;
        connect(m_notes, &NoteService::aboutToBeRemoved, this,
            [&](const Annotation &anno, int index, int parentId) {
                events << QStringLiteral("about %1 %2 %3").arg(anno.id()).arg(index).arg(parentId);
                QVERIFY(m_notes->find(a).has_value());
                QCOMPARE(childrenOf(m_rootId), (QVector<int> { a, b }));
            });
        connect(m_notes, &NoteService::removed, this, [&](const Annotation &anno, int index, int parentId) {
            events << QStringLiteral("removed %1 %2 %3").arg(anno.id()).arg(index).arg(parentId);
            QVERIFY(!m_notes->find(a).has_value());
            QCOMPARE(childrenOf(m_rootId), QVector<int> { b });
        });
        m_notes->handle(RemoveRequest { 0, m_rootId });
        QCOMPARE(events,
            (QStringList { QStringLiteral("about %1 0 %2").arg(a).arg(m_rootId),
                QStringLiteral("removed %1 0 %2").arg(a).arg(m_rootId) }));
        QCOMPARE(m_notes->annotationCount(m_documentId), countBefore - 1);
        QCOMPARE(m_notes->annotationCount(m_documentId), storedCount(m_documentId));
    }

    void remove_refusesInnerNodesAndBadIndexes()
    {
        const int a = addNode(m_rootId);
        addNode(a);
        QSignalSpy about(m_notes, &NoteService::aboutToBeRemoved);
        QVERIFY_EXCEPTION_THROWN(m_notes->handle(RemoveRequest { 0, m_rootId }), std::runtime_error);
        QVERIFY_EXCEPTION_THROWN(m_notes->handle(RemoveRequest { 1, m_rootId }), std::invalid_argument);
        QVERIFY_EXCEPTION_THROWN(m_notes->handle(RemoveRequest { -1, m_rootId }), std::invalid_argument);
        QCOMPARE(about.count(), 0);
        QCOMPARE(childrenOf(m_rootId), QVector<int> { a });
        QCOMPARE(storedCount(m_documentId), 3);
    }

    void moveWithinParent_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("expected");
        QTest::newRow("down") << 0 << 2 << "bcad";
        QTest::newRow("up") << 3 << 1 << "adbc";
        QTest::newRow("to the end") << 0 << 3 << "bcda";
        QTest::newRow("same place") << 2 << 2 << "abcd";
    }

    void moveWithinParent()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, expected);
        QMap<QChar, int> ids;
        for (const QChar name : QStringLiteral("abcd")) {
            ids[name] = addNode(m_rootId);
        }
        QSignalSpy about(m_notes, &NoteService::aboutToBeMoved);
        QSignalSpy moved(m_notes, &NoteService::moved);
        m_notes->handle(MoveRequest { m_rootId, from, m_rootId, to });

        QVector<int> want;
        for (const QChar name : expected) {
            want << ids[name];
        }
        QCOMPARE(childrenOf(m_rootId), want);
        const int signals_ = from == to ? 0 : 1;
        QCOMPARE(about.count(), signals_);
        QCOMPARE(moved.count(), signals_);
        if (signals_) {
            QCOMPARE(about.first().at(0).value<Annotation>().children(),
                (QVector<int> { ids['a'], ids['b'], ids['c'], ids['d'] }));
            QCOMPARE(moved.first().at(0).value<Annotation>().children(), want);
            QCOMPARE(moved.first().at(1).toInt(), from);
            QCOMPARE(moved.first().at(3).toInt(), to);
        }
    }

    void moveAcrossParents_updatesBothParentsAndTheNode()
    {
        const int a = addNode(m_rootId);
        const int b = addNode(m_rootId);
        const int b1 = addNode(b);
        QSignalSpy about(m_notes, &NoteService::aboutToBeMoved);
        QSignalSpy moved(m_notes, &NoteService::moved);
        connect(m_notes, &NoteService::moved, this, [&] { QCOMPARE(m_notes->annotation(a).parentId(), b); });

        m_notes->handle(MoveRequest { m_rootId, 0, b, 1 }); // the destination's count appends
        QCOMPARE(childrenOf(m_rootId), QVector<int> { b });
        QCOMPARE(childrenOf(b), (QVector<int> { b1, a }));
        QCOMPARE(m_notes->annotation(a).parentId(), b);
        QCOMPARE(about.count(), 1);
        QCOMPARE(about.first().at(0).value<Annotation>().children(), (QVector<int> { a, b }));
        QCOMPARE(about.first().at(2).value<Annotation>().children(), QVector<int> { b1 });
        QCOMPARE(moved.first().at(0).value<Annotation>().children(), QVector<int> { b });
        QCOMPARE(moved.first().at(2).value<Annotation>().children(), (QVector<int> { b1, a }));
    }

    void moveAcrossParents_refusesDescendantsAndBadIndexes()
    {
        const int a = addNode(m_rootId);
        const int a1 = addNode(a);
        const int a11 = addNode(a1);
        QSignalSpy about(m_notes, &NoteService::aboutToBeMoved);
        try {
            m_notes->handle(MoveRequest { m_rootId, 0, a11, 0 });
            QFAIL("moved below its own descendant");
        } catch (const std::runtime_error &error) {
            QCOMPARE(
                QString::fromLatin1(error.what()), QStringLiteral("can't move node to descendants node"));
        }
        QVERIFY_EXCEPTION_THROWN(m_notes->handle(MoveRequest { m_rootId, 1, a1, 0 }), std::invalid_argument);
        QVERIFY_EXCEPTION_THROWN(m_notes->handle(MoveRequest { a, 0, m_rootId, 2 }), std::invalid_argument);
        QVERIFY_EXCEPTION_THROWN(
            m_notes->handle(MoveRequest { m_rootId, 0, m_rootId, 1 }), std::invalid_argument);
        QCOMPARE(about.count(), 0);
        QCOMPARE(childrenOf(m_rootId), QVector<int> { a });
        QCOMPARE(childrenOf(a), QVector<int> { a1 });
        QCOMPARE(childrenOf(a1), QVector<int> { a11 });
    }

    void moveAcrossDocuments_isRefused()
    {
        const int a = addNode(m_rootId);
        const int other = m_fixture->registry()->documentService()->newDocument(
            QStringLiteral("fedcba9876543210fedcba9876543210"), m_fixture->makeFile(QStringLiteral("b.pdf")),
            QStringLiteral("b.pdf"));
        const int otherRoot = m_notes->documentNote(other).id();
        QVERIFY_EXCEPTION_THROWN(
            m_notes->handle(MoveRequest { m_rootId, 0, otherRoot, 0 }), std::invalid_argument);
        QCOMPARE(m_notes->annotation(a).parentId(), m_rootId);
        QVERIFY(childrenOf(otherRoot).isEmpty());
    }

    void unchangedValues_signalNothing()
    {
        const int a = addNode(m_rootId);
        QVERIFY(m_notes->changeNote(a, QStringLiteral("text")));
        QSignalSpy note(m_notes, &NoteService::noteChanged);
        QSignalSpy canvas(m_notes, &NoteService::canvasChanged);
        QVERIFY(m_notes->changeNote(a, QStringLiteral("text")));
        QVERIFY(m_notes->changeCanvas(a, rectCanvas()));
        QCOMPARE(note.count(), 0);
        QCOMPARE(canvas.count(), 0);
        QVERIFY(!m_notes->changeCanvas(a, Marker()));
        QVERIFY(!m_notes->changeNote(0, QStringLiteral("x")));

        QVERIFY(m_notes->changeCanvas(a, rectCanvas(30, 30)));
        QCOMPARE(canvas.count(), 1);
        QCOMPARE(m_notes->annotation(a).canvas(), rectCanvas(30, 30));
    }

    void markers_insertRemoveReplaceAtTheBounds()
    {
        const int a = addNode(m_rootId);
        QSignalSpy inserted(m_notes, &NoteService::markerInserted);
        QVERIFY(m_notes->insertMarker(a, 0, highlight(1)));
        QVERIFY(m_notes->insertMarker(a, 1, highlight(2))); // at the count: appends
        QVERIFY(!m_notes->insertMarker(a, 3, highlight(3)));
        QVERIFY(!m_notes->insertMarker(a, 0, Marker()));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(m_notes->annotation(a).markers(), (QVector<Marker> { highlight(1), highlight(2) }));

        QVERIFY(!m_notes->replaceMarker(a, 2, highlight(9)));
        QVERIFY(m_notes->replaceMarker(a, 1, highlight(9)));
        QCOMPARE(m_notes->annotation(a).marker(1), highlight(9));

        QStringList events;
        connect(m_notes, &NoteService::markerAboutToBeRemoved, this, [&](const Annotation &anno, int index) {
            events << QStringLiteral("about %1 of %2").arg(index).arg(anno.markerCount());
        });
        connect(m_notes, &NoteService::markerRemoved, this, [&](const Annotation &anno, int index) {
            events << QStringLiteral("removed %1 of %2").arg(index).arg(anno.markerCount());
        });
        QVERIFY(!m_notes->removeMarker(a, 2));
        QVERIFY(m_notes->removeMarker(a, 0));
        QCOMPARE(events, (QStringList { QStringLiteral("about 0 of 2"), QStringLiteral("removed 0 of 1") }));
        QCOMPARE(m_notes->annotation(a).markers(), QVector<Marker> { highlight(9) });
    }

    void failingStatement_leavesRowsSignalsAndCountsAlone()
    {
        const int a = addNode(m_rootId);
        const int b = addNode(m_rootId);
        const int countBefore = m_notes->annotationCount(m_documentId);
        const StoredTree before = storedTree(m_documentId);
        QSignalSpy added(m_notes, &NoteService::added);
        QSignalSpy removed(m_notes, &NoteService::removed);
        QSignalSpy moved(m_notes, &NoteService::moved);
        QSignalSpy note(m_notes, &NoteService::noteChanged);

        failNext(QStringLiteral("UPDATE"), QStringLiteral("Annotation"));
        QVERIFY_EXCEPTION_THROWN(addNode(m_rootId), Nod::Infrastructure::DatabaseException);
        QVERIFY_EXCEPTION_THROWN(
            m_notes->handle(RemoveRequest { 0, m_rootId }), Nod::Infrastructure::DatabaseException);
        QVERIFY_EXCEPTION_THROWN(
            m_notes->handle(MoveRequest { m_rootId, 0, b, 0 }), Nod::Infrastructure::DatabaseException);
        QVERIFY_EXCEPTION_THROWN(
            m_notes->changeNote(a, QStringLiteral("lost?")), Nod::Infrastructure::DatabaseException);
        stopFailing(QStringLiteral("UPDATE"));

        failNext(QStringLiteral("DELETE"), QStringLiteral("Annotation"));
        QVERIFY_EXCEPTION_THROWN(
            m_notes->handle(RemoveRequest { 1, m_rootId }), Nod::Infrastructure::DatabaseException);
        stopFailing(QStringLiteral("DELETE"));

        QCOMPARE(added.count() + removed.count() + moved.count() + note.count(), 0);
        const StoredTree after = storedTree(m_documentId);
        QCOMPARE(after.parentOf, before.parentOf);
        QCOMPARE(after.childrenOf, before.childrenOf);
        QCOMPARE(m_notes->annotationCount(m_documentId), countBefore);
        QCOMPARE(m_notes->annotationCount(m_documentId), storedCount(m_documentId));

        // The service is usable again once statements succeed.
        addNode(m_rootId);
        QCOMPARE(m_notes->annotationCount(m_documentId), storedCount(m_documentId));
    }

    void randomOperations_keepTheTreeLikeTheModel()
    {
        // The model: parent and ordered children of every node, changed by the same random requests.
        std::map<int, int> parentOf { { m_rootId, 0 } };
        std::map<int, QVector<int>> childrenOf { { m_rootId, {} } };
        auto isBelow = [&](int node, int ancestor) {
            for (int n = node; n != 0; n = parentOf[n]) {
                if (n == ancestor) {
                    return true;
                }
            }
            return false;
        };
        QRandomGenerator random(20261208);
        auto pick = [&](const std::map<int, int> &nodes) {
            auto it = nodes.begin();
            std::advance(it, random.bounded(int(nodes.size())));
            return it->first;
        };
        int refused = 0;
        const int steps = 1500;
        const TestSupport::LogCapture quiet;
        for (int step = 0; step < steps; ++step) {
            const int kind = random.bounded(10);
            if (kind < 4 || childrenOf.size() < 3) {
                const int parent = pick(parentOf);
                const int count = childrenOf[parent].size();
                const int index = random.bounded(count + 2); // one past the end is refused
                NewAnnotation request;
                request.id = m_notes->nextId();
                request.documentId = m_documentId;
                request.canvas = rectCanvas();
                request.parentId = parent;
                request.index = index;
                try {
                    m_notes->newAnnotation(request);
                    QVERIFY(index <= count);
                    childrenOf[parent].insert(index, request.id);
                    parentOf[request.id] = parent;
                    childrenOf[request.id] = {};
                } catch (const std::invalid_argument &) {
                    QVERIFY(index > count);
                    ++refused;
                }
            } else if (kind < 8) {
                const int source = pick(parentOf);
                const int destination = random.bounded(4) == 0 ? source : pick(parentOf);
                const int sourceCount = childrenOf[source].size();
                const int sourceIndex = random.bounded(sourceCount + 1);
                const int destinationIndex = random.bounded(childrenOf[destination].size() + 2);
                const MoveRequest request { source, sourceIndex, destination, destinationIndex };
                const bool noop = source == destination && sourceIndex == destinationIndex;
                bool valid = noop;
                if (!noop && source == destination) {
                    valid = sourceIndex < sourceCount && destinationIndex < sourceCount;
                } else if (!noop) {
                    valid = sourceIndex < sourceCount && destinationIndex <= childrenOf[destination].size()
                        && !isBelow(destination, childrenOf[source][sourceIndex]);
                }
                try {
                    m_notes->handle(request);
                    QVERIFY2(valid, qPrintable(QStringLiteral("step %1 accepted an invalid move").arg(step)));
                    if (noop) {
                        continue;
                    }
                    const int node = childrenOf[source].takeAt(sourceIndex);
                    childrenOf[destination].insert(destinationIndex, node);
                    parentOf[node] = destination;
                } catch (const std::exception &) {
                    QVERIFY2(!valid, qPrintable(QStringLiteral("step %1 refused a valid move").arg(step)));
                    ++refused;
                }
            } else {
                const int parent = pick(parentOf);
                const int count = childrenOf[parent].size();
                const int index = random.bounded(count + 1);
                const bool valid = index < count && childrenOf[childrenOf[parent][index]].isEmpty();
                try {
                    m_notes->handle(RemoveRequest { index, parent });
                    QVERIFY(valid);
                    const int node = childrenOf[parent].takeAt(index);
                    parentOf.erase(node);
                    childrenOf.erase(node);
                } catch (const std::exception &) {
                    QVERIFY(!valid);
                    ++refused;
                }
            }

            const StoredTree stored = storedTree(m_documentId);
            QCOMPARE(stored.parentOf, parentOf);
            QCOMPARE(stored.childrenOf, childrenOf);
            QCOMPARE(m_notes->annotationCount(m_documentId), int(parentOf.size()));
        }
        // Invariants of the final tree: every id stands once in one children list, and every chain of
        // parents ends at the root.
        QSet<int> seen;
        for (const auto &entry : childrenOf) {
            for (int child : entry.second) {
                QVERIFY(!seen.contains(child));
                seen.insert(child);
            }
        }
        QCOMPARE(seen.size(), int(parentOf.size()) - 1);
        for (const auto &entry : parentOf) {
            int hops = 0;
            for (int n = entry.first; n != m_rootId; n = parentOf[n]) {
                QVERIFY(++hops < int(parentOf.size()));
            }
        }
        // Both paths must have been exercised for the comparison to mean something.
        QVERIFY2(refused > steps / 20 && refused < steps * 2 / 3,
            qPrintable(
                QStringLiteral("%1 of %2 refused, %3 nodes").arg(refused).arg(steps).arg(parentOf.size())));
    }
};

QTEST_GUILESS_MAIN(NoteServiceTest)
#include "tst_noteservice.moc"
