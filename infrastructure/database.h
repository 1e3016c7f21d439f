#pragma once

#include <domain/textbeginning.h>

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <optional>

class QSqlQuery;

namespace Nod::Infrastructure {

// Opens the program's one database file as Qt's default connection and checks it.
// Used on the interface thread only.
class Database final
{
public:
    enum ErrorKind {
        None = 0,
        OpenFailed = 1, // the driver cannot open or read the file
        Corrupted = 2, // the file is not a sound SQLite database
    };

    // Replaces any previous default connection. Returns false and sets lastErrorKind() on failure;
    // the failed connection is removed again, so no later statement reaches a broken file.
    bool open(const QString &path);
    ErrorKind lastErrorKind() const { return m_lastErrorKind; }

    // Closes and removes the default connection, if any.
    static void close();

private:
    ErrorKind m_lastErrorKind = None;
};

// Runs an already prepared query; logs statements slower than 99 ms.
// Returns true or throws DatabaseException after a warning line.
bool execQuery(QSqlQuery &query);

// Reads the text of one cell of the default connection (the row by its integer key) whole when it is
// stored in at most wholeUpTo bytes, else only about its first beginningBytes, cut at a character:
// a text of tens of megabytes costs no more than its beginning. A null cell reads as an empty text;
// nullopt when the row does not exist.
std::optional<Domain::TextBeginning> readTextBeginning(
    const QString &table, const QString &column, qint64 rowId, qint64 wholeUpTo, int beginningBytes);

// The file the default connection is open on, for a worker that reads it through a connection of its
// own; empty without one, or for a database held only in memory.
QString databaseFile();

// The texts of one column of some rows of a table (by integer key), read through a read-only
// connection to `file` that the calling thread opens for the call and removes again. Meant for
// workers: the interface thread's connection is never touched, and in WAL mode the reads run beside
// its writes, seeing what was committed. Rows that do not exist are left out; a null cell reads as an
// empty text. Throws DatabaseException when the file cannot be opened or read.
QHash<qint64, QString> readTexts(
    const QString &file, const QString &table, const QString &column, const QVector<qint64> &rowIds);

// Runs statements separated by semicolons on the default connection, in order, stopping at the first
// that fails (false, with SQLite's message in `error`). Statements already run stay, so a caller that
// needs all or nothing runs this inside a transaction.
bool execScript(const QString &statements, QString *error = nullptr);

// Column names of a table of the default connection, from the driver's record of the table.
QSet<QString> tableColumns(const QString &table);

// Why the default connection cannot store changes (a read-only file or connection), or empty when it
// can. Tries a change inside a transaction and rolls it back, so nothing is stored either way.
QString writeProblem();

} // namespace Nod::Infrastructure
