#include "commands.h"
#include "filehashes.h"
#include "legacyformats.h"
#include "sqlhelpers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QMap>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace Nod::Infrastructure {

namespace {

struct DocumentRow
{
    int id = 0;
    QString path;
    int annotationCount = 0;
};

void storeHash(int id, const QString &hash, const QDateTime &addedAt)
{
    run(QStringLiteral(" UPDATE documents  SET hash = ?, addedAt = ?  WHERE id = ? "), { hash, addedAt, id });
}

} // namespace

bool M20170111_2100_createDocuments::up()
{
    const bool created = step(qualified("createTable"), [] {
        run(QStringLiteral("CREATE TABLE documents (id INTEGER PRIMARY KEY AUTOINCREMENT,title TEXT NOT "
                           "NULL,localUrl TEXT NOT NULL UNIQUE,lastReadedPage INTEGER DEFAULT 0,lastReadedAt "
                           "DATETIME )"));
        run(QStringLiteral("INSERT INTO SQLITE_SEQUENCE(name, seq) VALUES('documents', 0)"));
        return true;
    });
    if (!created) {
        return false;
    }
    if (hasTable(QStringLiteral("documents_v3"))) {
        return step(qualified("loadDataFromV3"), [] {
            run(QStringLiteral("insert into documents (id, title, localUrl, lastReadedPage, lastReadedAt)  "
                               "select  id, title, localUrl, currentPage, lastUsedAt  from documents_v3 "));
            return true;
        });
    }
    if (hasTable(QStringLiteral("documents_v2")) || hasTable(QStringLiteral("documents_v1"))) {
        qWarning() << "document v1/v2 can't migrate. you should download version 1.3.3.3 first";
        return false;
    }
    return true;
}

bool M20170111_2142_createAnnotations::up()
{
    const bool created = step(qualified("createTable"), [] {
        run(QStringLiteral(
            "CREATE TABLE annotations(id INTEGER PRIMARY KEY AUTOINCREMENT, documentId INTEGER NOT NULL, "
            "pageIndex INTEGER NOT NULL, type INTEGER NOT NULL, position BLOB NOT NULL, shape BLOB NOT NULL, "
            "pen BLOB NOT NULL, brush BLOB NOT NULL, noteText TEXT, createdAt DATETIME, FOREIGN KEY ( "
            "documentId ) REFERENCES documents ( id ) on delete cascade)"));
        run(QStringLiteral("CREATE INDEX anno_doc_page_idx ON annotations(documentId ,pageIndex)"));
        run(QStringLiteral("INSERT INTO SQLITE_SEQUENCE(name, seq) VALUES('annotations', 0)"));
        return true;
    });
    if (!created) {
        return false;
    }
    if (hasTable(QStringLiteral("annotations_v5"))) {
        return step(qualified("loadDataFromV5"), [] {
            QSqlQuery rows
                = run(QStringLiteral("SELECT id, documentId, pageIndex, type,  shape, style, noteText, "
                                     "createdAt from annotations_v5 "));
            while (rows.next()) {
                const int oldType = rows.value(3).toInt();
                const QVariant oldShape = Legacy::readVariant(rows.value(4).toByteArray());
                const QVariant style = Legacy::readVariant(rows.value(5).toByteArray());
                const int type = Legacy::convertedType(oldType);
                if (!Legacy::isConvertibleShape(oldType) || type == 0) {
                    qWarning().nospace()
                        << "Unsupported Type (" << oldType
                        << ") when convert shape inM20170111_2142_createAnnotations::loadDataFromV5";
                }
                const QVariant shape = Legacy::convertShape(oldType, oldShape);
                QSqlQuery insert;
                insert.prepare(QStringLiteral(
                    "INSERT INTO annotations(id, documentId, pageIndex, type, position, shape, pen, brush, "
                    "noteText, createdAt)VALUES(:id, :documentId, :pageIndex, :type, :position, :shape, "
                    ":pen, "
                    ":brush, :noteText, :createdAt)"));
                insert.bindValue(QStringLiteral(":id"), rows.value(0));
                insert.bindValue(QStringLiteral(":documentId"), rows.value(1));
                insert.bindValue(QStringLiteral(":pageIndex"), rows.value(2));
                insert.bindValue(QStringLiteral(":type"), type);
                insert.bindValue(
                    QStringLiteral(":position"), Legacy::writeVariant(QVariant(Legacy::positionOf(shape))));
                insert.bindValue(QStringLiteral(":shape"), Legacy::writeVariant(shape));
                insert.bindValue(
                    QStringLiteral(":pen"), Legacy::writeVariant(QVariant(Legacy::penOf(style))));
                insert.bindValue(
                    QStringLiteral(":brush"), Legacy::writeVariant(QVariant(Legacy::brushOf(style))));
                insert.bindValue(QStringLiteral(":noteText"), rows.value(6));
                insert.bindValue(QStringLiteral(":createdAt"), rows.value(7));
                execQuery(insert);
            }
            return true;
        });
    }
    if (hasTable(QStringLiteral("annotations_v1")) || hasTable(QStringLiteral("annotations_v3"))
        || hasTable(QStringLiteral("annotations_v4"))) {
        qWarning() << "annotations v1/v3/v4 can't migrate. you should download version 1.3.3.3 first";
        return false;
    }
    return true;
}

