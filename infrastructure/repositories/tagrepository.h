#pragma once

#include "sqlrepository.h"

#include <domain/itagrepository.h>

namespace Nod::Infrastructure {

// A tag tree: table `Tag` for note tags, `Category` for the library's categories.
class TagRepository final : public SqlRepository<Domain::Tag, Domain::ITagRepository>
{
public:
    explicit TagRepository(const QString &table);

    QVector<Domain::Tag> findChildren(int parentId) override;
    QVector<Domain::Tag> findByName(const QString &name) override;
    QVector<Domain::Tag> findByParentAndName(int parentId, const QString &name) override;
    QVector<Domain::Tag> findAll() override;
    QSet<int> subtreeIds(int id) override;
};

} // namespace Nod::Infrastructure
