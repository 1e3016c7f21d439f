#pragma once

namespace Nod::Domain {

// Registers the domain's value types with the meta-type system, with the stream operators their
// stored encodings need. Call once at start-up, before the first database or settings read; further
// calls do nothing.
void registerMetaTypes();

} // namespace Nod::Domain
