#include "idsource.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace Nod::Infrastructure {

int IdSource::nextId()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("UPDATE IdSource SET id = id + 1"))) {
        qWarning() << "IdSource::nextId" << query.lastError() << query.executedQuery();
        return -1;
    }
    // An empty table updates nothing and would hand out nothing new; that is a failure too.
    if (query.numRowsAffected() != 1) {
        qWarning() << "IdSource::nextId"
                   << "IdSource holds" << query.numRowsAffected() << "rows";
        return -1;
    }
    if (query.exec(QStringLiteral("SELECT id FROM IdSource")) && query.next()) {
        return query.value(0).toInt();
    }
    qWarning() << "IdSource::nextId" << query.lastError() << query.executedQuery();
    return -1;
}

} // namespace Nod::Infrastructure
