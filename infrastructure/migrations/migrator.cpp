#include "migrator.h"

#include "command.h"
#include "commands.h"
#include "schemascript.h"

#include <infrastructure/database.h>
#include <infrastructure/repositories/tablecheck.h>
#include <infrastructure/transaction.h>

#include <QCoreApplication>
#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <optional>

namespace Nod::Infrastructure {

namespace {
const QString VersionsTable = QStringLiteral("schema_versions");
const char *s_newDatabaseScript = nullptr;
} // namespace

void Migrator::setNewDatabaseScript(const char *script) { s_newDatabaseScript = script; }

Migrator::Migrator(QObject *parent)
    : QObject(parent)
{
    const QStringList tables = QSqlDatabase::database().tables();
    if (!tables.contains(VersionsTable)) {
        createVersionsTable();
    }
    buildCommands();
    // An empty versions table alone is what a first start leaves when it ends before its one commit.
    m_newDatabase
        = (tables.isEmpty() || tables == QStringList { VersionsTable }) && appliedVersions().isEmpty();
}

Migrator::~Migrator() = default; // the commands are children

bool Migrator::createVersionsTable()
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("CREATE TABLE %1 (version TEXT NOT NULL UNIQUE)").arg(VersionsTable))) {
        qWarning() << "Migrator::createVersionsTable" << query.lastError() << query.lastQuery();
        return false;
    }
    return true;
}

void Migrator::buildCommands()
{
    m_commands << new M20170111_2100_createDocuments(this) << new M20170111_2142_createAnnotations(this)
               << new M20170226_0347_createMarkers(this);

    // Databases that went through the early document rebuild keep that history; the list compared
    // with schema_versions must follow it.
    QSqlQuery query;
    query.exec(QStringLiteral("SELECT * FROM %1 WHERE version = %2")
                   .arg(VersionsTable, QStringLiteral("\"M20170714_1500_ModifyDocuments\"")));
    if (query.next()) {
        m_commands << new M20170714_1500_ModifyDocuments(this) << new M20170725_1000_ModifyDocuments(this);
    } else {
        m_commands << new M20180114(this);
    }

    m_commands << new M201709231700_CreateCategories(this) << new M20171105(this)
               << new M20171217_1800_ModifyDocuments(this) << new M20180418_ModifyDocuments(this)
               << new M20180524_0613(this) << new M20180619_ModifyCategory(this)
               << new M20181115_AlterDocument(this) << new M20190102_UnifyId(this)
               << new M20190731_CreateTag(this);
}

QStringList Migrator::appliedVersions() const
{
    QStringList versions;
    QSqlQuery query;
    if (query.exec(QStringLiteral("select version from %1 ").arg(VersionsTable))) {
        while (query.next()) {
            versions << query.value(0).toString();
        }
    }
    return versions;
}

bool Migrator::needsMigration() const { return appliedVersions().size() < m_commands.size(); }

bool Migrator::migrate()
{
    const QStringList applied = appliedVersions();
    const int k = applied.size();
    const int n = m_commands.size();
    if (k >= n) {
        ensureIndexes();
        return true;
    }
    for (int i = 0; i < k; ++i) {
        if (applied.at(i) != m_commands.at(i)->version()) {
            qWarning() << "Command (" << applied.at(i) << ") in database != Command ("
                       << m_commands.at(i)->version() << ")";
            return false;
        }
    }
    qInfo() << "Commands count: " << n << ", need to execute count: " << n - k;
    // A new database is built in one transaction, the commands nested in it: a start that ends
    // half-way leaves it empty, to be built whole by the next one, and the disk is synced once
    // instead of after every command.
    std::optional<ForeignKeysOff> foreignKeysOff; // outlives the transaction
    std::optional<Transaction> whole;
    if (m_newDatabase) {
        foreignKeysOff.emplace();
        if (!foreignKeysOff->isOff()) {
            return false;
        }
        whole.emplace();
    }
    // The commands rebuild tables one after another; what they leave in an empty database, taken
    // when the program was built, is a few statements.
    const bool built = whole && s_newDatabaseScript && buildFromScript();
    for (int i = built ? n : k; i < n; ++i) {
        emit commandFinished(i);
        QCoreApplication::processEvents();
        if (!m_commands.at(i)->execute()) {
            const QString text
                = QStringLiteral("Migrating task(") + m_commands.at(i)->version() + QStringLiteral(") FAILD");
            qInfo().noquote() << text;
            emit message(text);
            return false;
        }
    }
    ensureIndexes();
    if (whole) {
        whole->commit();
        whole.reset();
        m_newDatabase = false;
    }
    qInfo() << "Migrate database SUCCESSED.";
    emit commandFinished(n);
    return true;
}

bool Migrator::buildFromScript()
{
    Transaction script; // a savepoint in the new database's transaction
    QString error;
    if (!execScript(QString::fromUtf8(s_newDatabaseScript), &error)) {
        qWarning() << "Building the new database from its script failed:" << error;
        return false;
    }
    QStringList expected;
    for (const Command *command : qAsConst(m_commands)) {
        expected << command->version();
    }
    if (appliedVersions() != expected) {
        qWarning() << "The new database's script records other versions than the commands:"
                   << appliedVersions();
        return false;
    }
    script.commit();
    qInfo() << "Built the new database from its script.";
    return true;
}

} // namespace Nod::Infrastructure
