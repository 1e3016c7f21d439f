#include "support/servicefixture.h"

#include <application/tagservice.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/repositories/tagrepository.h>

#include <QRandomGenerator>

#include <map>
#include <set>

using namespace Nod::Application;

namespace {
// What the rows hold, read behind the service's back.
std::map<int, std::pair<int, QSet<int>>> storedTags(const QString &table)
{
    std::map<int, std::pair<int, QSet<int>>> tags;
    const QVector<Tag> all = Nod::Infrastructure::TagRepository(table).findAll();
    for (const Tag &tag : all) {
        tags[tag.id()] = { tag.parentId(), tag.items() };
    }
    return tags;
}

QSet<int> idsOf(const QVector<Tag> &tags)
{
    QSet<int> ids;
    for (const Tag &tag : tags) {
        ids.insert(tag.id());
    }
    return ids;
}
} // namespace

class TagServiceTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ServiceFixture> m_fixture;
    TagService *m_categories = nullptr;

private slots:
    void init()
    {
        m_fixture = std::make_unique<ServiceFixture>();
        QVERIFY(m_fixture->isValid());
        m_categories = m_fixture->registry()->categoryService();
    }

    void cleanup() { m_fixture.reset(); }

    void newTag_needsANameAndAnExistingParent()
    {
        QSignalSpy added(m_categories, &TagService::added);
        QCOMPARE(m_categories->newTag(QStringLiteral("x"), 4242), -1);
        QCOMPARE(m_categories->newTag(QString(), 0), -1);
        QCOMPARE(m_categories->newTag(QStringLiteral("x"), -1), -1);
        QCOMPARE(added.count(), 0);
        const int top = m_categories->newTag(QStringLiteral("Physics"), 0);
        const int sub = m_categories->newTag(QStringLiteral("Optics"), top);
        QVERIFY(top > 0 && sub > top);
        QCOMPARE(added.count(), 2);
        QCOMPARE(m_categories->tag(sub).parentId(), top);
        QCOMPARE(idsOf(m_categories->children(top)), QSet<int> { sub });
        // The other tree is a table of its own.
        QVERIFY(!m_fixture->registry()->tagService()->find(top).has_value());
    }

    void items_indexFollowsWithoutReads()
    {
        const int a = m_categories->newTag(QStringLiteral("a"), 0);
        const int b = m_categories->newTag(QStringLiteral("b"), 0);
        QSignalSpy itemAdded(m_categories, &TagService::itemAdded);
        QVERIFY(m_categories->addItem(a, 7));
        QVERIFY(m_categories->addItem(a, 7));
        QVERIFY(m_categories->addItem(b, 7));
        QCOMPARE(itemAdded.count(), 2);
        QVERIFY(!m_categories->addItem(a, 0));
        QVERIFY_EXCEPTION_THROWN(m_categories->addItem(999, 7), std::runtime_error);

        // Drop the table's rows behind the service: the index must answer from memory.
        TestSupport::exec(QStringLiteral("CREATE TABLE hidden AS SELECT * FROM Category"));
        TestSupport::exec(QStringLiteral("DELETE FROM Category"));
        QCOMPARE(idsOf(m_categories->tagsOfDocument(7)), (QSet<int> { a, b }));
        TestSupport::exec(QStringLiteral("INSERT INTO Category SELECT * FROM hidden"));

        QStringList events;
        connect(m_categories, &TagService::itemAboutToBeRemoved, this, [&](const Tag &tag, int doc) {
            events << QStringLiteral("about %1 %2 %3").arg(tag.id()).arg(doc).arg(tag.items().contains(doc));
        });
        connect(m_categories, &TagService::itemRemoved, this, [&](const Tag &tag, int doc) {
            events
                << QStringLiteral("removed %1 %2 %3").arg(tag.id()).arg(doc).arg(tag.items().contains(doc));
        });
        QVERIFY(m_categories->removeItem(a, 7));
        QVERIFY(m_categories->removeItem(a, 7));
        QCOMPARE(events,
            (QStringList { QStringLiteral("about %1 7 1").arg(a), QStringLiteral("removed %1 7 0").arg(a) }));
        QCOMPARE(idsOf(m_categories->tagsOfDocument(7)), QSet<int> { b });
        QCOMPARE(storedTags(QStringLiteral("Category"))[a].second, QSet<int>());
    }

    void removeTree_isOneUnit()
    {
        const int top = m_categories->newTag(QStringLiteral("top"), 0);
        const int child = m_categories->newTag(QStringLiteral("child"), top);
        const int grandchild = m_categories->newTag(QStringLiteral("grandchild"), child);
        const int other = m_categories->newTag(QStringLiteral("other"), 0);
        QVERIFY(m_categories->addItem(top, 101));
        QVERIFY(m_categories->addItem(top, 102));
        QVERIFY(m_categories->addItem(child, 101));
        QVERIFY(m_categories->addItem(other, 101));
        const auto before = storedTags(QStringLiteral("Category"));
        QSignalSpy removed(m_categories, &TagService::removed);
        QSignalSpy itemRemoved(m_categories, &TagService::itemRemoved);

        // The first step of the unit fails, then its last one.
        const QStringList triggers { QStringLiteral("BEFORE UPDATE ON Category"),
            QStringLiteral("BEFORE DELETE ON Category WHEN OLD.id = %1").arg(top) };
        for (const QString &when : triggers) {
            TestSupport::exec(
                QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'forced'); END")
                    .arg(when));
            QVERIFY_EXCEPTION_THROWN(m_categories->removeTree(top), Nod::Infrastructure::DatabaseException);
            TestSupport::exec(QStringLiteral("DROP TRIGGER refuse"));
            QVERIFY(storedTags(QStringLiteral("Category")) == before);
            QCOMPARE(removed.count() + itemRemoved.count(), 0);
            QCOMPARE(idsOf(m_categories->tagsOfDocument(101)), (QSet<int> { top, child, other }));
            QCOMPARE(m_categories->tag(top).items(), (QSet<int> { 101, 102 }));
        }

        QVERIFY(m_categories->removeTree(top));
        QCOMPARE(removed.count(), 3);
        QCOMPARE(itemRemoved.count(), 3);
        QCOMPARE(storedTags(QStringLiteral("Category")).size(), std::size_t(1));
        QVERIFY(!m_categories->find(grandchild));
        QCOMPARE(idsOf(m_categories->tagsOfDocument(101)), QSet<int> { other });
        QVERIFY(m_categories->tagsOfDocument(102).isEmpty());
    }

    void remove_onlyEmptyLeaves()
    {
        const int parent = m_categories->newTag(QStringLiteral("p"), 0);
        const int child = m_categories->newTag(QStringLiteral("c"), parent);
        QVERIFY(m_categories->addItem(child, 3));
        QSignalSpy about(m_categories, &TagService::aboutToBeRemoved);
        QVERIFY(!m_categories->remove(parent)); // has a child
        QVERIFY(!m_categories->remove(child)); // carries an item
        QCOMPARE(about.count(), 0);
        QVERIFY(m_categories->removeItem(child, 3));
        QVERIFY(m_categories->remove(child));
        QVERIFY(m_categories->remove(parent));
        QVERIFY(m_categories->remove(parent)); // already gone
        QCOMPARE(about.count(), 2);
        QVERIFY(!m_categories->find(parent).has_value());
        QVERIFY(storedTags(QStringLiteral("Category")).empty());
    }

    void move_refusesItselfAndDescendants()
    {
        const int a = m_categories->newTag(QStringLiteral("a"), 0);
        const int a1 = m_categories->newTag(QStringLiteral("a1"), a);
        const int a11 = m_categories->newTag(QStringLiteral("a11"), a1);
        const int b = m_categories->newTag(QStringLiteral("b"), 0);
        QSignalSpy moved(m_categories, &TagService::moved);
        QVERIFY(!m_categories->move(a, a));
        QVERIFY(!m_categories->move(a, a11));
        QVERIFY(m_categories->move(a1, a)); // already there
        QCOMPARE(moved.count(), 0);
        QVERIFY(m_categories->move(a1, b));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(m_categories->tag(a1).parentId(), b);
        QCOMPARE(storedTags(QStringLiteral("Category"))[a1].first, b);
        QVERIFY(m_categories->move(a11, 0));
        QCOMPARE(m_categories->tag(a11).parentId(), 0);
    }

    void failingStatement_keepsCacheAndIndex()
    {
        const int a = m_categories->newTag(QStringLiteral("a"), 0);
        QVERIFY(m_categories->addItem(a, 5));
        QSignalSpy anything(m_categories, &TagService::itemAdded);
        QSignalSpy renamed(m_categories, &TagService::nameChanged);
        failNext(QStringLiteral("UPDATE"), QStringLiteral("Category"));
        QVERIFY_EXCEPTION_THROWN(m_categories->addItem(a, 6), Nod::Infrastructure::DatabaseException);
        QVERIFY_EXCEPTION_THROWN(m_categories->removeItem(a, 5), Nod::Infrastructure::DatabaseException);
        QVERIFY_EXCEPTION_THROWN(
            m_categories->changeTagName(a, QStringLiteral("z")), Nod::Infrastructure::DatabaseException);
        stopFailing(QStringLiteral("UPDATE"));
        QCOMPARE(anything.count() + renamed.count(), 0);
        QCOMPARE(m_categories->tag(a).items(), QSet<int> { 5 });
        QCOMPARE(m_categories->tag(a).name(), QStringLiteral("a"));
        QCOMPARE(idsOf(m_categories->tagsOfDocument(5)), QSet<int> { a });
        QVERIFY(m_categories->tagsOfDocument(6).isEmpty());
    }

    void randomOperations_keepTreeAndIndexLikeTheModel()
    {
        std::map<int, std::pair<int, QSet<int>>> model; // id -> (parent, items)
        auto isBelow = [&](int node, int ancestor) {
            for (int n = node; n != 0; n = model[n].first) {
                if (n == ancestor) {
                    return true;
                }
            }
            return false;
        };
        QRandomGenerator random(81206);
        auto pick = [&]() {
            auto it = model.begin();
            std::advance(it, random.bounded(int(model.size())));
            return it->first;
        };
        const TestSupport::LogCapture quiet;
        const int steps = 1500;
        for (int step = 0; step < steps; ++step) {
            const int kind = random.bounded(10);
            if (kind < 3 || model.size() < 3) {
                const int parent = model.empty() || random.bounded(3) == 0 ? 0 : pick();
                const int id = m_categories->newTag(QStringLiteral("t%1").arg(step), parent);
                QVERIFY(id > 0);
                model[id] = { parent, {} };
            } else if (kind < 5) {
                const int id = pick();
                const int to = random.bounded(4) == 0 ? 0 : pick();
                const bool expected = to != id && !isBelow(to, id);
                QCOMPARE(m_categories->move(id, to), expected);
                if (expected) {
                    model[id].first = to;
                }
            } else if (kind < 7) {
                const int id = pick();
                const int doc = 1 + random.bounded(40);
                QVERIFY(m_categories->addItem(id, doc));
                model[id].second.insert(doc);
            } else if (kind < 9) {
                const int id = pick();
                const int doc = 1 + random.bounded(40);
                QVERIFY(m_categories->removeItem(id, doc));
                model[id].second.remove(doc);
            } else {
                const int id = pick();
                bool hasChild = false;
                for (const auto &entry : model) {
                    hasChild = hasChild || entry.second.first == id;
                }
                const bool expected = !hasChild && model[id].second.isEmpty();
                QCOMPARE(m_categories->remove(id), expected);
                if (expected) {
                    model.erase(id);
                }
            }

            QCOMPARE(storedTags(QStringLiteral("Category")), model);
            if (step % 25 == 0) {
                for (int doc = 1; doc <= 40; ++doc) {
                    QSet<int> expected;
                    for (const auto &entry : model) {
                        if (entry.second.second.contains(doc)) {
                            expected.insert(entry.first);
                        }
                    }
                    QCOMPARE(idsOf(m_categories->tagsOfDocument(doc)), expected);
                }
            }
        }
        // A service built afresh from the rows agrees with the one that made them.
        TagService reloaded(std::make_shared<Nod::Infrastructure::TagRepository>(QStringLiteral("Category")));
        for (int doc = 1; doc <= 40; ++doc) {
            QCOMPARE(idsOf(reloaded.tagsOfDocument(doc)), idsOf(m_categories->tagsOfDocument(doc)));
        }
    }
};

QTEST_GUILESS_MAIN(TagServiceTest)
#include "tst_tagservice.moc"
