#include "commands.h"
#include "legacyformats.h"
#include "sqlhelpers.h"

#include <infrastructure/idsource.h>

#include <domain/annotation.h>
#include <domain/marker.h>
#include <domain/tag.h>
#include <domain/textrects.h>

#include <QDateTime>
#include <QDebug>
#include <QMap>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QVariant>

#include <algorithm>

namespace Nod::Infrastructure {

namespace {

using Domain::Marker;

int maxId(const QString &table)
{
    QSqlQuery query = run(QStringLiteral("SELECT MAX(id) FROM ") + table);
    return query.next() ? query.value(0).toInt() : 0;
}

// Old types 1 (rectangle) -> outline on all edges; 101 (text underline) -> underline; the
// highlights, lines and areas -> no outline; anything unknown -> -1.
int outlineCode(int oldType)
{
    switch (oldType) {
    case 1:
        return Marker::AllEdges;
    case 2:
    case 102:
    case 200:
    case 201:
        return Marker::NoLine;
    case 101:
        return Marker::Underline;
    default:
        return -1;
    }
}

QPen toPen(const QVariant &value)
{
    if (value.userType() == QMetaType::QPen) {
        return value.value<QPen>();
    }
    if (value.canConvert<QPen>()) {
        return value.value<QPen>();
    }
    return QPen();
}

QBrush toBrush(const QVariant &value)
{
    if (value.userType() == QMetaType::QBrush || value.canConvert<QBrush>()) {
        return value.value<QBrush>();
    }
    return QBrush();
}

Marker toMarker(
    int oldType, const QByteArray &shapeBytes, const QByteArray &penBytes, const QByteArray &brushBytes)
{
    QVariant shape = Legacy::readVariant(shapeBytes);
    if (oldType == 101 || oldType == 102) {
        Domain::TextRects rects;
        const QVariantList boxes = shape.toList();
        for (const QVariant &box : boxes) {
            rects << box.toRectF();
        }
        shape = QVariant::fromValue(rects);
    }
    return Marker(shape, static_cast<Marker::OutlineType>(outlineCode(oldType)),
        toPen(Legacy::readVariant(penBytes)), toBrush(Legacy::readVariant(brushBytes)));
}

int takeId()
{
    const int id = IdSource::nextId();
    if (id < 1) {
        throw std::runtime_error("IdSource::nextId failed");
    }
    return id;
}

} // namespace

bool M20190102_UnifyId::up()
{
    try {
        return createIdSource() && migrateCategory() && migrateAnnotation() && createMindNode();
    } catch (const std::runtime_error &e) {
        qWarning() << version() << e.what();
        return false;
    }
}

bool M20190102_UnifyId::createIdSource()
{
    return step(qualified("createIdSource"), [] {
        run(QStringLiteral("CREATE TABLE IdSource (id INTEGER)"));
        const int top = std::max({ maxId(QStringLiteral("Category")), maxId(QStringLiteral("annotations")),
            maxId(QStringLiteral("documents")) });
        QSqlQuery insert;
        insert.prepare(QStringLiteral("INSERT INTO IdSource(id) VALUES(:id)"));
        insert.bindValue(QStringLiteral(":id"), top);
        execQuery(insert);
        return true;
    });
}

// Siblings are copied in the order of their old ids. A category whose parent no longer exists
// becomes a top-level category rather than being dropped with its documents.
bool M20190102_UnifyId::migrateCategory()
{
    return step(qualified("migrateCategory"), [this] {
        run(QStringLiteral("ALTER TABLE Category RENAME TO temp_category"));
        run(QStringLiteral("CREATE TABLE Category(id INTEGER PRIMARY KEY AUTOINCREMENT, parentId INTEGER NOT "
                           "NULL, name TEXT NOT NULL, items TEXT)"));
        QHash<int, QSet<int>> documentsOf;
        QSqlQuery documents = run(QStringLiteral("SELECT id, categories FROM documents"));
        while (documents.next()) {
            const QStringList ids = documents.value(1).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &id : ids) {
                documentsOf[id.trimmed().toInt()].insert(documents.value(0).toInt());
            }
        }
        struct OldCategory
        {
            int id;
            int parentId;
            QString name;
        };
        QMap<int, OldCategory> byId;
        QMultiMap<int, int> childrenOf; // parent -> children, ascending
        QSqlQuery old = run(QStringLiteral(" SELECT id, parentId, name  FROM temp_category"));
        while (old.next()) {
            const OldCategory category { old.value(0).toInt(), old.value(1).toInt(),
                old.value(2).toString() };
            byId.insert(category.id, category);
        }
        for (const OldCategory &category : qAsConst(byId)) {
            const int parent = byId.contains(category.parentId) && category.parentId != category.id
                ? category.parentId
                : 0;
            childrenOf.insert(parent, category.id);
        }
        m_categoryIds.clear();
        QVector<int> queue { 0 };
        for (int i = 0; i < queue.size(); ++i) {
            const int parent = queue.at(i);
            QList<int> children = childrenOf.values(parent);
            std::sort(children.begin(), children.end());
            for (int oldId : qAsConst(children)) {
                if (m_categoryIds.contains(oldId)) {
                    continue;
                }
                const int newId = takeId();
                m_categoryIds.insert(oldId, newId);
                Domain::Tag tag(newId, byId.value(oldId).name, parent == 0 ? 0 : m_categoryIds.value(parent));
                tag.setItems(documentsOf.value(oldId));
                QSqlQuery insert;
                insert.prepare(QStringLiteral(" INSERT INTO Category(id, parentId, name, items)VALUES(:id, "
                                              ":parentId, :name, :items)"));
                insert.bindValue(QStringLiteral(":id"), tag.id());
                insert.bindValue(QStringLiteral(":parentId"), tag.parentId());
                insert.bindValue(QStringLiteral(":name"), tag.name());
                insert.bindValue(QStringLiteral(":items"), tag.itemsData());
                execQuery(insert);
                queue << oldId;
            }
        }
        return true;
    });
}

