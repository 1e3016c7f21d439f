#include "databaseexception.h"

namespace Nod::Infrastructure {

DatabaseException::DatabaseException(const QSqlError &error, const QString &detail)
    : std::runtime_error(error.text().toStdString())
    , m_nativeErrorCode(error.nativeErrorCode())
    , m_detail(detail)
{ }

} // namespace Nod::Infrastructure
