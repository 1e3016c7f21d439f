#include "transaction.h"

#include "databaseexception.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <utility>
#include <vector>

namespace Nod::Infrastructure {

namespace {

int g_depth = 0;
std::vector<std::function<void()>> g_pending;

QString savepointName(int level) { return QStringLiteral("nodera_level_%1").arg(level); }

bool execSavepointStatement(const QString &sql, QSqlError *error)
{
    QSqlQuery query;
    if (query.exec(sql)) {
        return true;
    }
    *error = query.lastError();
    return false;
}

} // namespace

Transaction::Transaction()
{
    QSqlDatabase db = QSqlDatabase::database();
    if (g_depth == 0) {
        if (!db.transaction()) {
            throw DatabaseException(db.lastError(), QStringLiteral("Create Transaction FAILED."));
        }
    } else {
        QSqlError error;
        if (!execSavepointStatement(QStringLiteral("SAVEPOINT ") + savepointName(g_depth + 1), &error)) {
            throw DatabaseException(error, QStringLiteral("Create Transaction FAILED."));
        }
    }
    m_level = ++g_depth;
    m_pendingMark = int(g_pending.size());
}

Transaction::~Transaction()
{
    if (!m_committed) {
        rollback();
    }
}

void Transaction::rollback()
{
    if (m_level != g_depth) {
        qWarning() << "Transaction rolled back out of order, level" << m_level << "of" << g_depth;
    }
    g_pending.resize(std::min(g_pending.size(), std::size_t(m_pendingMark)));
    g_depth = m_level - 1;
    QSqlError ignored;
    if (m_level == 1) {
        QSqlDatabase::database().rollback();
        g_pending.clear();
    } else {
        // ROLLBACK TO keeps the savepoint open; RELEASE then drops it without storing anything.
        execSavepointStatement(QStringLiteral("ROLLBACK TO SAVEPOINT ") + savepointName(m_level), &ignored);
        execSavepointStatement(QStringLiteral("RELEASE SAVEPOINT ") + savepointName(m_level), &ignored);
    }
}

bool Transaction::commit()
{
    if (m_level > 1) {
        QSqlError error;
        if (!execSavepointStatement(QStringLiteral("RELEASE SAVEPOINT ") + savepointName(m_level), &error)) {
            qWarning() << "commit transaction FAILED"
                       << ". Reason:" << error;
            throw DatabaseException(error, QStringLiteral("commit transaction FAILED"));
        }
        m_committed = true;
        g_depth = m_level - 1;
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.commit()) {
        qWarning() << "commit transaction FAILED"
                   << ". Reason:" << db.lastError();
        throw DatabaseException(db.lastError(), QStringLiteral("commit transaction FAILED"));
    }
    m_committed = true;
    g_depth = 0;
    std::vector<std::function<void()>> actions;
    actions.swap(g_pending);
    for (const auto &action : actions) {
        action();
    }
    return true;
}

void Transaction::afterCommit(std::function<void()> action)
{
    if (g_depth == 0) {
        action();
    } else {
        g_pending.push_back(std::move(action));
    }
}

bool Transaction::isOpen() { return g_depth > 0; }

} // namespace Nod::Infrastructure
