#include "searchindex.h"

#include "searchquery.h"

#include <QAtomicInt>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

#include <algorithm>

namespace Nod::Indexing {

namespace {

const QString FormatName = QStringLiteral("nodera-search-index");
constexpr int FormatVersion = 2;
const QString DamagedSuffix = QStringLiteral(".damaged");

QAtomicInt s_connectionCounter;

// Runs one statement; false leaves the driver's message in `error`.
bool run(QSqlQuery &query, QString *error)
{
    if (query.exec()) {
        return true;
    }
    *error = query.lastError().text();
    return false;
}

bool run(const QSqlDatabase &db, const QString &sql, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(sql)) {
        return true;
    }
    *error = query.lastError().text() + QLatin1String(" in: ") + sql;
    return false;
}

} // namespace

SearchIndex::SearchIndex()
    : m_connectionName(
        QStringLiteral("nodera-search-index-%1").arg(s_connectionCounter.fetchAndAddRelaxed(1)))
{ }

SearchIndex::~SearchIndex() { close(); }

bool SearchIndex::fail(const QString &message) const
{
    m_lastError = message;
    qWarning().noquote() << "Nod::Indexing::SearchIndex" << message;
    return false;
}

bool SearchIndex::isOpen() const { return m_db.isValid() && m_db.isOpen(); }

void SearchIndex::close()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool SearchIndex::openConnection(bool readOnly)
{
    close();
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(m_path);
    if (readOnly) {
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!m_db.open()) {
        m_lastError = m_db.lastError().text();
        return false;
    }
    if (!m_relevance.install(m_db, &m_lastError)) {
        close();
        return false;
    }
    return true;
}

QString SearchIndex::formatProblem()
{
    QSqlQuery check(m_db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        return check.lastError().text();
    }
    if (!check.next() || check.value(0).toString() != QLatin1String("ok")) {
        return QStringLiteral("integrity check: ") + check.value(0).toString();
    }
    QSqlQuery tables(m_db);
    if (!tables.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !tables.next()) {
        return tables.lastError().text();
    }
    if (tables.value(0).toInt() == 0) {
        return QString(); // a new file
    }
    QSqlQuery meta(m_db);
    if (!meta.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'format'")) || !meta.next()
        || meta.value(0).toString() != FormatName) {
        return QStringLiteral("not a search index of this program");
    }
    QSqlQuery version(m_db);
    if (!version.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'version'")) || !version.next()
        || version.value(0).toInt() != FormatVersion) {
        return QStringLiteral("an index of another version");
    }
    return QString();
}

