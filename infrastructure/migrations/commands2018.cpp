#include "commands.h"
#include "filehashes.h"
#include "sqlhelpers.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>

namespace Nod::Infrastructure {

bool M20180418_ModifyDocuments::up()
{
    return step(qualified("doUp"), [this] {
        const QString documents = QStringLiteral("documents");
        const QSet<QString> existing = columns(documents);
        const QList<QPair<QString, QString>> wanted { { QStringLiteral("overview"), QStringLiteral("TEXT") },
            { QStringLiteral("siderBarState"), QStringLiteral("BLOB") },
            { QStringLiteral("siderBarMinimized"), QStringLiteral("BOOLEAN") } };
        for (const auto &column : wanted) {
            if (!existing.contains(column.first) && !addColumn(documents, column.first, column.second)) {
                return false;
            }
        }
        return true;
    });
}

bool M20180524_0613::up()
{
    return step(qualified("doUp"), [this] {
        if (!addColumn(QStringLiteral("documents"), QStringLiteral("categories"), QStringLiteral("TEXT"))) {
            return false;
        }
        QSqlQuery rows = run(QStringLiteral(
            " select doc.id, group_concat(tag.name) from documents doc, category tag, documentTags dt where "
            "dt.documentId = doc.id and tag.id = dt.tagId group by doc.id"));
        while (rows.next()) {
            QSqlQuery update;
            update.prepare(QStringLiteral("update documents set categories = :categories where id=:id"));
            update.bindValue(QStringLiteral(":categories"), rows.value(1));
            update.bindValue(QStringLiteral(":id"), rows.value(0));
            execQuery(update);
        }
        return true;
    });
}

bool M20180619_ModifyCategory::up()
{
    return step(qualified("doUp"), [] {
        QSqlQuery root = run(QStringLiteral("SELECT id FROM Category WHERE parentId ==0"));
        if (!root.next()) {
            return true; // nothing to flatten
        }
        const QVariant rootId = root.value(0);
        root.finish();
        QSqlQuery update;
        update.prepare(QStringLiteral("UPDATE Category SET parentId = 0 WHERE parentId = :rootId"));
        update.bindValue(QStringLiteral(":rootId"), rootId);
        execQuery(update);
        QSqlQuery remove;
        remove.prepare(QStringLiteral("DELETE FROM Category WHERE id = :rootId"));
        remove.bindValue(QStringLiteral(":rootId"), rootId);
        execQuery(remove);
        return true;
    });
}

bool M20181115_AlterDocument::up()
{
    const bool rehashed = step(qualified("alterDocumentHash"), [this] {
        return step(qualified("updateHash"), [] {
            updateAllDocumentHashes();
            return true;
        });
    });
    if (!rehashed) {
        return false;
    }
    // Names are not unique in a category tree ("2019" may sit under several parents). A name that
    // several categories share is resolved through DocumentTags, which still records the links the
    // names were built from; only without such a link does the lowest id win.
    return step(qualified("alterDocumentCategories"), [this] {
        QHash<QString, QVector<int>> idsByName;
        QSqlQuery categories = run(QStringLiteral("SELECT id, name FROM category"));
        while (categories.next()) {
            idsByName[categories.value(1).toString()].append(categories.value(0).toInt());
        }
        QHash<int, QSet<int>> linked;
        if (hasTable(QStringLiteral("DocumentTags"))) {
            QSqlQuery links = run(QStringLiteral("SELECT documentId, tagId FROM DocumentTags"));
            while (links.next()) {
                linked[links.value(0).toInt()].insert(links.value(1).toInt());
            }
        }
        QSqlQuery documents = run(QStringLiteral("SELECT id, categories FROM documents"));
        while (documents.next()) {
            const int documentId = documents.value(0).toInt();
            QStringList ids;
            const QStringList names
                = documents.value(1).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &name : names) {
                QVector<int> candidates = idsByName.value(name);
                if (candidates.isEmpty()) {
                    continue;
                }
                std::sort(candidates.begin(), candidates.end());
                int chosen = candidates.first();
                for (const int candidate : qAsConst(candidates)) {
                    if (linked.value(documentId).contains(candidate)) {
                        chosen = candidate;
                        break;
                    }
                }
                if (!ids.contains(QString::number(chosen))) {
                    ids << QString::number(chosen);
                }
            }
            run(QStringLiteral(" UPDATE documents  SET categories = ?  WHERE id = ? "),
                { ids.join(QLatin1Char(',')), documentId });
        }
        return true;
    });
}

} // namespace Nod::Infrastructure
