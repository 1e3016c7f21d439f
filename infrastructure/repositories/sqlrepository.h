#pragma once

#include "sqltable.h"

#include <domain/irepository.h>
#include <infrastructure/idsource.h>

#include <optional>

namespace Nod::Infrastructure {

// The generic repository over one table: the entity's properties that are columns of the table are
// read and written, everything else is ignored. Failed statements throw DatabaseException, so the
// operations return true whenever they return; the caller's Transaction rolls back.
template <typename Entity, typename Interface = Domain::IRepository<Entity>>
class SqlRepository : public Interface
{
public:
    explicit SqlRepository(const QString &table)
        : m_table(table, Entity::staticMetaObject)
    { }
    bool insert(const Entity &entity) override
    {
        m_table.insert(&entity);
        return true;
    }
    bool remove(const Entity &entity) override
    {
        m_table.remove(entity.id());
        return true;
    }
    bool update(const Entity &entity) override
    {
        m_table.update(&entity);
        return true;
    }
    std::optional<Entity> find(int id) override
    {
        Entity entity;
        if (m_table.findById(id, &entity)) {
            return entity;
        }
        return std::nullopt;
    }
    // A fresh id from IdSource, inside the caller's transaction; -1 on failure.
    int nextId() override { return IdSource::nextId(); }

    QString tableName() const { return m_table.table(); }
    QSet<QString> columns() const { return m_table.columns(); }

    // Rows matching every (column, value) pair, in the order the database returns them; the columns
    // left out keep the entity's defaults.
    QVector<Entity> query(const Criteria &criteria = {}, const QSet<QString> &leftOut = {})
    {
        QVector<Entity> result;
        m_table.select(
            criteria,
            [&result](const std::function<void(void *)> &fill) {
                Entity entity;
                fill(&entity);
                result.append(entity);
            },
            leftOut);
        return result;
    }

protected:
    void removeById(int id) { m_table.remove(id); }

private:
    SqlTable m_table;
};

} // namespace Nod::Infrastructure