bool SearchIndex::createSchema()
{
    // Every page, note and document's details is one entry; the text table shares its row ids.
    // Statements on notes repeat "annotationId > 0" so that a bound annotation id can use the
    // partial index instead of reading every entry.
    // Three-letter prefixes expand to the most words, so they have an index of their own.
    const QStringList statements {
        QStringLiteral("PRAGMA journal_mode = WAL"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS documents (id INTEGER PRIMARY KEY, hash TEXT NOT NULL, "
                       "pageCount INTEGER NOT NULL DEFAULT -1, nextPage INTEGER NOT NULL DEFAULT 0, "
                       "failure TEXT)"),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS entries (id INTEGER PRIMARY KEY, documentId INTEGER NOT NULL, "
            "page INTEGER NOT NULL, annotationId INTEGER NOT NULL, stamp INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS entriesByDocument ON entries (documentId, annotationId)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS entriesByAnnotation ON entries (annotationId) "
                       "WHERE annotationId > 0"),
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS text USING fts5(body, "
                       "tokenize = 'unicode61 remove_diacritics 2', prefix = '3')"),
        QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES ('format', '%1')").arg(FormatName),
        QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES ('version', '%1')")
            .arg(FormatVersion),
        QStringLiteral("INSERT OR IGNORE INTO meta (key, value) VALUES ('removals', 0)"),
    };
    QString error;
    for (const QString &sql : statements) {
        if (!run(m_db, sql, &error)) {
            return fail(error);
        }
    }
    return true;
}

bool SearchIndex::open(const QString &path, bool readOnly)
{
    m_path = path;
    m_wasReset = false;
    if (readOnly) {
        if (!QFileInfo(path).isFile()) {
            return fail(QStringLiteral("no index file at ") + path);
        }
        if (!openConnection(true)) {
            return fail(m_lastError);
        }
        const QString problem = formatProblem();
        QSqlQuery tables(m_db);
        if (!problem.isEmpty() || !tables.exec(QStringLiteral("SELECT 1 FROM documents LIMIT 1"))) {
            close();
            return fail(problem.isEmpty() ? QStringLiteral("the index is empty") : problem);
        }
        return true;
    }
    QString problem;
    if (!openConnection(false)) {
        problem = m_lastError;
    } else {
        problem = formatProblem();
    }
    if (problem.isEmpty()) {
        QString error;
        run(m_db, QStringLiteral("PRAGMA synchronous = NORMAL"), &error);
        if (createSchema()) {
            return true;
        }
        problem = m_lastError;
    }
    return setAside(problem);
}

bool SearchIndex::openForQueries(const QString &path)
{
    m_path = path;
    m_wasReset = false;
    if (!openConnection(true)) {
        return fail(m_lastError);
    }
    QSqlQuery format(m_db);
    if (!format.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'format'")) || !format.next()
        || format.value(0).toString() != FormatName) {
        close();
        return fail(QStringLiteral("not a search index of this program: ") + path);
    }
    // The text a query touches stays in memory from one query to the next.
    QString error;
    run(m_db, QStringLiteral("PRAGMA cache_size = -32768"), &error);
    return true;
}

bool SearchIndex::reset(const QString &reason) { return setAside(reason); }

bool SearchIndex::setAside(const QString &reason)
{
    close();
    const QString aside = m_path + DamagedSuffix;
    QFile::remove(aside);
    if (QFileInfo::exists(m_path) && !QFile::rename(m_path, aside)) {
        QFile::remove(m_path);
    }
    QFile::remove(m_path + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    qWarning().noquote() << QStringLiteral("Search index %1 cannot be used (%2); set aside as %3, rebuilding")
                                .arg(m_path, reason, aside);
    m_wasReset = true;
    if (!openConnection(false) || !createSchema()) {
        close();
        return fail(
            QStringLiteral("cannot create the search index ") + m_path + QLatin1String(": ") + m_lastError);
    }
    QString error;
    run(m_db, QStringLiteral("PRAGMA synchronous = NORMAL"), &error);
    return true;
}

qint64 SearchIndex::stampFor(const QString &source)
{
    const QByteArray digest = QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Md5);
    return qFromLittleEndian<qint64>(digest.constData());
}

std::optional<SearchIndex::DocumentState> SearchIndex::documentState(int documentId) const
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT hash, pageCount, nextPage, failure FROM documents WHERE id = ?"));
    query.addBindValue(documentId);
    if (!run(query, &m_lastError) || !query.next()) {
        return std::nullopt;
    }
    DocumentState state;
    state.hash = query.value(0).toString();
    state.pageCount = query.value(1).toInt();
    state.nextPage = query.value(2).toInt();
    state.failure = query.value(3).toString();
    return state;
}

QVector<int> SearchIndex::documentIds() const
{
    QVector<int> ids;
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("SELECT id FROM documents UNION SELECT documentId FROM entries"))) {
        while (query.next()) {
            ids.append(query.value(0).toInt());
        }
    }
    return ids;
}

int SearchIndex::finishedDocumentCount() const
{
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("SELECT count(*) FROM documents WHERE failure IS NOT NULL "
                                  "OR (pageCount >= 0 AND nextPage >= pageCount)"))
        && query.next()) {
        return query.value(0).toInt();
    }
    return 0;
}

bool SearchIndex::countRemoval(int removed)
{
    if (removed <= 0) {
        return true;
    }
    QSqlQuery count(m_db);
    count.prepare(Relevance::countRemovalStatement());
    return run(count, &m_lastError);
}

bool SearchIndex::deletePages(int documentId)
{
    QSqlQuery text(m_db);
    text.prepare(QStringLiteral("DELETE FROM text WHERE rowid IN (SELECT id FROM entries "
                                "WHERE documentId = ? AND annotationId = 0 AND page >= 0)"));
    text.addBindValue(documentId);
    QSqlQuery entries(m_db);
    entries.prepare(
        QStringLiteral("DELETE FROM entries WHERE documentId = ? AND annotationId = 0 AND page >= 0"));
    entries.addBindValue(documentId);
    return run(text, &m_lastError) && run(entries, &m_lastError) && countRemoval(entries.numRowsAffected());
}

