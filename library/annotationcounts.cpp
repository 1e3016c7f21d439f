#include "annotationcounts.h"

#include <infrastructure/database.h>

#include <QSqlQuery>
#include <QVariant>

namespace Nod::Presentation {

QHash<int, int> annotationCountsByDocument()
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT documentId, count(*) FROM Annotation GROUP BY documentId"));
    Infrastructure::execQuery(query);
    QHash<int, int> counts;
    while (query.next()) {
        counts.insert(query.value(0).toInt(), query.value(1).toInt());
    }
    return counts;
}

} // namespace Nod::Presentation
