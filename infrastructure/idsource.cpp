#include "idsource.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <limits>

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
        // A NULL counter stays NULL; one past the largest id would wrap into ids already in use.
        bool ok = false;
        const qint64 id = query.value(0).toLongLong(&ok);
        if (!query.value(0).isNull() && ok && id > 0 && id <= std::numeric_limits<int>::max()) {
            return int(id);
        }
        qWarning() << "IdSource::nextId"
                   << "IdSource holds no usable id:" << query.value(0);
        return -1;
    }
    qWarning() << "IdSource::nextId" << query.lastError() << query.executedQuery();
    return -1;
}

} // namespace Nod::Infrastructure
