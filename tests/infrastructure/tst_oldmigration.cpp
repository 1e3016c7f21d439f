#include "testsupport.h"

#include <application/noteservice.h>
#include <application/resourceservice.h>

#include <infrastructure/database.h>
#include <infrastructure/migrations/command.h>
#include <infrastructure/migrations/commands.h>
#include <infrastructure/migrations/filehashes.h>
#include <infrastructure/migrations/migrator.h>
#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/resourcerepository.h>
#include <infrastructure/repositories/tablecheck.h>
#include <infrastructure/repositories/tagrepository.h>

#include <domain/boundedreader.h>
#include <domain/metatypes.h>

#include <QColor>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace Nod::Infrastructure;
using Nod::Domain::Annotation;
using Nod::Domain::Marker;
using Nod::Domain::TextRects;
using TestSupport::exec;
using TestSupport::scalar;

namespace {

// The oldest stored form: one QVariant in a data stream.
QByteArray variantBytes(const QVariant &value)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(Nod::Domain::storedStreamVersion);
    stream << value;
    return bytes;
}

QByteArray style(const QColor &color, double width, const QColor &fill = QColor())
{
    QVariantMap map;
    map.insert(QStringLiteral("color"), color);
    map.insert(QStringLiteral("width"), width);
    if (fill.isValid()) {
        map.insert(QStringLiteral("fill"), fill);
    }
    return variantBytes(map);
}

QVariant boxes(const QVector<QRectF> &rects)
{
    QVariantList list;
    for (const QRectF &rect : rects) {
        list << rect;
    }
    return list;
}

QString md5(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

void insertV5(int id, int documentId, int page, int type, const QVariant &shape, const QByteArray &styleBytes,
    const QString &note)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("INSERT INTO annotations_v5 (id, documentId, pageIndex, type, shape, style, "
                                 "noteText, createdAt) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &value :
        { QVariant(id), QVariant(documentId), QVariant(page), QVariant(type), QVariant(variantBytes(shape)),
            QVariant(styleBytes), QVariant(note), QVariant(QDateTime(QDate(2016, 5, 1), QTime(10, 0))) }) {
        query.addBindValue(value);
    }
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
}

void insertMarkerV1(int id, int annotationId, int type, const QVariant &shape, const QByteArray &styleBytes)
{
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "INSERT INTO markers_v1 (id, annotationId, type, shape, style) VALUES (?, ?, ?, ?, ?)"));
    for (const QVariant &value : { QVariant(id), QVariant(annotationId), QVariant(type),
             QVariant(variantBytes(shape)), QVariant(styleBytes) }) {
        query.addBindValue(value);
    }
    QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
}

int versionCount() { return scalar(QStringLiteral("SELECT count(*) FROM schema_versions")).toInt(); }

// The first column of every index of the table.
QStringList leadingIndexColumns(const QString &table)
{
    QStringList columns;
    QSqlQuery list(QStringLiteral("PRAGMA index_list(%1)").arg(table));
    while (list.next()) {
        QSqlQuery info(QStringLiteral("PRAGMA index_info(%1)").arg(list.value(1).toString()));
        if (info.next()) {
            columns << info.value(2).toString();
        }
    }
    return columns;
}

} // namespace

class OldMigrationTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        Nod::Domain::registerMetaTypes();
    }
    void init();
    void cleanup()
    {
        Database::close();
        m_dir.reset();
    }

    void olderHistory_mergesDuplicatesAndUnifiesIds();
    void newerPath_keepsEveryDocumentAndConvertsMarks();
    void oldestGenerations_areRefused_data();
    void oldestGenerations_areRefused();
    void parallelHashing_matchesEachFile();

private:
    QString file(const QString &name) const { return QDir(m_dir->path()).filePath(name); }
    void writeFile(const QString &name, const QByteArray &bytes);
    void buildOldGeneration();
    void checkTreeInvariants(int oldMaxId);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void OldMigrationTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Database database;
    QVERIFY(database.open(file(QStringLiteral("database"))));
}

void OldMigrationTest::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile out(file(name));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
}

