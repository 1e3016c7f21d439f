#pragma once

#include <QSet>
#include <QString>

struct QMetaObject;

namespace Nod::Infrastructure {

// The id and the ids of every row below it by parentId. Throws DatabaseException.
QSet<int> descendants(const QString &table, int id);

// Compares a table's columns with the entity's property names and logs the outcome.
bool checkTable(const QString &table, const QMetaObject &entity);
// The start-up pass over every table; logs only. Returns true when all tables match.
bool checkTables();
// What keeps the program from working on the database: a table it uses that is missing, or one that
// lacks columns its entity needs, one English line each. Columns no entity knows are no problem.
QStringList schemaProblems();

// Indexes the repositories' frequent look-ups need (annotations by document and page and by parent,
// documents by fingerprint, categories by parent). Idempotent. Run only on a current schema, after
// the migration: on an older one a table may still be renamed away and rebuilt.
void ensureIndexes();

} // namespace Nod::Infrastructure
