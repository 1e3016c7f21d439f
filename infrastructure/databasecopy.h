#pragma once

#include <QString>

namespace Nod::Infrastructure {

// Writes a consistent snapshot of the SQLite database at `source` to `target` while other
// connections may have it open in write-ahead-log mode: the snapshot holds every committed change.
// The copy is written to a temporary name beside `target`, flushed to disk, checked with
// "PRAGMA integrity_check", and only then renamed to `target`. An existing `target` is never
// overwritten. Uses its own connections; safe to call on the interface thread while the default
// connection is open. On failure returns false, leaves no file behind and sets *error if given.
bool copyDatabaseConsistently(const QString &source, const QString &target, QString *error = nullptr);

} // namespace Nod::Infrastructure
