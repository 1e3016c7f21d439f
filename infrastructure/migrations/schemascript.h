#pragma once

#include <QString>

namespace Nod::Infrastructure {

// What the default connection's database holds besides the versions table's definition, as SQL that
// builds the same in a database holding only that table: the schema objects in the order they were
// made, then the rows of every table, versions included. Deterministic: the same database gives the
// same text.
QString schemaScript();

// The script of the database the commands build from nothing, taken when the program was built (by
// running them); defined in the library nodera_newdatabase.
const char *newDatabaseScript();

} // namespace Nod::Infrastructure
