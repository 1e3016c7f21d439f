#include "commands.h"
#include "filehashes.h"
#include "sqlhelpers.h"

#include <QHash>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

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
    return step(qualified("alterDocumentCategories"), [] {
        QHash<QString, int> idByName;
        QSqlQuery categories = run(QStringLiteral("SELECT id, name FROM category"));
        while (categories.next()) {
            idByName.insert(categories.value(1).toString(), categories.value(0).toInt());
        }
        QSqlQuery documents = run(QStringLiteral("SELECT id, categories FROM documents"));
        while (documents.next()) {
            QStringList ids;
            const QStringList names
                = documents.value(1).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &name : names) {
                const auto it = idByName.constFind(name);
                if (it != idByName.cend()) {
                    ids << QString::number(it.value());
                }
            }
            run(QStringLiteral(" UPDATE documents  SET categories = ?  WHERE id = ? "),
                { ids.join(QLatin1Char(',')), documents.value(0) });
        }
        return true;
    });
}

} // namespace Nod::Infrastructure