bool SearchIndex::startPages(int documentId, const QString &hash, int pageCount)
{
    m_relevance.invalidate();
    if (!m_db.transaction()) {
        return fail(m_db.lastError().text());
    }
    QSqlQuery state(m_db);
    state.prepare(QStringLiteral("INSERT OR REPLACE INTO documents (id, hash, pageCount, nextPage, failure) "
                                 "VALUES (?, ?, ?, 0, NULL)"));
    state.addBindValue(documentId);
    state.addBindValue(hash);
    state.addBindValue(pageCount);
    if (!deletePages(documentId) || !run(state, &m_lastError) || !m_db.commit()) {
        m_db.rollback();
        return fail(m_lastError);
    }
    return true;
}

bool SearchIndex::addPages(int documentId, int firstPage, const QStringList &texts, TextForm form)
{
    m_relevance.invalidate();
    if (!m_db.transaction()) {
        return fail(m_db.lastError().text());
    }
    QSqlQuery entry(m_db);
    entry.prepare(QStringLiteral("INSERT INTO entries (documentId, page, annotationId) VALUES (?, ?, 0)"));
    QSqlQuery text(m_db);
    text.prepare(QStringLiteral("INSERT INTO text (rowid, body) VALUES (?, ?)"));
    bool ok = true;
    for (int i = 0; ok && i < texts.size(); ++i) {
        if (texts.at(i).trimmed().isEmpty()) {
            continue;
        }
        entry.bindValue(0, documentId);
        entry.bindValue(1, firstPage + i);
        ok = run(entry, &m_lastError);
        if (ok) {
            text.bindValue(0, entry.lastInsertId());
            text.bindValue(1, form == Prepared ? texts.at(i) : prepareForIndex(texts.at(i)));
            ok = run(text, &m_lastError);
        }
    }
    QSqlQuery progress(m_db);
    progress.prepare(QStringLiteral("UPDATE documents SET nextPage = ? WHERE id = ?"));
    progress.addBindValue(firstPage + texts.size());
    progress.addBindValue(documentId);
    if (!ok || !run(progress, &m_lastError) || !m_db.commit()) {
        m_db.rollback();
        return fail(m_lastError);
    }
    return true;
}

bool SearchIndex::markFailed(int documentId, const QString &hash, const QString &reason)
{
    m_relevance.invalidate();
    if (!m_db.transaction()) {
        return fail(m_db.lastError().text());
    }
    QSqlQuery state(m_db);
    state.prepare(QStringLiteral("INSERT OR REPLACE INTO documents (id, hash, pageCount, nextPage, failure) "
                                 "VALUES (?, ?, -1, 0, ?)"));
    state.addBindValue(documentId);
    state.addBindValue(hash);
    state.addBindValue(reason);
    if (!deletePages(documentId) || !run(state, &m_lastError) || !m_db.commit()) {
        m_db.rollback();
        return fail(m_lastError);
    }
    return true;
}

