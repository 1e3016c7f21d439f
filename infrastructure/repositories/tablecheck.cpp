#include "tablecheck.h"

#include <infrastructure/database.h>
#include <infrastructure/sync/syncentities.h>

#include <domain/annotation.h>
#include <domain/document.h>
#include <domain/resource.h>
#include <domain/tag.h>

#include <QDebug>
#include <QMetaObject>
#include <QMetaProperty>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace Nod::Infrastructure {

namespace {

QString sortedList(const QSet<QString> &names)
{
    QStringList list(names.cbegin(), names.cend());
    std::sort(list.begin(), list.end());
    return list.join(QStringLiteral(", "));
}

} // namespace

QSet<int> descendants(const QString &table, int id)
{
    QString sql = QStringLiteral(
        " WITH RECURSIVE descendants(n) AS (  VALUES(?) UNION SELECT id FROM TABLE_NAME, descendants WHERE "
        "TABLE_NAME.parentId=descendants.n ) SELECT id FROM TABLE_NAME WHERE TABLE_NAME.id IN descendants");
    sql.replace(QStringLiteral("TABLE_NAME"), table);
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(sql);
    query.addBindValue(id);
    execQuery(query);
    QSet<int> ids;
    while (query.next()) {
        ids.insert(query.value(0).toInt());
    }
    return ids;
}

bool checkTable(const QString &table, const QMetaObject &entity)
{
    QSet<QString> columns;
    QSqlQuery query;
    if (query.exec(QStringLiteral("PRAGMA table_info(") + table + QLatin1Char(')'))) {
        while (query.next()) {
            columns.insert(query.value(1).toString());
        }
    }
    QSet<QString> properties;
    for (int i = entity.propertyOffset(); i < entity.propertyCount(); ++i) {
        properties.insert(QString::fromLatin1(entity.property(i).name()));
    }
    if (columns == properties) {
        qInfo().noquote() << QStringLiteral("Check table (") + table + QStringLiteral(") OK.");
        return true;
    }
    const QSet<QString> onlyInTable = QSet<QString>(columns).subtract(properties);
    const QSet<QString> onlyInObject = QSet<QString>(properties).subtract(columns);
    if (!onlyInTable.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Check table (") + table
                + QStringLiteral(") failed. Columns in table but not in object: ") + sortedList(onlyInTable);
    }
    if (!onlyInObject.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Check table (") + table
                + QStringLiteral(") failed. Columns in object but not in table: ") + sortedList(onlyInObject);
    }
    return false;
}

bool checkTables()
{
    const QList<QPair<QString, const QMetaObject *>> tables {
        { QStringLiteral("documents"), &Domain::Document::staticMetaObject },
        { QStringLiteral("Annotation"), &Domain::Annotation::staticMetaObject },
        { QStringLiteral("Category"), &Domain::Tag::staticMetaObject },
        { QStringLiteral("SyncState"), &Sync::Domain::SyncState::staticMetaObject },
        { QStringLiteral("Item"), &Sync::Domain::Item::staticMetaObject },
        { QStringLiteral("ExpungedItem"), &Sync::Domain::ExpungedItem::staticMetaObject },
        { QStringLiteral("Tag"), &Domain::Tag::staticMetaObject },
        { QStringLiteral("Resource"), &Domain::Resource::staticMetaObject },
    };
    bool allMatch = true;
    for (const auto &table : tables) {
        allMatch = checkTable(table.first, *table.second) && allMatch;
    }
    return allMatch;
}

QStringList schemaProblems()
{
    const QList<QPair<QString, const QMetaObject *>> tables {
        { QStringLiteral("documents"), &Domain::Document::staticMetaObject },
        { QStringLiteral("Annotation"), &Domain::Annotation::staticMetaObject },
        { QStringLiteral("Category"), &Domain::Tag::staticMetaObject },
        { QStringLiteral("Tag"), &Domain::Tag::staticMetaObject },
        { QStringLiteral("Resource"), &Domain::Resource::staticMetaObject },
        { QStringLiteral("IdSource"), nullptr },
    };
    QStringList problems;
    for (const auto &table : tables) {
        const QSet<QString> columns = tableColumns(table.first);
        if (columns.isEmpty()) {
            problems << QStringLiteral("Table %1 is missing.").arg(table.first);
            continue;
        }
        QSet<QString> needed { QStringLiteral("id") };
        if (table.second) {
            for (int i = table.second->propertyOffset(); i < table.second->propertyCount(); ++i) {
                needed.insert(QString::fromLatin1(table.second->property(i).name()));
            }
        }
        const QSet<QString> missing = needed.subtract(columns);
        if (!missing.isEmpty()) {
            problems
                << QStringLiteral("Table %1 lacks the columns %2.").arg(table.first, sortedList(missing));
        }
    }
    return problems;
}

void ensureIndexes()
{
    struct Index
    {
        const char *table;
        QStringList columns;
        const char *sql;
    };
    // The catalogue names its indexes table + "_" + columns; these names start otherwise, so no
    // command, present or future, can collide with them.
    static const Index indexes[] = {
        { "Annotation", { QStringLiteral("documentId"), QStringLiteral("pageIndex") },
            "CREATE INDEX IF NOT EXISTS lookup_annotation_page ON Annotation(documentId,pageIndex)" },
        // parentId first serves the descendants walk; with documentId it finds a document's note among
        // thousands of roots without touching the others.
        { "Annotation", { QStringLiteral("parentId"), QStringLiteral("documentId") },
            "CREATE INDEX IF NOT EXISTS lookup_annotation_parent ON Annotation(parentId,documentId)" },
        { "documents", { QStringLiteral("hash") },
            "CREATE INDEX IF NOT EXISTS lookup_document_hash ON documents(hash)" },
        { "Category", { QStringLiteral("parentId") },
            "CREATE INDEX IF NOT EXISTS lookup_category_parent ON Category(parentId)" },
    };
    // Earlier builds created the same indexes under names of the catalogue's pattern.
    static const char *const retired[] = { "Annotation_documentIdpageIndex", "Annotation_parentIddocumentId",
        "documents_hash_lookup", "Category_parentId" };
    for (const char *name : retired) {
        QSqlQuery query;
        if (!query.exec(QStringLiteral("DROP INDEX IF EXISTS ") + QLatin1String(name))) {
            qWarning() << "ensureIndexes" << query.lastError() << query.lastQuery();
        }
    }
    const QStringList tables = QSqlDatabase::database().tables();
    for (const Index &index : indexes) {
        const QString table = QLatin1String(index.table);
        if (!tables.contains(table)) {
            continue;
        }
        const QSet<QString> columns = tableColumns(table);
        if (!std::all_of(index.columns.cbegin(), index.columns.cend(),
                [&columns](const QString &column) { return columns.contains(column); })) {
            continue;
        }
        QSqlQuery query;
        if (!query.exec(QLatin1String(index.sql))) {
            qWarning() << "ensureIndexes" << query.lastError() << query.lastQuery();
        }
    }
}

} // namespace Nod::Infrastructure
