#include <mindmap/mindlineitem.h>
#include <mindmap/mindnodecollapser.h>
#include <mindmap/mindnodeitem.h>
#include <mindmap/rootmindnodeitem.h>

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QRandomGenerator>
#include <QtTest>

using namespace Nod::Presentation;

namespace {

// A node of a given size whose rectangle need not start at its origin, as an annotation's canvas
// rarely does.
class BoxNode final : public MindNodeItem
{
public:
    explicit BoxNode(const QRectF &rect)
        : m_rect(rect)
    {
        updateGeometry();
    }
    QRectF boundingRect() const override { return m_rect; }
    void paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) override { }

private:
    QRectF m_rect;
};

QRectF sceneRectOf(const MindNodeItem *node) { return node->mapRectToScene(node->boundingRect()); }

void collect(MindNodeItem *node, QVector<MindNodeItem *> &out)
{
    out.append(node);
    for (MindNodeItem *child : node->childNodes()) {
        collect(child, out);
    }
}

// The scene area of the node with everything of its subtree that is shown.
QRectF shownExtent(const MindNodeItem *node)
{
    QRectF extent = sceneRectOf(node);
    if (!node->isFolded()) {
        for (const MindNodeItem *child : node->childNodes()) {
            extent |= shownExtent(child);
        }
    }
    return extent;
}

bool near(qreal a, qreal b) { return qAbs(a - b) < 1e-6; }

// Places no two shown nodes over each other, centres every unfolded parent on its shown subtree,
// keeps the gaps between sibling subtrees and ends every line on its child.
void verifyLayout(MindNodeItem *root)
{
    QVector<MindNodeItem *> all;
    collect(root, all);
    QVector<MindNodeItem *> shown;
    for (MindNodeItem *node : qAsConst(all)) {
        if (node->isVisible()) {
            shown.append(node);
        }
    }
    for (int i = 0; i < shown.size(); ++i) {
        for (int j = i + 1; j < shown.size(); ++j) {
            const QRectF overlap = sceneRectOf(shown[i]).intersected(sceneRectOf(shown[j]));
            QVERIFY2(overlap.width() < 1e-6 || overlap.height() < 1e-6,
                qPrintable(QStringLiteral("nodes %1 and %2 overlap").arg(i).arg(j)));
        }
    }
    for (MindNodeItem *node : qAsConst(shown)) {
        if (node->isFolded() || node->childCount() == 0) {
            continue;
        }
        const QRectF own = sceneRectOf(node);
        QRectF below;
        for (MindNodeItem *child : node->childNodes()) {
            below |= shownExtent(child);
        }
        QVERIFY2(near(own.center().y(), below.center().y()),
            qPrintable(QStringLiteral("parent at %1, children around %2")
                           .arg(own.center().y())
                           .arg(below.center().y())));
        for (int i = 0; i < node->childCount(); ++i) {
            MindNodeItem *child = node->childAt(i);
            const QRectF childRect = sceneRectOf(child);
            QVERIFY(near(childRect.left(), own.right() + node->horizontalGap()));
            if (i > 0) {
                const qreal gap = shownExtent(child).top() - shownExtent(node->childAt(i - 1)).bottom();
                QVERIFY2(near(gap, node->verticalGap()), qPrintable(QString::number(gap)));
            }
            const QPointF lineEnd = node->lines().at(i)->mapToScene(node->lines().at(i)->endPoint());
            QVERIFY(near(lineEnd.x(), childRect.left()) && near(lineEnd.y(), childRect.center().y()));
        }
    }
}

bool isInside(const MindNodeItem *node, const MindNodeItem *ancestor)
{
    for (const MindNodeItem *n = node->parentNode(); n; n = n->parentNode()) {
        if (n == ancestor) {
            return true;
        }
    }
    return false;
}

} // namespace

class MindMapLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void randomTrees_keepTheirShape_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("count");
        QTest::newRow("deep") << 7u << 60;
        QTest::newRow("bushy") << 21u << 160;
        QTest::newRow("another") << 1234u << 120;
    }

    // Builds, folds, unfolds, moves and deletes nodes of a random tree; after every step the map
    // must hold its shape and folding must hide exactly the folded node's descendants.
    void randomTrees_keepTheirShape()
    {
        QFETCH(quint32, seed);
        QFETCH(int, count);
        QRandomGenerator random(seed);
        QGraphicsScene scene;
        auto *root = new RootMindNodeItem(QStringLiteral("A document title"));
        scene.addItem(root);
        QCOMPARE(root->horizontalGap(), 120.0);

        QVector<MindNodeItem *> nodes { root };
        root->setLayoutSuspended(true);
        for (int i = 0; i < count; ++i) {
            const QRectF rect(random.bounded(-50, 50), random.bounded(-80, 20), 20 + random.bounded(200),
                10 + random.bounded(160));
            auto *node = new BoxNode(rect);
            MindNodeItem *parent = nodes.at(random.bounded(nodes.size()));
            parent->insertChild(random.bounded(parent->childCount() + 1), node);
            nodes.append(node);
        }
        QVERIFY(root->isLayoutPending());
        root->setLayoutSuspended(false);
        QVERIFY(!root->isLayoutPending());
        verifyLayout(root);

        // Fold each parent in turn.
        for (MindNodeItem *folded : qAsConst(nodes)) {
            if (folded->childCount() == 0 || random.bounded(3) != 0) {
                continue;
            }
            folded->setFolded(true);
            QVERIFY(folded->collapser()->isFolded());
            root->flushLayout();
            for (MindNodeItem *node : qAsConst(nodes)) {
                QCOMPARE(node->isVisible(), !isInside(node, folded));
            }
            verifyLayout(root);
            folded->setFolded(false);
            root->flushLayout();
            for (MindNodeItem *node : qAsConst(nodes)) {
                QVERIFY(node->isVisible());
            }
            verifyLayout(root);
        }

        // Fold several at once, then move subtrees around; the pass runs from the event loop.
        for (int step = 0; step < 20; ++step) {
            MindNodeItem *node = nodes.at(1 + random.bounded(nodes.size() - 1));
            MindNodeItem *target = nodes.at(random.bounded(nodes.size()));
            if (target == node || isInside(target, node)) {
                node->parentNode()->setFolded(true);
                continue;
            }
            MindNodeItem *parent = node->parentNode();
            MindNodeItem *taken = parent->takeChild(parent->indexOf(node));
            QCOMPARE(taken, node);
            target->insertChild(random.bounded(target->childCount() + 1), node);
            QVERIFY(!target->isFolded());
        }
        QTRY_VERIFY(!root->isLayoutPending());
        verifyLayout(root);

        // Deleting a subtree leaves its parent consistent.
        MindNodeItem *doomed = root->childAt(0);
        const int before = root->childCount();
        delete doomed;
        QCOMPARE(root->childCount(), before - 1);
        QCOMPARE(root->lines().size(), before - 1);
        root->flushLayout();
        verifyLayout(root);
    }

    void foldButton_showsWithChildrenAndTogglesFolding()
    {
        QGraphicsScene scene;
        auto *root = new RootMindNodeItem(QStringLiteral("Title"));
        scene.addItem(root);
        auto *child = new BoxNode(QRectF(0, 0, 50, 30));
        QVERIFY(!root->collapser()->isVisible());
        root->insertChild(0, child);
        QVERIFY(root->collapser()->isVisible());
        root->flushLayout();
        // The button sits 2 units right of the node, mid-height; the child is 120 further right.
        const QRectF rootRect = root->boundingRect();
        QCOMPARE(root->collapser()->pos(), QPointF(rootRect.right() + 10.5, rootRect.center().y()));
        QCOMPARE(child->pos(), QPointF(rootRect.right() + 120, rootRect.center().y() - 15));

        QGraphicsSceneMouseEvent press(QEvent::GraphicsSceneMousePress);
        press.setButton(Qt::LeftButton);
        press.setScenePos(root->collapser()->scenePos());
        scene.sendEvent(root->collapser(), &press);
        QVERIFY(root->isFolded());
        QVERIFY(!child->isVisible());
        QVERIFY(!root->lines().first()->isVisible());

        QVERIFY(root->takeChild(0) == child);
        QVERIFY(!root->collapser()->isVisible());
        delete child;

        const qreal oldWidth = rootRect.width();
        root->setTitle(QStringLiteral("A much longer title than before"));
        QVERIFY(root->boundingRect().width() > oldWidth);
        QCOMPARE(root->collapser()->pos().x(), root->boundingRect().right() + 10.5);
    }
};

QTEST_MAIN(MindMapLayoutTest)
#include "tst_mindmaplayout.moc"
