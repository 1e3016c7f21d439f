#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>

namespace Nod::Infrastructure {

class Command;

// Brings the schema of the default connection up to date by running the commands that
// schema_versions does not yet record, in order, each in its own transaction.
class Migrator final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Migrator)

public:
    explicit Migrator(QObject *parent = nullptr);
    ~Migrator() override;

    bool needsMigration() const;
    bool migrate();
    bool createVersionsTable();

    int commandCount() const { return m_commands.size(); }
    const QVector<Command *> &commands() const { return m_commands; } // owned by the migrator
    QStringList appliedVersions() const;

signals:
    void commandFinished(int done);
    void message(const QString &text);

private:
    void buildCommands();

    QVector<Command *> m_commands;
};

} // namespace Nod::Infrastructure