// Four documents (two with the same content, one whose file is gone) and their marks, as the
// oldest program stored them.
void OldMigrationTest::buildOldGeneration()
{
    writeFile(QStringLiteral("a.pdf"), "%PDF alpha content");
    writeFile(QStringLiteral("b.pdf"), "%PDF beta content");
    writeFile(QStringLiteral("a-copy.pdf"), "%PDF alpha content");

    exec(QStringLiteral("CREATE TABLE documents_v3 (id INTEGER PRIMARY KEY, title TEXT, localUrl TEXT, "
                        "currentPage INTEGER, lastUsedAt DATETIME)"));
    exec(QStringLiteral("CREATE TABLE annotations_v5 (id INTEGER PRIMARY KEY, documentId INTEGER, pageIndex "
                        "INTEGER, type INTEGER, shape BLOB, style BLOB, noteText TEXT, createdAt DATETIME)"));
    exec(
        QStringLiteral("CREATE TABLE markers_v1 (id INTEGER PRIMARY KEY, annotationId INTEGER, type INTEGER, "
                       "shape BLOB, style BLOB)"));
    const QList<QPair<int, QString>> documents { { 3, QStringLiteral("a.pdf") },
        { 7, QStringLiteral("b.pdf") }, { 9, QStringLiteral("a-copy.pdf") },
        { 12, QStringLiteral("missing.pdf") } };
    for (const auto &document : documents) {
        QSqlQuery query;
        query.prepare(QStringLiteral("INSERT INTO documents_v3 VALUES (?, ?, ?, ?, ?)"));
        query.addBindValue(document.first);
        query.addBindValue(QStringLiteral("Title %1").arg(document.first));
        query.addBindValue(file(document.second));
        query.addBindValue(document.first + 1);
        query.addBindValue(QDateTime(QDate(2016, 6, 1), QTime(9, 0)));
        QVERIFY(query.exec());
    }
    insertV5(
        20, 3, 1, 4, QRectF(10, 20, 30, 40), style(Qt::red, 2), QStringLiteral("first line\nsecond line"));
    insertV5(21, 3, 2, 2, boxes({ QRectF(1, 1, 5, 2), QRectF(1, 4, 5, 2), QRectF() }),
        style(Qt::black, 0, Qt::yellow), QStringLiteral("highlight"));
    insertV5(22, 9, 0, 3, boxes({ QRectF(2, 2, 8, 1) }), style(Qt::blue, 1), QStringLiteral("under"));
    insertV5(23, 9, 3, 1, QRectF(5, 5, 50, 20), style(Qt::black, 0, Qt::green), QString());
    insertV5(24, 9, 4, 5, QLineF(0, 100, 400, 100), style(Qt::gray, 3), QStringLiteral("line"));
    insertV5(25, 12, 0, 4, QRectF(50, 50, 10, 10), style(Qt::black, 1), QStringLiteral("framed"));
    insertV5(30, 7, 8, 99, QRectF(1, 2, 3, 4), style(Qt::black, 1), QStringLiteral("unknown kind"));
    // A damaged shape: a list that claims two billion boxes. The row still arrives, without a mark.
    QByteArray damaged;
    {
        QDataStream stream(&damaged, QIODevice::WriteOnly);
        stream.setVersion(Nod::Domain::storedStreamVersion);
        stream << quint32(QMetaType::QVariantList) << qint8(0) << quint32(0x7fffffff);
    }
    {
        QSqlQuery query;
        query.prepare(
            QStringLiteral("INSERT INTO annotations_v5 VALUES (31, 7, 9, 2, ?, ?, 'damaged', NULL)"));
        query.addBindValue(damaged);
        query.addBindValue(style(Qt::black, 1));
        QVERIFY(query.exec());
    }
    insertMarkerV1(1, 25, 2, boxes({ QRectF(100, 100, 10, 2) }), style(Qt::black, 0, Qt::yellow));
    insertMarkerV1(2, 25, 4, QRectF(0, 0, 5, 5), style(Qt::black, 1));
}