// In the markers_v1 generation an annotation with marks was a frame (old rectangle) around them. It
// becomes a canvas: a region without outline (type 2) whose rectangle covers the frame and every
// mark. An annotation whose own mark is not a rectangle keeps that mark as an extra marker first,
// so nothing drawn is lost.
bool M20170226_0347_createMarkers::up()
{
    const bool created = step(qualified("createTable"), [] {
        run(QStringLiteral(
            "CREATE TABLE markers(id INTEGER PRIMARY KEY AUTOINCREMENT, annotationId INTEGER NOT "
            "NULL, type INTEGER NOT NULL, shape BLOB NOT NULL, pen BLOB NOT NULL, brush BLOB NOT "
            "NULL, FOREIGN KEY ( annotationId ) REFERENCES annotations ( id ) on delete cascade)"));
        run(QStringLiteral("INSERT INTO SQLITE_SEQUENCE(name, seq) VALUES('markers', 0)"));
        return true;
    });
    if (!created || !hasTable(QStringLiteral("markers_v1"))) {
        return created;
    }
    return step(qualified("loadDataFromV1"), [this] {
        QMap<int, QRectF> boundsByAnnotation;
        QSqlQuery rows
            = run(QStringLiteral(" SELECT id, annotationId, type,  shape, style  from markers_v1 "));
        const bool markersConverted = step(qualified("changeMarkerToCanvas"), [&] {
            while (rows.next()) {
                const int oldType = rows.value(2).toInt();
                const QVariant shape
                    = Legacy::convertShape(oldType, Legacy::readVariant(rows.value(3).toByteArray()));
                const QVariant style = Legacy::readVariant(rows.value(4).toByteArray());
                const int annotationId = rows.value(1).toInt();
                run(QStringLiteral(
                        " INSERT INTO markers  (id, annotationId, type, shape, pen, brush)  VALUES  "
                        "(?, ?, ?, ?, ?, ?) "),
                    { rows.value(0), annotationId, Legacy::convertedType(oldType),
                        Legacy::writeVariant(shape), Legacy::writeVariant(QVariant(Legacy::penOf(style))),
                        Legacy::writeVariant(QVariant(Legacy::brushOf(style))) });
                boundsByAnnotation[annotationId]
                    = boundsByAnnotation.value(annotationId).united(Legacy::boundsOf(shape));
            }
            return true;
        });
        if (!markersConverted) {
            return false;
        }
        return step(qualified("changeAnnotationToCanvas"), [&] {
            for (auto it = boundsByAnnotation.cbegin(); it != boundsByAnnotation.cend(); ++it) {
                QSqlQuery annotation
                    = run(QStringLiteral(" SELECT type, position, shape  FROM annotations  WHERE id = ?"),
                        { it.key() });
                if (!annotation.next()) {
                    continue; // marks of an annotation that no longer exists stay orphaned, as before
                }
                const QVariant shape = Legacy::readVariant(annotation.value(2).toByteArray());
                if (shape.type() != QVariant::RectF) {
                    run(QStringLiteral(
                            "INSERT INTO markers (annotationId, type, shape, pen, brush) SELECT id, "
                            "type, shape, pen, brush FROM annotations WHERE id = ?"),
                        { it.key() });
                }
                const QRectF canvas = Legacy::boundsOf(shape).united(it.value());
                run(QStringLiteral(" UPDATE annotations  SET type=?, shape=?  WHERE id=? "),
                    { 2, Legacy::writeVariant(QVariant(canvas)), it.key() });
            }
            return true;
        });
    });
}

