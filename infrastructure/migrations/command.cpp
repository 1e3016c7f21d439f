#include "command.h"

#include <infrastructure/database.h>
#include <infrastructure/databaseexception.h>
#include <infrastructure/transaction.h>

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <exception>

namespace Nod::Infrastructure {

Command::Command(QObject *parent)
    : QObject(parent)
{ }

QString Command::version() const
{
    const QString name = QString::fromLatin1(metaObject()->className());
    const int colon = name.lastIndexOf(QLatin1String("::"));
    return colon < 0 ? name : name.mid(colon + 2);
}

bool Command::execute()
{
    qInfo() << "Start executing Command: " << version();
    ForeignKeysOff foreignKeysOff;
    if (!foreignKeysOff.isOff()) {
        return false;
    }
    bool done = false;
    try {
        Transaction transaction;
        done = up() && addVersion(version()) && transaction.commit();
    } catch (const DatabaseException &e) {
        // A failed begin or commit must not end the program at start-up: the command is rolled
        // back and the next start tries again.
        qWarning() << "Command::up" << e.what() << e.detail();
        done = false;
    } catch (const std::exception &e) {
        qWarning() << "Command::up" << e.what();
        done = false;
    }
    // Foreign keys come back on whatever happened, or later deletes would stop cascading.
    if (!foreignKeysOff.restore()) {
        return false;
    }
    if (done) {
        qInfo() << "Command" << version() << "finished.";
    }
    return done;
}

ForeignKeysOff::ForeignKeysOff()
{
    QSqlQuery pragma;
    m_off = pragma.exec(QStringLiteral("PRAGMA foreign_keys=off"));
    if (!m_off) {
        qWarning() << "Command::up" << pragma.lastError() << pragma.lastQuery();
    }
}

ForeignKeysOff::~ForeignKeysOff()
{
    if (!m_restored) {
        restore();
    }
}

bool ForeignKeysOff::restore()
{
    m_restored = true;
    QSqlQuery pragma;
    if (!pragma.exec(QStringLiteral("PRAGMA foreign_keys=on"))) {
        qWarning() << "Command::up" << pragma.lastError() << pragma.lastQuery();
        return false;
    }
    return true;
}

bool Command::addColumn(const QString &table, const QString &column, const QString &type)
{
    QSqlQuery query;
    if (!query.exec(QStringLiteral("ALTER TABLE ") + table + QStringLiteral(" ADD COLUMN ") + column
            + QLatin1Char(' ') + type)) {
        qWarning() << "addColumn" << query.lastError() << query.lastQuery();
        return false;
    }
    return true;
}

bool Command::addIndex(const QString &table, const QStringList &columns)
{
    const QString name = table + QLatin1Char('_') + columns.join(QString());
    QSqlQuery query;
    if (!query.exec(
            QStringLiteral("CREATE INDEX %1 ON %2(%3)").arg(name, table, columns.join(QLatin1Char(','))))) {
        qWarning() << "addIndex" << query.lastError() << query.lastQuery();
        return false;
    }
    return true;
}

bool Command::addIndex(const QString &table, const QString &column)
{
    return addIndex(table, QStringList { column });
}

bool Command::addVersion(const QString &version)
{
    QSqlQuery query;
    query.prepare(
        QStringLiteral("insert into %1 (version) values (:version) ").arg(QStringLiteral("schema_versions")));
    query.bindValue(QStringLiteral(":version"), version);
    if (!query.exec()) {
        qWarning() << "Command::addVersion" << query.lastError() << query.lastQuery();
        return false;
    }
    return true;
}

QSet<QString> Command::columns(const QString &table)
{
    QSet<QString> names;
    QSqlQuery query;
    if (query.exec(QStringLiteral("PRAGMA table_info(") + table + QLatin1Char(')'))) {
        while (query.next()) {
            names.insert(query.value(1).toString());
        }
    }
    return names;
}

bool Command::step(const QString &name, const std::function<bool()> &body)
{
    try {
        if (!body()) {
            return false;
        }
    } catch (const DatabaseException &e) {
        qWarning().noquote() << name << QString::fromStdString(e.what()) << e.detail();
        return false;
    }
    qInfo().noquote() << name << "Successed!";
    return true;
}

QString Command::qualified(const char *name) const
{
    return version() + QStringLiteral("::") + QString::fromLatin1(name);
}

bool Command::hasTable(const QString &table) const
{
    return QSqlDatabase::database().tables().contains(table, Qt::CaseInsensitive);
}

} // namespace Nod::Infrastructure
