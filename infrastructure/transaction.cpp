#include "transaction.h"

#include "databaseexception.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>

namespace Nod::Infrastructure {

Transaction::Transaction()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.transaction()) {
        throw DatabaseException(db.lastError(), QStringLiteral("Create Transaction FAILED."));
    }
}

Transaction::~Transaction()
{
    if (!m_committed) {
        QSqlDatabase::database().rollback();
    }
}

bool Transaction::commit()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (db.commit()) {
        m_committed = true;
        return true;
    }
    qWarning() << "commit transaction FAILED"
               << ". Reason:" << db.lastError();
    throw DatabaseException(db.lastError(), QStringLiteral("commit transaction FAILED"));
}

} // namespace Nod::Infrastructure
