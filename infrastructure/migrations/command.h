#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>

namespace Nod::Infrastructure {

// One schema migration step. Its version, recorded in schema_versions, is its class name without
// the namespace, so a command class may never be renamed once released.
class Command : public QObject
{
    Q_OBJECT

public:
    explicit Command(QObject *parent = nullptr);

    virtual bool up() = 0;
    virtual QString version() const;

    // Runs up() in its own transaction with foreign keys off and records the version.
    bool execute();

    bool addColumn(const QString &table, const QString &column, const QString &type);
    bool addIndex(const QString &table, const QStringList &columns);
    bool addIndex(const QString &table, const QString &column);
    bool addVersion(const QString &version);
    QSet<QString> columns(const QString &table);

protected:
    // Runs one named step: logs "<name>Successed!" when it returns true; a DatabaseException from
    // inside is logged with the error and query and turned into false.
    bool step(const QString &name, const std::function<bool()> &body);
    // The step name "<version>::<name>" used by the older commands.
    QString qualified(const char *name) const;
    bool hasTable(const QString &table) const;
};

// Keeps the default connection's foreign keys off while alive, so that table rebuilds neither
// cascade nor fail on references. SQLite ignores the switch inside a transaction: make one before
// the transaction begins. Failures of the switch are logged.
class ForeignKeysOff final
{
    Q_DISABLE_COPY_MOVE(ForeignKeysOff)

public:
    ForeignKeysOff();
    ~ForeignKeysOff(); // turns them back on unless restore() did
    bool isOff() const { return m_off; }
    // Turns them back on now; false when that failed.
    bool restore();

private:
    bool m_off = false;
    bool m_restored = false;
};

} // namespace Nod::Infrastructure
