#pragma once

namespace Nod::Domain {

// Ids of documents, annotations, tags and resources all come from one counter; 0 means none.
using Identity = int;

} // namespace Nod::Domain
