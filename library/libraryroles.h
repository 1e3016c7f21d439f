#pragma once

#include <Qt>

namespace Nod::Presentation {

// Item data roles of the library's models.
namespace LibraryRole {
// DocumentModel: the document id of the row, in every column.
constexpr int DocumentId = Qt::UserRole;
// TagTreeModel: per category item.
constexpr int DocumentCount = Qt::UserRole + 1;
constexpr int TagName = Qt::UserRole + 2;
constexpr int TagId = Qt::UserRole + 3;
} // namespace LibraryRole

} // namespace Nod::Presentation