bool M20190102_UnifyId::migrateAnnotation()
{
    return step(qualified("migrateAnnotation"), [] {
        run(QStringLiteral("ALTER TABLE annotations RENAME TO temp_anno"));
        run(QStringLiteral(
            "CREATE TABLE Annotation(id INTEGER PRIMARY KEY AUTOINCREMENT, documentId INTEGER NOT "
            "NULL, pageIndex INTEGER NOT NULL, position BLOB NOT NULL, canvas BLOB NOT NULL, "
            "markers BLOB, noteText TEXT, createdAt DATETIME, FOREIGN KEY ( documentId ) "
            "REFERENCES documents ( id ) on delete cascade)"));
        QSqlQuery rows = run(QStringLiteral(" SELECT id, documentId, pageIndex, position, type, shape, pen, "
                                            "brush, noteText, createdAt FROM temp_anno"));
        while (rows.next()) {
            Domain::Annotation annotation;
            annotation.setPosition(Legacy::readVariant(rows.value(3).toByteArray()).toPointF());
            annotation.setCanvas(toMarker(rows.value(4).toInt(), rows.value(5).toByteArray(),
                rows.value(6).toByteArray(), rows.value(7).toByteArray()));
            QSqlQuery markers
                = run(QStringLiteral(" SELECT type, shape, pen, brush FROM markers WHERE annotationId = ?"),
                    { rows.value(0) });
            while (markers.next()) {
                annotation.insertMarker(annotation.markerCount(),
                    toMarker(markers.value(0).toInt(), markers.value(1).toByteArray(),
                        markers.value(2).toByteArray(), markers.value(3).toByteArray()));
            }
            QSqlQuery insert;
            insert.prepare(QStringLiteral(
                " INSERT INTO Annotation(id, documentId, pageIndex, position,canvas, markers, noteText, "
                "createdAt)VALUES(:id, :documentId, :pageIndex, :position,:canvas, :markers, :noteText, "
                ":createdAt)"));
            insert.bindValue(QStringLiteral(":id"), takeId());
            insert.bindValue(QStringLiteral(":documentId"), rows.value(1));
            insert.bindValue(QStringLiteral(":pageIndex"), rows.value(2));
            insert.bindValue(QStringLiteral(":position"), annotation.positionData());
            // The column is NOT NULL: an unconvertible mark is stored as an empty value, not as NULL.
            insert.bindValue(QStringLiteral(":canvas"),
                annotation.canvasData().isEmpty() ? QByteArray("") : annotation.canvasData());
            insert.bindValue(QStringLiteral(":markers"), annotation.markersData());
            insert.bindValue(QStringLiteral(":noteText"), rows.value(8));
            insert.bindValue(QStringLiteral(":createdAt"), rows.value(9));
            execQuery(insert);
        }
        return true;
    });
}