// Invariants of a migrated database, whatever its history.
void OldMigrationTest::checkTreeInvariants(int oldMaxId)
{
    QSet<int> documentIds;
    QSqlQuery documents(QStringLiteral("SELECT id FROM documents"));
    while (documents.next()) {
        documentIds.insert(documents.value(0).toInt());
    }
    AnnotationRepository annotations;
    QSet<int> seen;
    for (const int documentId : qAsConst(documentIds)) {
        const auto root = annotations.findDocumentNote(documentId);
        QVERIFY2(root.has_value(), qPrintable(QStringLiteral("no root for %1").arg(documentId)));
        QVERIFY(root->id() > oldMaxId);
        QSet<int> below;
        QSqlQuery children;
        children.prepare(QStringLiteral("SELECT id FROM Annotation WHERE parentId = ?"));
        children.addBindValue(root->id());
        QVERIFY(children.exec());
        while (children.next()) {
            below.insert(children.value(0).toInt());
        }
        const QVector<int> listed = root->children();
        QCOMPARE(QSet<int>(listed.cbegin(), listed.cend()), below);
        QCOMPARE(listed.size(), below.size());
        // Every annotation of the document hangs below its root.
        QCOMPARE(descendants(QStringLiteral("Annotation"), root->id()).size(),
            scalar(QStringLiteral("SELECT count(*) FROM Annotation WHERE documentId = %1").arg(documentId))
                .toInt());
    }
    QSqlQuery all(QStringLiteral("SELECT id FROM Annotation UNION ALL SELECT id FROM Category"));
    while (all.next()) {
        const int id = all.value(0).toInt();
        QVERIFY2(id > oldMaxId, qPrintable(QString::number(id)));
        QVERIFY(!documentIds.contains(id));
        QVERIFY2(!seen.contains(id), "an id names two things");
        seen.insert(id);
    }
    QCOMPARE(scalar(QStringLiteral("SELECT id FROM IdSource")).toInt(), oldMaxId + seen.size());
    QCOMPARE(
        scalar(QStringLiteral("SELECT count(*) FROM Annotation WHERE noteText IS NOT NULL AND noteText NOT "
                              "LIKE '%<html>%'"))
            .toInt(),
        0);
    QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_key_check(Annotation)")).toString(), QString());
    QCOMPARE(scalar(QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QVERIFY(checkTable(QStringLiteral("Annotation"), Annotation::staticMetaObject));
}

void OldMigrationTest::olderHistory_mergesDuplicatesAndUnifiesIds()
{
    buildOldGeneration();
    // The database went through the first commands and the early document rebuild with an older
    // program, and collected categories in between.
    {
        Migrator first;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(first.commands().at(i)->execute());
        }
    }
    TestSupport::LogCapture log;
    M20170714_1500_ModifyDocuments early;
    QVERIFY(early.execute());
    QVERIFY(log.contains(QStringLiteral("Success merge annotations from (id:")));

    Migrator migrator;
    QCOMPARE(migrator.commandCount(), 14);
    int next = versionCount();
    QCOMPARE(next, 4);
    for (; migrator.commands().at(next - 1)->version() != QLatin1String("M201709231700_CreateCategories");
         ++next) {
        QVERIFY(migrator.commands().at(next)->execute());
    }
    exec(QStringLiteral(
        "INSERT INTO Category VALUES (2, 1, 'Science', 0), (3, 2, 'Physics', 0), (4, 1, 'Art', 0), "
        "(5, 3, 'Quantum', 0), (6, 99, 'Orphan', 0), (8, 4, 'Physics', 0)"));
    exec(QStringLiteral("INSERT INTO DocumentTags (documentId, tagId) VALUES (9, 3), (9, 4), (7, 5), (12, "
                        "2), (12, 6), (7, 8)"));
    QVERIFY(migrator.migrate());
    QCOMPARE(versionCount(), 14);

    // The copy with more annotations survived and holds all marks of the content.
    QStringList ids;
    QSqlQuery documents(QStringLiteral("SELECT id, hash FROM documents ORDER BY id"));
    while (documents.next()) {
        ids << documents.value(0).toString();
    }
    QCOMPARE(ids, (QStringList { QStringLiteral("7"), QStringLiteral("9"), QStringLiteral("12") }));
    QCOMPARE(scalar(QStringLiteral("SELECT hash FROM documents WHERE id = 9")).toString(),
        md5("%PDF alpha content"));
    QCOMPARE(scalar(QStringLiteral("SELECT hash FROM documents WHERE id = 12")).toString(), QString());
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Annotation WHERE documentId = 9 AND parentId != 0"))
                 .toInt(),
        5);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Annotation WHERE parentId != 0")).toInt(), 8);
    QCOMPARE(scalar(QStringLiteral("SELECT lastReadedPage FROM documents WHERE id = 9")).toInt(), 10);

    checkTreeInvariants(31);

    // Categories: renumbered above every old id, tree kept, documents carried by id.
    TagRepository categories(QStringLiteral("Category"));
    const auto top = categories.findChildren(0);
    QStringList topNames;
    for (const auto &tag : top) {
        topNames << tag.name();
    }
    topNames.sort();
    QCOMPARE(topNames,
        (QStringList { QStringLiteral("Art"), QStringLiteral("Orphan"), QStringLiteral("Science") }));
    const auto science = categories.findByName(QStringLiteral("Science")).value(0);
    const auto bothPhysics = categories.findByName(QStringLiteral("Physics"));
    QCOMPARE(bothPhysics.size(), 2);
    const auto physics = bothPhysics.at(0).parentId() == science.id() ? bothPhysics.at(0) : bothPhysics.at(1);
    const auto artPhysics
        = bothPhysics.at(0).parentId() == science.id() ? bothPhysics.at(1) : bothPhysics.at(0);
    const auto quantum = categories.findByName(QStringLiteral("Quantum")).value(0);
    const auto art = categories.findByName(QStringLiteral("Art")).value(0);
    QCOMPARE(physics.parentId(), science.id());
    QCOMPARE(quantum.parentId(), physics.id());
    QCOMPARE(science.items(), QSet<int> { 12 });
    QCOMPARE(physics.items(), QSet<int> { 9 });
    QCOMPARE(art.items(), QSet<int> { 9 });
    QCOMPARE(quantum.items(), QSet<int> { 7 });
    // The two categories of the same name each keep their own document.
    QCOMPARE(artPhysics.parentId(), art.id());
    QCOMPARE(artPhysics.items(), QSet<int> { 7 });
    QCOMPARE(categories.findByName(QStringLiteral("Orphan")).value(0).items(), QSet<int> { 12 });
    QCOMPARE(descendants(QStringLiteral("Category"), science.id()),
        (QSet<int> { science.id(), physics.id(), quantum.id() }));

    // The look-up indexes stand on the tables the migration left, the rebuilt Category included.
    QVERIFY(leadingIndexColumns(QStringLiteral("Category")).contains(QStringLiteral("parentId")));
    QVERIFY(leadingIndexColumns(QStringLiteral("Annotation")).contains(QStringLiteral("parentId")));
    QVERIFY(leadingIndexColumns(QStringLiteral("Annotation")).contains(QStringLiteral("documentId")));
    QVERIFY(leadingIndexColumns(QStringLiteral("documents")).contains(QStringLiteral("hash")));

    // The migration stores document notes without a page. They read as notes, and the first new
    // annotation, which rewrites its parent, does not put the note on page 0.
    Nod::Application::ResourceService images(std::make_shared<ResourceRepository>());
    Nod::Application::NoteService notes(std::make_shared<AnnotationRepository>(), &images);
    const Annotation root = notes.documentNote(9);
    QVERIFY(scalar(QStringLiteral("SELECT pageIndex IS NULL FROM Annotation WHERE id = %1").arg(root.id()))
                .toBool());
    QCOMPARE(root.pageIndex(), -1);
    Nod::Application::NewAnnotation request;
    request.id = notes.nextId();
    request.documentId = 9;
    request.pageIndex = 0;
    request.canvas = Marker(QRectF(0, 0, 5, 5));
    request.parentId = root.id();
    request.index = root.children().size();
    notes.newAnnotation(request);
    QCOMPARE(notes.documentNote(9).pageIndex(), -1);
    const QVector<Annotation> firstPage = notes.annotations(9, 0);
    QCOMPARE(firstPage.size(), 2);
    for (const Annotation &annotation : firstPage) {
        QVERIFY(annotation.parentId() != 0);
    }
}

