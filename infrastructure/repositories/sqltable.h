#pragma once

#include <QPair>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

struct QMetaObject;
class QSqlQuery;

namespace Nod::Infrastructure {

using Criteria = QVector<QPair<QString, QVariant>>;

// The SQL half of the generic repository: builds the statements from a gadget's property list,
// keeps only the properties that are columns of the table, and moves values between gadgets and
// rows. Every statement goes through execQuery and so throws DatabaseException on failure.
class SqlTable final
{
public:
    SqlTable(const QString &table, const QMetaObject &entity);

    QString table() const { return m_table; }
    QSet<QString> columns() const { return m_columns; }

    void insert(const void *gadget);
    void update(const void *gadget);
    void remove(int id);
    // Calls fill(row) once per returned row; fill(gadget) must be given a fresh entity to write. The
    // columns left out are not read.
    void select(const Criteria &criteria,
        const std::function<void(const std::function<void(void *)> &)> &each,
        const QSet<QString> &leftOut = {});
    bool findById(int id, void *gadget);

private:
    QStringList boundNames() const;
    void bind(QSqlQuery &query, const void *gadget, bool withKey) const;
    void fill(const QSqlQuery &query, const QVector<int> &columnOfProperty, void *gadget) const;
    QVector<int> columnIndexes(const QSqlQuery &query) const;

    QString m_table;
    QString m_key = QStringLiteral("id");
    const QMetaObject &m_entity;
    QSet<QString> m_columns;
};

} // namespace Nod::Infrastructure