bool M20170714_1500_ModifyDocuments::up()
{
    const bool modified = step(qualified("modifyTable"), [this] {
        if (!addColumn(QStringLiteral("documents"), QStringLiteral("hash"), QStringLiteral("char(40)"))
            || !addColumn(QStringLiteral("documents"), QStringLiteral("addedAt"), QStringLiteral("DATETIME"))
            || !addColumn(QStringLiteral("documents"), QStringLiteral("hided"),
                QStringLiteral("BOOLEAN default false"))) {
            return false;
        }
        run(QStringLiteral(" create unique index documents_hash on documents(hash) "));
        return true;
    });
    if (!modified) {
        return false;
    }
    return step(qualified("updateData"), [this] {
        QVector<DocumentRow> documents;
        QVector<DocumentFile> files;
        QSqlQuery rows = run(QStringLiteral("SELECT id, localUrl FROM documents"));
        while (rows.next()) {
            DocumentRow row { rows.value(0).toInt(), rows.value(1).toString(), 0 };
            QSqlQuery count
                = run(QStringLiteral("SELECT count(*) FROM annotations where documentId = ?"), { row.id });
            row.annotationCount = count.next() ? count.value(0).toInt() : 0;
            documents << row;
            files << DocumentFile { row.id, row.path };
        }
        const QHash<int, QString> hashes = hashFilesInParallel(files);

        QMap<QString, QVector<DocumentRow>> groups;
        for (const DocumentRow &row : qAsConst(documents)) {
            const QString hash = hashes.value(row.id);
            if (!hash.isEmpty()) {
                groups[hash] << row;
            }
        }
        const QDateTime now = QDateTime::currentDateTime();
        return step(qualified("updateHash"), [&] {
            for (auto it = groups.begin(); it != groups.end(); ++it) {
                QVector<DocumentRow> &group = it.value();
                std::sort(group.begin(), group.end(), [](const DocumentRow &a, const DocumentRow &b) {
                    return a.annotationCount != b.annotationCount ? a.annotationCount < b.annotationCount
                                                                  : a.id < b.id;
                });
                const DocumentRow &survivor = group.last();
                for (int i = 0; i + 1 < group.size(); ++i) {
                    const DocumentRow &row = group.at(i);
                    run(QStringLiteral(" UPDATE annotations  SET documentId = ?  WHERE documentId = ? "),
                        { survivor.id, row.id });
                    qInfo() << "Success merge annotations from (id:" << row.id
                            << ", annotation counts:" << row.annotationCount << ", file path:" << row.path
                            << ") to (id:" << survivor.id
                            << ", annotations count:" << survivor.annotationCount;
                    run(QStringLiteral(" DELETE FROM documents WHERE id = ? "), { row.id });
                    qInfo() << "Success delete document. id:" << row.id << ", file path:" << row.path
                            << ", annotation count:" << row.annotationCount;
                }
                storeHash(survivor.id, it.key(), now);
            }
            return true;
        });
    });
}

