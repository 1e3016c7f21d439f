#pragma once

#include <QHash>

namespace Nod::Presentation {

// The number of annotation rows of every document (its document note included), read with one
// grouped query, so that a shelf of thousands of documents does not ask once per row. Documents
// without rows are absent. Throws DatabaseException when the statement fails.
QHash<int, int> annotationCountsByDocument();

} // namespace Nod::Presentation
