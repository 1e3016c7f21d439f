#pragma once

#include <infrastructure/database.h>

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace Nod::Infrastructure {

// Runs one statement with positional values through execQuery (throws DatabaseException).
inline QSqlQuery run(const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant &value : values) {
        query.addBindValue(value);
    }
    execQuery(query);
    return query;
}

} // namespace Nod::Infrastructure
