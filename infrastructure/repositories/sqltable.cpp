#include "sqltable.h"

#include <infrastructure/database.h>

#include <QMetaObject>
#include <QMetaProperty>
#include <QSqlQuery>
#include <QSqlRecord>

namespace Nod::Infrastructure {

SqlTable::SqlTable(const QString &table, const QMetaObject &entity)
    : m_table(table)
    , m_entity(entity)
    , m_columns(tableColumns(table))
{ }

QStringList SqlTable::boundNames() const
{
    QStringList names;
    for (int i = m_entity.propertyOffset(); i < m_entity.propertyCount(); ++i) {
        const QString name = QString::fromLatin1(m_entity.property(i).name());
        if (m_columns.contains(name)) {
            names << name;
        }
    }
    return names;
}

void SqlTable::bind(QSqlQuery &query, const void *gadget, bool withKey) const
{
    for (int i = m_entity.propertyOffset(); i < m_entity.propertyCount(); ++i) {
        const QMetaProperty property = m_entity.property(i);
        const QString name = QString::fromLatin1(property.name());
        if (!m_columns.contains(name) || (!withKey && name == m_key)) {
            continue;
        }
        query.bindValue(QLatin1Char(':') + name, property.readOnGadget(gadget));
    }
}

void SqlTable::insert(const void *gadget)
{
    const QStringList names = boundNames();
    QStringList placeholders;
    for (const QString &name : names) {
        placeholders << QLatin1Char(':') + name;
    }
    QSqlQuery query;
    query.prepare(QStringLiteral("INSERT INTO ") + m_table + QStringLiteral(" (")
        + names.join(QLatin1Char(',')) + QStringLiteral(") VALUES (") + placeholders.join(QLatin1Char(','))
        + QLatin1Char(')'));
    bind(query, gadget, true);
    execQuery(query);
}

void SqlTable::update(const void *gadget)
{
    QStringList sets;
    const QStringList names = boundNames();
    for (const QString &name : names) {
        if (name != m_key) {
            sets << name + QStringLiteral("=:") + name;
        }
    }
    QSqlQuery query;
    query.prepare(QStringLiteral("UPDATE ") + m_table + QStringLiteral(" SET ")
        + sets.join(QStringLiteral(", ")) + QStringLiteral(" WHERE ") + m_key + QStringLiteral("=:") + m_key);
    bind(query, gadget, false);
    // The key is bound whether or not the entity's key property is in the column set.
    const int keyIndex = m_entity.indexOfProperty(m_key.toLatin1().constData());
    query.bindValue(QLatin1Char(':') + m_key, m_entity.property(keyIndex).readOnGadget(gadget));
    execQuery(query);
}

void SqlTable::remove(int id)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("DELETE FROM ") + m_table + QStringLiteral(" WHERE ") + m_key
        + QStringLiteral("=:") + m_key);
    query.bindValue(QLatin1Char(':') + m_key, id);
    execQuery(query);
}

QVector<int> SqlTable::columnIndexes(const QSqlQuery &query) const
{
    const QSqlRecord record = query.record();
    QVector<int> indexes;
    for (int i = m_entity.propertyOffset(); i < m_entity.propertyCount(); ++i) {
        const QString name = QString::fromLatin1(m_entity.property(i).name());
        indexes << ((m_columns.isEmpty() || m_columns.contains(name)) ? record.indexOf(name) : -1);
    }
    return indexes;
}

void SqlTable::fill(const QSqlQuery &query, const QVector<int> &columnOfProperty, void *gadget) const
{
    for (int i = m_entity.propertyOffset(); i < m_entity.propertyCount(); ++i) {
        const int column = columnOfProperty.at(i - m_entity.propertyOffset());
        if (column < 0) {
            continue;
        }
        const QMetaProperty property = m_entity.property(i);
        const QVariant value = query.value(column);
        if (!property.writeOnGadget(gadget, value) && !value.isNull()) {
            property.writeOnGadget(gadget, value.toInt());
        }
    }
}

bool SqlTable::findById(int id, void *gadget)
{
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM ") + m_table + QStringLiteral(" WHERE ") + m_key
        + QStringLiteral(" = :") + m_key);
    query.bindValue(QLatin1Char(':') + m_key, id);
    execQuery(query);
    if (!query.next()) {
        return false;
    }
    fill(query, columnIndexes(query), gadget);
    return true;
}

void SqlTable::select(const Criteria &criteria,
    const std::function<void(const std::function<void(void *)> &)> &each, const QSet<QString> &leftOut)
{
    QString read = QStringLiteral("*");
    if (!leftOut.isEmpty() && !(m_columns - leftOut).isEmpty()) {
        QStringList names = (m_columns - leftOut).values();
        names.sort();
        read = names.join(QLatin1Char(','));
    }
    QString sql = QStringLiteral("SELECT ") + read + QStringLiteral(" FROM ") + m_table;
    if (!criteria.isEmpty()) {
        QStringList parts;
        for (const auto &criterion : criteria) {
            parts << QStringLiteral("%1 = :%2").arg(criterion.first, criterion.first);
        }
        sql += QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
    }
    QSqlQuery query;
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const auto &criterion : criteria) {
        query.bindValue(QLatin1Char(':') + criterion.first, criterion.second);
    }
    execQuery(query);
    QVector<int> indexes;
    while (query.next()) {
        if (indexes.isEmpty()) {
            indexes = columnIndexes(query);
        }
        each([&](void *gadget) { fill(query, indexes, gadget); });
    }
}

} // namespace Nod::Infrastructure
