#pragma once

namespace Nod::App {

// Connected to House::locationChanged after the log: opens the storage folder's database. When it
// cannot be opened or is damaged, tells the user, logs a fatal line and ends the process.
void openDatabase();

// Lets House back up and move the database as a consistent snapshot while it is open.
void installDatabaseCopier();

// Brings the schema up to date (with a backup first and a progress dialog while it runs), checks the
// tables against the entities and adds the look-up indexes. Returns whether the schema is current.
bool upgradeDatabase();

} // namespace Nod::App
