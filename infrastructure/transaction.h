#pragma once

#include <QtGlobal>

namespace Nod::Infrastructure {

// Scope guard over a transaction of the default connection: begins on construction, rolls back on
// destruction unless commit() succeeded. Every change of stored data runs inside one.
class Transaction final
{
public:
    Transaction(); // throws DatabaseException when the transaction cannot begin
    ~Transaction();

    bool commit(); // throws DatabaseException when the commit fails

private:
    Q_DISABLE_COPY_MOVE(Transaction)

    bool m_committed = false;
};

} // namespace Nod::Infrastructure
