#pragma once

#include <QString>

#include <optional>

namespace Nod::Domain {

// What every repository offers for its entity. The services see only these interfaces; the SQL
// behind them lives in the infrastructure layer.
template <typename Entity> class IRepository
{
public:
    virtual ~IRepository() = default;

    virtual bool insert(const Entity &entity) = 0;
    virtual bool remove(const Entity &entity) = 0;
    virtual bool update(const Entity &entity) = 0;
    virtual std::optional<Entity> find(int id) = 0;
    // A fresh id from the shared counter, inside the caller's transaction; -1 on failure.
    virtual int nextId() = 0;
};

} // namespace Nod::Domain
