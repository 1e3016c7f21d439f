#pragma once

#include <QtGlobal>

#include <functional>

namespace Nod::Infrastructure {

// Scope guard over a transaction of the default connection: begins on construction, rolls back on
// destruction unless commit() succeeded. Every change of stored data runs inside one.
//
// Guards nest: a guard opened while another is open is a savepoint inside it, so that a service can
// build one atomic unit out of the operations of other services. Rolling back an inner guard undoes
// only its own statements; nothing is stored until the outermost guard commits. Interface thread
// only, like the connection.
class Transaction final
{
public:
    Transaction(); // throws DatabaseException when the transaction or savepoint cannot begin
    ~Transaction();

    bool commit(); // throws DatabaseException when the commit fails

    // Runs `action` once the outermost transaction has committed, or at once when none is open.
    // Actions registered inside a guard that rolls back are dropped with it. Services announce their
    // completed changes this way, so that no listener hears of a change that is later undone.
    static void afterCommit(std::function<void()> action);
    static bool isOpen();

private:
    Q_DISABLE_COPY_MOVE(Transaction)

    void rollback();

    int m_level = 0; // 1 for the outermost guard
    int m_pendingMark = 0; // actions registered before this guard began
    bool m_committed = false;
};

} // namespace Nod::Infrastructure
