#pragma once

#include <QSqlError>
#include <QString>

#include <stdexcept>

namespace Nod::Infrastructure {

// Raised for every failed statement, begin or commit; what() is the driver's error text.
class DatabaseException final : public std::runtime_error
{
public:
    DatabaseException(const QSqlError &error, const QString &detail);

    QString nativeErrorCode() const { return m_nativeErrorCode; }
    // The executed query, or a description such as "Create Transaction FAILED.".
    QString detail() const { return m_detail; }

private:
    QString m_nativeErrorCode;
    QString m_detail;
};

} // namespace Nod::Infrastructure
