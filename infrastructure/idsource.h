#pragma once

namespace Nod::Infrastructure {

// The one counter from which documents' notes, annotations, categories, tags and resources take
// their ids, so that an id names at most one thing. Runs inside the caller's transaction.
class IdSource final
{
public:
    // The next id, or -1 (after a warning line) when the counter cannot be advanced or read.
    static int nextId();
};

} // namespace Nod::Infrastructure