bool M20190102_UnifyId::createMindNode()
{
    return step(qualified("createMindNode"), [this] {
        run(QStringLiteral(
            "CREATE TABLE MindNode(id INTEGER PRIMARY KEY, parentId INTEGER, children BLOB, "
            "isFolded BOOLEAN DEFAULT false, FOREIGN KEY (parentId) REFERENCES MindNode (id) on "
            "delete cascade)"));
        return step(QStringLiteral("migrateMindNode"), [] {
            QSqlQuery documents = run(QStringLiteral("SELECT id FROM documents"));
            while (documents.next()) {
                const QVariant documentId = documents.value(0);
                QVector<int> children;
                QSqlQuery annotations;
                annotations.prepare(QStringLiteral("SELECT id FROM Annotation WHERE documentId=:docId"));
                annotations.bindValue(QStringLiteral(":docId"), documentId);
                execQuery(annotations);
                while (annotations.next()) {
                    children << annotations.value(0).toInt();
                    QSqlQuery node;
                    node.prepare(
                        QStringLiteral("INSERT INTO MindNode (id, parentId)VALUES (:id, :parentId)"));
                    node.bindValue(QStringLiteral(":id"), annotations.value(0));
                    node.bindValue(QStringLiteral(":parentId"), documentId);
                    execQuery(node);
                }
                Domain::Annotation root;
                root.setChildren(children);
                QSqlQuery node;
                node.prepare(QStringLiteral(
                    "INSERT INTO MindNode (id, parentId, children)VALUES (:id, :parentId, :children)"));
                node.bindValue(QStringLiteral(":id"), documentId);
                node.bindValue(QStringLiteral(":parentId"), documentId);
                node.bindValue(QStringLiteral(":children"), root.childrenData());
                execQuery(node);
            }
            return true;
        });
    });
}

bool M20190731_CreateTag::up()
{
    try {
        return createTag() && createResource() && alterAnnotation() && updateNote() && migrateNodes();
    } catch (const std::runtime_error &e) {
        qWarning() << version() << e.what();
        return false;
    }
}

bool M20190731_CreateTag::createTag()
{
    return step(QStringLiteral("createTag"), [this] {
        run(QStringLiteral(
            "CREATE TABLE Tag(id INTEGER PRIMARY KEY, parentId INTEGER, name TEXT NOT NULL, items "
            "TEXT)"));
        return addIndex(QStringLiteral("Tag"), QStringLiteral("parentId"))
            && addIndex(QStringLiteral("Tag"), QStringLiteral("name"));
    });
}

bool M20190731_CreateTag::createResource()
{
    return step(QStringLiteral("createResource"), [this] {
        run(QStringLiteral(
            "CREATE TABLE Resource(id INTEGER PRIMARY KEY, ownerId INTEGER NOT NULL, hash TEXT NOT "
            "NULL, width INTEGER, height INTEGER, data BLOB)"));
        return addIndex(QStringLiteral("Resource"), QStringLiteral("ownerId"))
            && addIndex(QStringLiteral("Resource"), QStringLiteral("hash"));
    });
}

