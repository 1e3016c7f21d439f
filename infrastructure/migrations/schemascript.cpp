#include "schemascript.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace Nod::Infrastructure {

namespace {

const QString VersionsTable = QStringLiteral("schema_versions");

QString quotedName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\""))
        + QLatin1Char('"');
}

QStringList columnsOf(const QString &table)
{
    QStringList columns;
    QSqlQuery query;
    query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quotedName(table)));
    while (query.next()) {
        columns << query.value(1).toString();
    }
    return columns;
}

} // namespace

QString schemaScript()
{
    QString script;
    QStringList tables;
    QSqlQuery schema;
    schema.setForwardOnly(true);
    // SQLite makes its own objects (sqlite_sequence, automatic indexes) as the others need them.
    schema.exec(
        QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY rowid"));
    while (schema.next()) {
        const QString type = schema.value(0).toString();
        const QString name = schema.value(1).toString();
        if (type == QLatin1String("table")) {
            tables << name;
        }
        if (name != VersionsTable && !name.startsWith(QLatin1String("sqlite_"))) {
            script += schema.value(2).toString() + QStringLiteral(";\n");
        }
    }
    for (const QString &table : qAsConst(tables)) {
        const QStringList columns = columnsOf(table);
        QStringList quoted;
        for (const QString &column : columns) {
            quoted << QStringLiteral("quote(%1)").arg(quotedName(column));
        }
        QSqlQuery rows;
        rows.setForwardOnly(true);
        rows.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                      .arg(quoted.join(QStringLiteral(" || ',' || ")), quotedName(table)));
        while (rows.next()) {
            script += QStringLiteral("INSERT INTO %1 VALUES(%2);\n")
                          .arg(quotedName(table), rows.value(0).toString());
        }
    }
    return script;
}

} // namespace Nod::Infrastructure