void OldMigrationTest::newerPath_keepsEveryDocumentAndConvertsMarks()
{
    buildOldGeneration();
    TestSupport::LogCapture log;
    Migrator migrator;
    QCOMPARE(migrator.commandCount(), 13);
    QVERIFY(migrator.migrate());
    QCOMPARE(versionCount(), 13);
    QVERIFY(log.contains(QStringLiteral(
        "Unsupported Type (5) when convert shape inM20170111_2142_createAnnotations::loadDataFromV5")));
    QVERIFY(log.contains(QStringLiteral("Unsupported Type (99)")));

    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM documents")).toInt(), 4);
    QCOMPARE(scalar(QStringLiteral("SELECT hash FROM documents WHERE id = 3")).toString(),
        md5("%PDF alpha content"));
    QCOMPARE(scalar(QStringLiteral("SELECT hash FROM documents WHERE id = 7")).toString(),
        md5("%PDF beta content"));
    QCOMPARE(scalar(QStringLiteral("SELECT count FROM documents WHERE id = 9")).toInt(), 3);
    checkTreeInvariants(31);

    AnnotationRepository annotations;
    const Annotation rectangle = annotations.findByPage(3, 1).value(0);
    QCOMPARE(rectangle.position(), QPointF(10, 20));
    QCOMPARE(rectangle.canvas().shape().toRectF(), QRectF(10, 20, 30, 40));
    QCOMPARE(rectangle.canvas().outline(), Marker::AllEdges);
    QCOMPARE(rectangle.canvas().pen().color(), QColor(Qt::red));
    QCOMPARE(rectangle.canvas().pen().widthF(), 2.0);
    QVERIFY(rectangle.noteText().contains(QStringLiteral("line-height:150%")));
    QVERIFY(rectangle.noteText().contains(QStringLiteral(">first line</p>")));
    QVERIFY(rectangle.noteText().contains(QStringLiteral(">second line</p>")));
    QCOMPARE(rectangle.markerCount(), 0);

    const Annotation highlight = annotations.findByPage(3, 2).value(0);
    QVERIFY(highlight.canvas().shape().canConvert<TextRects>());
    QCOMPARE(highlight.canvas().shape().value<TextRects>(),
        (TextRects { QRectF(1, 1, 5, 2), QRectF(1, 4, 5, 2) }));
    QCOMPARE(highlight.canvas().outline(), Marker::NoLine);
    QCOMPARE(highlight.canvas().brush().color(), QColor(Qt::yellow));
    QCOMPARE(highlight.canvas().pen().style(), Qt::NoPen);

    const Annotation underline = annotations.findByPage(9, 0).value(0);
    QCOMPARE(underline.canvas().outline(), Marker::Underline);
    QCOMPARE(underline.canvas().shape().value<TextRects>(), (TextRects { QRectF(2, 2, 8, 1) }));

    const Annotation line = annotations.findByPage(9, 4).value(0);
    QCOMPARE(line.canvas().shape().toLineF(), QLineF(0, 100, 400, 100));
    QCOMPARE(line.position(), QPointF(0, 100));

    // The frame with two marks became a canvas around all of them and kept both marks.
    const Annotation framed = annotations.findByPage(12, 0).value(0);
    QCOMPARE(framed.canvas().shape().toRectF(), QRectF(0, 0, 110, 102));
    QCOMPARE(framed.canvas().outline(), Marker::NoLine);
    QCOMPARE(framed.markerCount(), 2);
    QCOMPARE(framed.marker(0).shape().value<TextRects>(), (TextRects { QRectF(100, 100, 10, 2) }));
    QCOMPARE(framed.marker(1).shape().toRectF(), QRectF(0, 0, 5, 5));
    QCOMPARE(framed.marker(1).outline(), Marker::AllEdges);

    // A mark of a kind nobody knows is still carried over with its note.
    const auto unknown = annotations.findByPage(7, 8);
    QCOMPARE(unknown.size(), 1);
    QVERIFY(unknown.at(0).noteText().contains(QStringLiteral("unknown kind")));
    const auto damaged = annotations.findByPage(7, 9);
    QCOMPARE(damaged.size(), 1);
    QVERIFY(damaged.at(0).noteText().contains(QStringLiteral("damaged")));

    // localUrl stays unique on this path.
    QSqlQuery duplicate;
    QVERIFY(
        !duplicate.exec(QStringLiteral("INSERT INTO documents (title, localUrl) SELECT title, localUrl FROM "
                                       "documents WHERE id = 3")));
}