bool SearchIndex::putEntry(int documentId, int page, int annotationId, qint64 stamp, const QString &text)
{
    m_relevance.invalidate();
    QSqlQuery existing(m_db);
    if (annotationId > 0) {
        existing.prepare(QStringLiteral(
            "SELECT id, stamp, documentId, page FROM entries WHERE annotationId = ? AND annotationId > 0"));
        existing.addBindValue(annotationId);
    } else {
        existing.prepare(QStringLiteral("SELECT id, stamp, documentId, page FROM entries "
                                        "WHERE documentId = ? AND annotationId = 0 AND page < 0"));
        existing.addBindValue(documentId);
    }
    if (!run(existing, &m_lastError)) {
        return fail(m_lastError);
    }
    QVariant oldId;
    if (existing.next()) {
        if (existing.value(1).toLongLong() == stamp && existing.value(2).toInt() == documentId
            && existing.value(3).toInt() == page && !text.trimmed().isEmpty()) {
            return true;
        }
        oldId = existing.value(0);
    }
    existing.finish();
    if (!oldId.isValid() && text.trimmed().isEmpty()) {
        return true;
    }
    if (!m_db.transaction()) {
        return fail(m_db.lastError().text());
    }
    bool ok = true;
    if (oldId.isValid()) {
        QSqlQuery dropText(m_db);
        dropText.prepare(QStringLiteral("DELETE FROM text WHERE rowid = ?"));
        dropText.addBindValue(oldId);
        QSqlQuery dropEntry(m_db);
        dropEntry.prepare(QStringLiteral("DELETE FROM entries WHERE id = ?"));
        dropEntry.addBindValue(oldId);
        ok = run(dropText, &m_lastError) && run(dropEntry, &m_lastError) && countRemoval(1);
    }
    if (ok && !text.trimmed().isEmpty()) {
        QSqlQuery entry(m_db);
        entry.prepare(QStringLiteral(
            "INSERT INTO entries (documentId, page, annotationId, stamp) VALUES (?, ?, ?, ?)"));
        entry.addBindValue(documentId);
        entry.addBindValue(annotationId > 0 ? page : -1);
        entry.addBindValue(annotationId);
        entry.addBindValue(stamp);
        ok = run(entry, &m_lastError);
        if (ok) {
            QSqlQuery body(m_db);
            body.prepare(QStringLiteral("INSERT INTO text (rowid, body) VALUES (?, ?)"));
            body.addBindValue(entry.lastInsertId());
            body.addBindValue(prepareForIndex(text));
            ok = run(body, &m_lastError);
        }
    }
    if (!ok || !m_db.commit()) {
        m_db.rollback();
        return fail(m_lastError);
    }
    return true;
}

QHash<int, qint64> SearchIndex::entryStamps(int documentId) const
{
    QHash<int, qint64> stamps;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT annotationId, stamp FROM entries "
                                 "WHERE documentId = ? AND (annotationId > 0 OR page < 0)"));
    query.addBindValue(documentId);
    if (run(query, &m_lastError)) {
        while (query.next()) {
            stamps.insert(query.value(0).toInt(), query.value(1).toLongLong());
        }
    }
    return stamps;
}

bool SearchIndex::removeNote(int annotationId)
{
    m_relevance.invalidate();
    if (!m_db.transaction()) {
        return fail(m_db.lastError().text());
    }
    QSqlQuery text(m_db);
    text.prepare(QStringLiteral("DELETE FROM text WHERE rowid IN "
                                "(SELECT id FROM entries WHERE annotationId = ? AND annotationId > 0)"));
    text.addBindValue(annotationId);
    QSqlQuery entries(m_db);
    entries.prepare(QStringLiteral("DELETE FROM entries WHERE annotationId = ? AND annotationId > 0"));
    entries.addBindValue(annotationId);
    if (!run(text, &m_lastError) || !run(entries, &m_lastError) || !countRemoval(entries.numRowsAffected())
        || !m_db.commit()) {
        m_db.rollback();
        return fail(m_lastError);
    }
    return true;
}

bool SearchIndex::removeDocument(int documentId)
{
    m_relevance.invalidate();
    if (!m_db.transaction()) {
        return fail(m_db.lastError().text());
    }
    QSqlQuery text(m_db);
    text.prepare(
        QStringLiteral("DELETE FROM text WHERE rowid IN (SELECT id FROM entries WHERE documentId = ?)"));
    text.addBindValue(documentId);
    QSqlQuery entries(m_db);
    entries.prepare(QStringLiteral("DELETE FROM entries WHERE documentId = ?"));
    entries.addBindValue(documentId);
    QSqlQuery state(m_db);
    state.prepare(QStringLiteral("DELETE FROM documents WHERE id = ?"));
    state.addBindValue(documentId);
    if (!run(text, &m_lastError) || !run(entries, &m_lastError) || !countRemoval(entries.numRowsAffected())
        || !run(state, &m_lastError) || !m_db.commit()) {
        m_db.rollback();
        return fail(m_lastError);
    }
    return true;
}