bool M20190731_CreateTag::alterAnnotation()
{
    return step(QStringLiteral("alterAnnotation"), [] {
        run(QStringLiteral("ALTER TABLE Annotation RENAME TO temp_anno_20190731"));
        run(QStringLiteral(
            "CREATE TABLE Annotation(id INTEGER PRIMARY KEY AUTOINCREMENT, documentId INTEGER, "
            "pageIndex INTEGER, position BLOB, canvas BLOB, markers BLOB, noteText TEXT, createdAt "
            "DATETIME, parentId INTEGER, children BLOB, isFolded BOOLEAN, FOREIGN KEY ( documentId "
            ") REFERENCES documents ( id ) on delete cascade)"));
        run(QStringLiteral(
            " INSERT INTO Annotation(id, documentId, pageIndex, position,canvas, markers, noteText, "
            "createdAt) SELECT id, documentId, pageIndex, position, canvas, markers, noteText, "
            "createdAt FROM temp_anno_20190731"));
        run(QStringLiteral("DROP TABLE temp_anno_20190731"));
        return true;
    });
}

// The plain note becomes rich text: one paragraph per line, with a line height of 150 %.
QString M20190731_CreateTag::plainNoteToHtml(const QString &note)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat format = cursor.blockFormat();
    format.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
    cursor.setBlockFormat(format);
    const QStringList parts
        = note.split(QRegularExpression(QStringLiteral("[\\r\\n\\x{2029}]")), Qt::SkipEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            cursor.insertBlock(format);
        }
        cursor.insertText(parts.at(i));
    }
    return document.toHtml();
}

bool M20190731_CreateTag::updateNote()
{
    return step(QStringLiteral("updateNote"), [] {
        QSqlQuery rows = run(QStringLiteral("SELECT id, noteText FROM Annotation"));
        while (rows.next()) {
            QSqlQuery update;
            update.prepare(QStringLiteral("UPDATE Annotation SET noteText = :noteText WHERE id = :id"));
            update.bindValue(QStringLiteral(":noteText"), plainNoteToHtml(rows.value(1).toString()));
            update.bindValue(QStringLiteral(":id"), rows.value(0));
            execQuery(update);
        }
        return true;
    });
}

bool M20190731_CreateTag::migrateNodes()
{
    QHash<int, int> rootOf; // document id -> id of its root row
    const bool roots = step(QStringLiteral("migrateDocNode"), [&rootOf] {
        QSqlQuery nodes = run(QStringLiteral("SELECT id, children FROM MindNode WHERE id = parentId"));
        const QDateTime now = QDateTime::currentDateTime();
        while (nodes.next()) {
            const int rootId = takeId();
            QSqlQuery insert;
            insert.prepare(QStringLiteral(" INSERT INTO Annotation(id, documentId, createdAt, parentId, "
                                          "children)VALUES(:id, :documentId, :createdAt, 0, :children)"));
            insert.bindValue(QStringLiteral(":id"), rootId);
            insert.bindValue(QStringLiteral(":documentId"), nodes.value(0));
            insert.bindValue(QStringLiteral(":createdAt"), now);
            insert.bindValue(QStringLiteral(":children"), nodes.value(1));
            execQuery(insert);
            rootOf.insert(nodes.value(0).toInt(), rootId);
        }
        return true;
    });
    return roots && step(QStringLiteral("migrateAnnoNode"), [&rootOf] {
        QSqlQuery nodes
            = run(QStringLiteral("SELECT id, parentId, children FROM MindNode WHERE id != parentId"));
        while (nodes.next()) {
            const int parent = nodes.value(1).toInt();
            QSqlQuery update;
            update.prepare(QStringLiteral(
                " UPDATE Annotation SET parentId = :parentId, children = :children WHERE id = :id"));
            update.bindValue(QStringLiteral(":parentId"), rootOf.value(parent, parent));
            update.bindValue(QStringLiteral(":children"), nodes.value(2));
            update.bindValue(QStringLiteral(":id"), nodes.value(0));
            execQuery(update);
        }
        return true;
    });
}

} // namespace Nod::Infrastructure
