#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>

namespace Nod::Infrastructure {

class Command;

// Brings the schema of the default connection up to date by running the commands that
// schema_versions does not yet record, in order, each in its own transaction (a new database's all
// in one).
class Migrator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Migrator)

public:
    explicit Migrator(QObject *parent = nullptr);
    ~Migrator() override;

    bool needsMigration() const;
    // No table but an empty schema_versions: there is nothing to keep a copy of, and migrate()
    // stores the whole schema or nothing.
    bool isNewDatabase() const { return m_newDatabase; }
    bool migrate();
    bool createVersionsTable();

    // A new database is then built by running this script (see schemaScript()) instead of the
    // commands one by one; the commands still run when the script fails or does not record exactly
    // their versions. Not owned; null (the default) runs the commands.
    static void setNewDatabaseScript(const char *script);

    int commandCount() const { return m_commands.size(); }
    const QVector<Command *> &commands() const { return m_commands; } // owned by the migrator
    QStringList appliedVersions() const;

signals:
    void commandFinished(int done);
    void message(const QString &text);

private:
    void buildCommands();
    // Inside the new database's transaction: false, leaving nothing of it, when the script fails.
    bool buildFromScript();

    QVector<Command *> m_commands;
    bool m_newDatabase = false;
};

} // namespace Nod::Infrastructure
