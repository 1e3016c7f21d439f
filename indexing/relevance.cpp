#include "relevance.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <cmath>
#include <vector>

namespace Nod::Indexing {

namespace {

// The constants of the table's own bm25.
constexpr double K1 = 1.2;
constexpr double B = 0.75;
constexpr double SmallestIdf = 1e-6;

// What a query needs for every row: found once, at its first row.
struct QueryFigures
{
    double averageLength = 1;
    std::vector<double> idf; // by phrase
};

int countRow(const Fts5ExtensionApi *, Fts5Context *, void *count)
{
    ++*static_cast<qint64 *>(count);
    return SQLITE_OK;
}

QueryFigures *figuresOf(const Fts5ExtensionApi *api, Fts5Context *fts, int *rc)
{
    if (auto *figures = static_cast<QueryFigures *>(api->xGetAuxdata(fts, 0))) {
        return figures;
    }
    auto *figures = new QueryFigures;
    sqlite3_int64 rows = 0;
    sqlite3_int64 tokens = 0;
    *rc = api->xRowCount(fts, &rows);
    if (*rc == SQLITE_OK) {
        *rc = api->xColumnTotalSize(fts, -1, &tokens);
    }
    if (rows > 0) {
        figures->averageLength = double(tokens) / double(rows);
    }
    const int phrases = api->xPhraseCount(fts);
    for (int i = 0; *rc == SQLITE_OK && i < phrases; ++i) {
        qint64 hits = 0;
        *rc = api->xQueryPhrase(fts, i, &hits, countRow);
        const double idf = std::log((double(rows) - double(hits) + 0.5) / (double(hits) + 0.5));
        figures->idf.push_back(idf > 0 ? idf : SmallestIdf);
    }
    if (*rc != SQLITE_OK) {
        delete figures;
        return nullptr;
    }
    *rc = api->xSetAuxdata(fts, figures, [](void *p) { delete static_cast<QueryFigures *>(p); });
    return *rc == SQLITE_OK ? figures : nullptr;
}

void score(const Fts5ExtensionApi *api, Fts5Context *fts, sqlite3_context *context, int, sqlite3_value **)
{
    int rc = SQLITE_OK;
    const QueryFigures *figures = figuresOf(api, fts, &rc);
    if (!figures) {
        sqlite3_result_error_code(context, rc);
        return;
    }
    const auto *relevance = static_cast<const Relevance *>(api->xUserData(fts));
    int length = relevance->lengthOf(api->xRowid(fts));
    if (length < 0 && (rc = api->xColumnSize(fts, -1, &length)) != SQLITE_OK) {
        sqlite3_result_error_code(context, rc);
        return;
    }
    const double norm = K1 * (1 - B + B * length / figures->averageLength);
    double sum = 0;
    for (int phrase = 0; phrase < int(figures->idf.size()); ++phrase) {
        Fts5PhraseIter it;
        int column = 0;
        int offset = 0;
        int frequency = 0;
        for (api->xPhraseFirst(fts, phrase, &it, &column, &offset); column >= 0;
             api->xPhraseNext(fts, &it, &column, &offset)) {
            ++frequency;
        }
        sum += figures->idf[size_t(phrase)] * frequency * (K1 + 1) / (frequency + norm);
    }
    sqlite3_result_double(context, -sum);
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3 *const *>(handle.data());
}

// A length as the table stores it: a variable-length integer, the first of the entry's columns.
int decodeLength(const QByteArray &blob)
{
    quint64 value = 0;
    for (int i = 0; i < blob.size() && i < 9; ++i) {
        const auto byte = quint8(blob.at(i));
        if (i == 8) {
            return int(qMin<quint64>((value << 8) | byte, INT_MAX));
        }
        value = (value << 7) | (byte & 0x7f);
        if (!(byte & 0x80)) {
            return int(qMin<quint64>(value, INT_MAX));
        }
    }
    return -1;
}

} // namespace

bool Relevance::install(const QSqlDatabase &db, QString *error)
{
    sqlite3 *handle = handleOf(db);
    if (!handle) {
        *error = QStringLiteral("the database driver gives no SQLite connection");
        return false;
    }
    fts5_api *api = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(handle, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, static_cast<void *>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    if (!api || api->iVersion < 2
        || api->xCreateFunction(api, "relevance", this, &score, nullptr) != SQLITE_OK) {
        *error = QStringLiteral("the full-text module of SQLite is missing or too old");
        return false;
    }
    m_checked = false;
    return true;
}

QString Relevance::countRemovalStatement()
{
    return QStringLiteral("UPDATE meta SET value = value + 1 WHERE key = 'removals'");
}

bool Relevance::refresh(const QSqlDatabase &db, QString *error)
{
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA data_version")) || !version.next()) {
        *error = version.lastError().text();
        return false;
    }
    const qint64 dataVersion = version.value(0).toLongLong();
    if (m_checked && dataVersion == m_dataVersion) {
        return true;
    }
    QSqlQuery removals(db);
    if (!removals.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'removals'"))) {
        *error = removals.lastError().text();
        return false;
    }
    const qint64 removed = removals.next() ? removals.value(0).toLongLong() : 0;
    if (removed != m_removals) {
        m_lengths.clear();
        m_loadedUpTo = 0;
        m_removals = removed;
    }
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    rows.prepare(QStringLiteral("SELECT id, sz FROM text_docsize WHERE id > ? ORDER BY id"));
    rows.addBindValue(m_loadedUpTo);
    if (!rows.exec()) {
        *error = rows.lastError().text();
        return false;
    }
    while (rows.next()) {
        const qint64 id = rows.value(0).toLongLong();
        if (id < 0 || id > INT_MAX) {
            continue; // left to the table's own look-up
        }
        if (id >= qint64(m_lengths.size())) {
            m_lengths.resize(qMax(size_t(id) + 1, m_lengths.size() + m_lengths.size() / 2), -1);
        }
        m_lengths[size_t(id)] = decodeLength(rows.value(1).toByteArray());
        m_loadedUpTo = id;
    }
    m_dataVersion = dataVersion;
    m_checked = true;
    return true;
}

} // namespace Nod::Indexing
