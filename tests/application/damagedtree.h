#pragma once

#include <application/noteservice.h>
#include <domain/annotation.h>

#include <QSqlQuery>
#include <QtTest>

// Children lists damaged the way a crash, a faulty tool or a bad copy leaves them, written straight
// into the Annotation table past the services. The tree they damage: the document note `root` lists
// c, a and b; a lists d. Page order: a (page 0, y 100), b (page 0, y 300), c (page 1, y 50), d (page 1,
// y 200).
struct TreeIds
{
    int root = 0;
    int a = 0;
    int b = 0;
    int c = 0;
    int d = 0;
};

// Builds the tree through the service; each note reads "Note" and the letter of its annotation.
inline TreeIds buildDamageableTree(Nod::Application::NoteService *notes, int documentId)
{
    TreeIds t;
    t.root = notes->documentNote(documentId).id();
    const auto add = [&](int parentId, int page, double y, const char *name) {
        Nod::Application::NewAnnotation request;
        request.id = notes->nextId();
        request.documentId = documentId;
        request.pageIndex = page;
        request.position = QPointF(72, y);
        request.canvas = Nod::Domain::Marker(QPolygonF(QRectF(0, 0, 80, 20)), Nod::Domain::Marker::NoLine,
            Qt::NoPen, QColor(255, 255, 0, 128));
        request.noteText = QStringLiteral("<p>Note%1</p>").arg(QLatin1String(name));
        request.createdAt = QDateTime::fromMSecsSinceEpoch(1700000000000);
        request.parentId = parentId;
        request.index = notes->annotation(parentId).children().size();
        notes->newAnnotation(request);
        return request.id;
    };
    // The list order differs from the page order.
    t.c = add(t.root, 1, 50, "C");
    t.a = add(t.root, 0, 100, "A");
    t.b = add(t.root, 0, 300, "B");
    t.d = add(t.a, 1, 200, "D");
    return t;
}

inline QByteArray encodedChildren(const QVector<int> &ids)
{
    Nod::Domain::Annotation holder;
    holder.setChildren(ids);
    return holder.childrenData();
}

inline void writeChildren(int id, const QByteArray &bytes)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE Annotation SET children = ? WHERE id = ?"));
    query.addBindValue(bytes);
    query.addBindValue(id);
    if (!query.exec() || query.numRowsAffected() != 1) {
        qFatal("cannot damage the children of %d", id);
    }
}

inline void addTreeDamageRows()
{
    QTest::addColumn<QString>("damage");
    for (const char *kind : { "self child", "two list each other", "cycle back to the root",
             "root list cut short", "unknown ids", "duplicates", "root list empty" }) {
        QTest::newRow(kind) << QString::fromLatin1(kind);
    }
}

inline void damageTree(const QString &kind, const TreeIds &t)
{
    if (kind == QLatin1String("self child")) {
        writeChildren(t.a, encodedChildren({ t.d, t.a }));
    } else if (kind == QLatin1String("two list each other")) {
        writeChildren(t.a, encodedChildren({ t.d, t.b }));
        writeChildren(t.b, encodedChildren({ t.a }));
    } else if (kind == QLatin1String("cycle back to the root")) {
        writeChildren(t.d, encodedChildren({ t.root }));
    } else if (kind == QLatin1String("root list cut short")) {
        writeChildren(t.root, encodedChildren({ t.c, t.a, t.b }).chopped(3));
    } else if (kind == QLatin1String("unknown ids")) {
        writeChildren(t.root, encodedChildren({ 999999, t.c, -4, t.a, t.b }));
    } else if (kind == QLatin1String("duplicates")) {
        writeChildren(t.root, encodedChildren({ t.c, t.a, t.c, t.b, t.a }));
    } else if (kind == QLatin1String("root list empty")) {
        writeChildren(t.root, encodedChildren({}));
    } else {
        qFatal("unknown damage");
    }
}