SearchResults SearchIndex::search(const SearchQuery &query, int limit, int firstScreen,
    const std::function<void(const SearchResults &)> &onFirstScreen) const
{
    SearchResults results;
    if (!query.isValid() || !isOpen()) {
        return results;
    }
    const QString match = query.matchExpression();
    // One read transaction: the lengths, the order, the passages and the count all see the same file.
    QSqlDatabase db = m_db; // the same connection
    db.transaction();
    QString error;
    const auto failed = [&] {
        db.rollback();
        results.hits.clear();
        results.total = 0;
        results.error = error;
        qWarning().noquote() << "Nod::Indexing::SearchIndex::search" << error;
        return results;
    };
    if (!m_relevance.refresh(m_db, &error)) {
        return failed();
    }
    // Only the row ids are sorted: the passages are made for the rows shown, not for every match.
    QSqlQuery ranked(m_db);
    ranked.setForwardOnly(true);
    ranked.prepare(QStringLiteral("SELECT rowid, relevance(text) AS score FROM text WHERE text MATCH ? "
                                  "ORDER BY score, rowid LIMIT ?"));
    ranked.addBindValue(match);
    ranked.addBindValue(limit);
    if (!run(ranked, &error)) {
        return failed();
    }
    while (ranked.next()) {
        SearchHit hit;
        hit.entryId = ranked.value(0).toLongLong();
        hit.rank = ranked.value(1).toDouble();
        results.hits.append(hit);
    }
    ranked.finish();
    const int first = firstScreen > 0 && onFirstScreen ? qMin(firstScreen, results.hits.size()) : 0;
    if (!passagesOf(results.hits, 0, first, match, &error)) {
        return failed();
    }
    // An entry without its row cannot be shown; a sound file has none.
    const auto shown = [](QVector<SearchHit> hits) {
        hits.erase(std::remove_if(
                       hits.begin(), hits.end(), [](const SearchHit &hit) { return hit.documentId == 0; }),
            hits.end());
        return hits;
    };
    if (first > 0 && first < results.hits.size()) {
        SearchResults screen;
        screen.hits = shown(results.hits.mid(0, first));
        screen.total = first;
        screen.complete = false;
        onFirstScreen(screen);
    }
    if (!passagesOf(results.hits, first, results.hits.size(), match, &error)) {
        return failed();
    }
    const int rankedCount = results.hits.size();
    results.hits = shown(results.hits);
    results.total = results.hits.size();
    if (rankedCount >= limit) {
        QSqlQuery count(m_db);
        count.prepare(QStringLiteral("SELECT count(*) FROM text WHERE text MATCH ?"));
        count.addBindValue(match);
        if (!run(count, &error) || !count.next()) {
            return failed();
        }
        results.total = count.value(0).toInt();
    }
    db.commit();
    return results;
}

bool SearchIndex::passagesOf(
    QVector<SearchHit> &hits, int from, int to, const QString &match, QString *error) const
{
    QSqlQuery passage(m_db);
    passage.setForwardOnly(true);
    passage.prepare(QStringLiteral("SELECT snippet(text, 0, char(2), char(3), '…', 24) FROM text "
                                   "WHERE text MATCH ? AND rowid = ?"));
    QSqlQuery entry(m_db);
    entry.setForwardOnly(true);
    entry.prepare(QStringLiteral("SELECT documentId, page, annotationId FROM entries WHERE id = ?"));
    for (int i = from; i < to; ++i) {
        SearchHit &hit = hits[i];
        passage.bindValue(0, match);
        passage.bindValue(1, hit.entryId);
        entry.bindValue(0, hit.entryId);
        if (!run(passage, error) || !run(entry, error)) {
            return false;
        }
        if (passage.next()) {
            hit.snippet = fromIndex(passage.value(0).toString());
        }
        if (entry.next()) {
            hit.documentId = entry.value(0).toInt();
            hit.page = entry.value(1).toInt();
            hit.annotationId = entry.value(2).toInt();
        }
        passage.finish();
        entry.finish();
    }
    return true;
}

QString SearchIndex::integrityProblem() const
{
    QSqlQuery check(m_db);
    if (!check.exec(QStringLiteral("PRAGMA integrity_check")) || !check.next()) {
        return check.lastError().text();
    }
    if (check.value(0).toString() != QLatin1String("ok")) {
        return check.value(0).toString();
    }
    QSqlQuery fts(m_db);
    if (!fts.exec(QStringLiteral("INSERT INTO text (text, rank) VALUES ('integrity-check', 1)"))) {
        return fts.lastError().text();
    }
    return QString();
}

qint64 SearchIndex::sizeOnDisk() const
{
    return QFileInfo(m_path).size() + QFileInfo(m_path + QStringLiteral("-wal")).size();
}

} // namespace Nod::Indexing