bool M20170725_1000_ModifyDocuments::up()
{
    const bool altered = step(qualified("alterDocuments"), [] {
        run(QStringLiteral("ALTER TABLE documents RENAME TO temp_table"));
        run(QStringLiteral(
            "CREATE TABLE documents (id INTEGER PRIMARY KEY AUTOINCREMENT,title TEXT NOT "
            "NULL,localUrl TEXT NOT NULL, lastReadedPage INTEGER DEFAULT 0,lastReadedAt "
            "DATETIME,hash char(40),addedAt DATETIME,hided BOOLEAN default false,overview TEXT )"));
        run(QStringLiteral(
            " INSERT INTO documents  (id, title, localUrl, lastReadedPage,  lastReadedAt, hash, "
            "addedAt, hided)   SELECT id, title, localUrl, lastReadedPage, lastReadedAt, hash, "
            "addedAt, hided  FROM temp_table"));
        run(QStringLiteral("DROP TABLE temp_table;"));
        run(QStringLiteral(" create unique index documents_hash on documents(hash) "));
        return true;
    });
    if (!altered) {
        return false;
    }
    return step(qualified("addColumnCount"), [this] {
        if (!addColumn(
                QStringLiteral("documents"), QStringLiteral("count"), QStringLiteral("INTEGER DEFAULT 0"))) {
            return false;
        }
        QSqlQuery counts = run(QStringLiteral("SELECT documentId, count(*) from annotations group by 1"));
        while (counts.next()) {
            run(QStringLiteral("UPDATE documents SET count = ? WHERE id = ?"),
                { counts.value(1), counts.value(0) });
        }
        return true;
    });
}

bool M20180114::up()
{
    return step(qualified("doUp"), [this] {
        const QString documents = QStringLiteral("documents");
        if (!addColumn(documents, QStringLiteral("hash"), QStringLiteral("char(40)"))
            || !addColumn(documents, QStringLiteral("addedAt"), QStringLiteral("DATETIME"))
            || !addColumn(documents, QStringLiteral("hided"), QStringLiteral("BOOLEAN default false"))
            || !addColumn(documents, QStringLiteral("count"), QStringLiteral("INTEGER DEFAULT 0"))) {
            return false;
        }
        QSqlQuery counts = run(QStringLiteral("SELECT documentId, count(*) from annotations group by 1"));
        while (counts.next()) {
            run(QStringLiteral("UPDATE documents SET count = ? WHERE id = ?"),
                { counts.value(1), counts.value(0) });
        }
        return true;
    });
}

bool M201709231700_CreateCategories::up()
{
    return step(qualified("doUp"), [] {
        run(QStringLiteral(
            " CREATE TABLE Category(id INTEGER PRIMARY KEY AUTOINCREMENT, parentId INTEGER NOT "
            "NULL, name TEXT NOT NULL, count INTEGER NOT NULL)"));
        QSqlQuery count = run(QStringLiteral(" select count(*) from documents "));
        const int documents = count.next() ? count.value(0).toInt() : 0;
        run(QStringLiteral(" INSERT INTO Category(id, parentId, name, count)  VALUES  (1, 0, ?, ?)"),
            { QCoreApplication::translate(
                  "Nod::Infrastructure::M201709231700_CreateCategories", "Categories"),
                documents });
        run(QStringLiteral(
            " CREATE TABLE DocumentTags(id INTEGER PRIMARY KEY AUTOINCREMENT, documentId INTEGER NOT "
            "NULL, tagId INTEGER NOT NULL, FOREIGN KEY ( documentId ) REFERENCES documents ( id ) "
            "on delete cascade, FOREIGN KEY ( tagId ) REFERENCES Category ( id ) on delete "
            "cascade, UNIQUE ( documentId, tagId ))"));
        run(QStringLiteral("INSERT INTO SQLITE_SEQUENCE(name, seq) VALUES('DocumentTags', 0)"));
        return true;
    });
}

bool M20171105::up()
{
    return step(qualified("doUp"), [this] {
        const QString documents = QStringLiteral("documents");
        return addColumn(documents, QStringLiteral("font"), QStringLiteral("BLOB"))
            && addColumn(documents, QStringLiteral("siderBarMinimized"), QStringLiteral("BOOLEAN"))
            && addColumn(documents, QStringLiteral("siderBarState"), QStringLiteral("BLOB"));
    });
}

bool M20171217_1800_ModifyDocuments::up()
{
    const bool altered = step(qualified("alterDocuments"), [] {
        run(QStringLiteral(" drop index if exists documents_hash "));
        run(QStringLiteral(" create index if not exists documents_localUrl on documents(localUrl) "));
        return true;
    });
    return altered && step(qualified("modifyHash"), [this] {
        return step(qualified("updateHash"), [] {
            updateAllDocumentHashes();
            return true;
        });
    });
}

} // namespace Nod::Infrastructure