void OldMigrationTest::oldestGenerations_areRefused_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("logged");
    QTest::newRow("documents_v2") << QStringLiteral("documents_v2")
                                  << QStringLiteral("document v1/v2 can't migrate");
    QTest::newRow("documents_v1") << QStringLiteral("documents_v1")
                                  << QStringLiteral("document v1/v2 can't migrate");
    QTest::newRow("annotations_v4") << QStringLiteral("annotations_v4")
                                    << QStringLiteral("annotations v1/v3/v4 can't migrate");
}

void OldMigrationTest::oldestGenerations_areRefused()
{
    QFETCH(QString, table);
    QFETCH(QString, logged);
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER)").arg(table));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1)").arg(table));
    TestSupport::LogCapture log;
    Migrator migrator;
    QVERIFY(!migrator.migrate());
    QVERIFY(log.contains(logged));
    QVERIFY(log.contains(QStringLiteral("1.3.3.3")));
    // The old data is untouched for a later attempt through the intermediate version.
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toInt(), 1);
    QVERIFY(versionCount() <= 1);
}

void OldMigrationTest::parallelHashing_matchesEachFile()
{
    QVector<DocumentFile> files;
    QHash<int, QString> expected;
    for (int i = 1; i <= 24; ++i) {
        const QByteArray content = QByteArray::number(i).repeated(1000 * i);
        writeFile(QStringLiteral("f%1").arg(i), content);
        files << DocumentFile { i, file(QStringLiteral("f%1").arg(i)) };
        expected.insert(i, md5(content));
    }
    files << DocumentFile { 100, file(QStringLiteral("absent")) };
    expected.insert(100, QString());
    QCOMPARE(hashFilesInParallel(files), expected);
}

QTEST_MAIN(OldMigrationTest)
#include "tst_oldmigration.moc"
