#pragma once

#include "sqlrepository.h"

#include <domain/tag.h>

namespace Nod::Infrastructure {

// A tag tree: table `Tag` for note tags, `Category` for the library's categories.
class TagRepository final : public SqlRepository<Domain::Tag>
{
public:
    explicit TagRepository(const QString &table);

    QVector<Domain::Tag> findChildren(int parentId);
    QVector<Domain::Tag> findByName(const QString &name);
    QVector<Domain::Tag> findByParentAndName(int parentId, const QString &name);
    QVector<Domain::Tag> findAll();
};

} // namespace Nod::Infrastructure
