#pragma once

#include "irepository.h"
#include "tag.h"

#include <QSet>
#include <QVector>

namespace Nod::Domain {

class ITagRepository : public IRepository<Tag>
{
public:
    virtual QVector<Tag> findChildren(int parentId) = 0;
    virtual QVector<Tag> findByName(const QString &name) = 0;
    virtual QVector<Tag> findByParentAndName(int parentId, const QString &name) = 0;
    virtual QVector<Tag> findAll() = 0;
    // The tag and every tag below it by parentId.
    virtual QSet<int> subtreeIds(int id) = 0;
};

} // namespace Nod::Domain
