#include "support/servicefixture.h"

#include <application/documentservice.h>
#include <mindmap/mindmodel.h>

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QUndoStack>

using Nod::Presentation::MindModel;

class MindModelTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServiceFixture> m_fixture;
    Nod::Application::NoteService *m_notes = nullptr;

    int newDocument(const QString &name)
    {
        const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Md5).toHex();
        return m_fixture->registry()->documentService()->newDocument(
            QString::fromLatin1(hash), m_fixture->makeFile(name), name);
    }

    // The stored tree, read row by row: every node with its children in order.
    QHash<int, QVector<int>> storedTree(int documentId)
    {
        QHash<int, QVector<int>> tree;
        QSqlQuery query;
        query.prepare(QStringLiteral("SELECT id FROM Annotation WHERE documentId = ?"));
        query.addBindValue(documentId);
        if (!query.exec()) {
            qFatal("cannot read the annotations");
        }
        while (query.next()) {
            const int id = query.value(0).toInt();
            tree.insert(id, m_notes->annotation(id).children());
        }
        return tree;
    }

    void verifyMirrors(const MindModel &model)
    {
        const QHash<int, QVector<int>> stored = storedTree(model.documentId());
        QCOMPARE(model.nodeCount(), stored.size());
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            QVERIFY2(model.contains(it.key()), qPrintable(QString::number(it.key())));
            QCOMPARE(model.children(it.key()), it.value());
            for (int child : it.value()) {
                QCOMPARE(model.parentOf(child), it.key());
            }
        }
        QCOMPARE(model.descendants(model.rootId()).size(), stored.size() - 1);
    }

    static bool isBelow(const MindModel &model, int node, int ancestor)
    {
        return model.descendants(ancestor).contains(node);
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_notes = m_fixture->registry()->noteService();
    }

    void cleanup() { m_fixture.reset(); }

    // Adds, moves and removes nodes through the service in a random order; after every step the
    // model holds exactly the stored tree, and announces each change with the range it touched.
    // Another document's tree passes it by.
    void followsTheServiceThroughEveryChange()
    {
        const int documentId = newDocument(QStringLiteral("a.pdf"));
        const int otherId = newDocument(QStringLiteral("b.pdf"));
        const int otherRoot = m_notes->documentNote(otherId).id();
        QUndoStack stack;
        MindModel model(m_notes, &stack);
        QSignalSpy resets(&model, &MindModel::reset);
        model.load(documentId);
        QCOMPARE(resets.count(), 1);
        const int root = model.rootId();
        QCOMPARE(root, m_notes->documentNote(documentId).id());
        QCOMPARE(model.nodeCount(), 1);

        QSignalSpy inserted(&model, &MindModel::inserted);
        QSignalSpy removed(&model, &MindModel::removed);
        QSignalSpy moved(&model, &MindModel::moved);
        QRandomGenerator random(42);
        QVector<int> ids { root };
        for (int step = 0; step < 150; ++step) {
            const int kind = ids.size() < 8 ? 0 : random.bounded(3);
            if (kind == 0) {
                const int parent = ids.at(random.bounded(ids.size()));
                const int id = m_fixture->appendNode(documentId, parent);
                ids.append(id);
                const auto range = inserted.takeLast().at(0).value<MindModel::Range>();
                QCOMPARE(range.parentId, parent);
                QCOMPARE(model.children(parent).at(range.first), id);
            } else if (kind == 1) {
                const int node = ids.at(1 + random.bounded(ids.size() - 1));
                const int target = ids.at(random.bounded(ids.size()));
                if (target == node || isBelow(model, target, node)) {
                    continue;
                }
                const int from = model.parentOf(node);
                const int index = model.children(from).indexOf(node);
                int to = random.bounded(model.children(target).size() + 1);
                if (target == from) {
                    to = qMin(to, model.children(from).size() - 1);
                    if (to == index) {
                        continue;
                    }
                }
                m_notes->handle(Nod::Application::MoveRequest { from, index, target, to });
                const QList<QVariant> args = moved.takeLast();
                QCOMPARE(args.at(0).value<MindModel::Range>(), (MindModel::Range { from, index, index }));
                QCOMPARE(args.at(1).toInt(), target);
                QCOMPARE(model.children(target).at(to), node);
            } else if (kind == 2) {
                const int node = ids.at(1 + random.bounded(ids.size() - 1));
                if (!model.children(node).isEmpty()) {
                    continue;
                }
                const int parent = model.parentOf(node);
                const int index = model.children(parent).indexOf(node);
                m_notes->handle(Nod::Application::RemoveRequest { index, parent });
                QCOMPARE(removed.takeLast().at(0).value<MindModel::Range>(),
                    (MindModel::Range { parent, index, index }));
                QVERIFY(!model.contains(node));
                ids.removeOne(node);
            }
            verifyMirrors(model);
        }
        QVERIFY(model.nodeCount() > 20);

        // A model read afresh agrees with the one that followed the changes.
        MindModel fresh(m_notes, &stack);
        fresh.load(documentId);
        QCOMPARE(fresh.descendants(root), model.descendants(root));
        // Changes in another document's tree pass the model by.
        const int nodes = model.nodeCount();
        m_fixture->appendNode(otherId, otherRoot);
        QCOMPARE(model.nodeCount(), nodes);
    }
};

QTEST_MAIN(MindModelTest)
#include "tst_mindmodel.moc"
