#include "documentservice.h"

#include <domain/annotation.h>
#include <infrastructure/database.h>
#include <infrastructure/transaction.h>

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <stdexcept>

namespace Nod::Application {

using Infrastructure::Transaction;

DocumentService::DocumentService(
    Domain::IDocumentRepository *documents, Domain::IAnnotationRepository *annotations)
    : m_documents(documents)
    , m_annotations(annotations)
{ }

DocumentService::~DocumentService() = default;

QString DocumentService::localUrlOf(const QFileInfo &file)
{
    return file.isRelative() ? file.filePath() : file.absoluteFilePath();
}

int DocumentService::newDocument(const QString &hash, const QString &filePath, const QString &title)
{
    qInfo() << "Nod::Application::DocumentService::newDocument" << filePath << hash;
    const QFileInfo file(filePath);
    if (hash.isEmpty() || !file.exists() || title.isEmpty()) {
        return -1;
    }

    Transaction transaction;
    const int id = m_documents->nextId();
    if (id < 1) {
        return -1;
    }
    Document document(id, title);
    document.setLocalUrl(localUrlOf(file));
    document.setHash(hash);
    document.setAddedAt(QDateTime::currentDateTime());
    m_documents->insert(document);

    const int noteId = m_annotations->nextId();
    if (noteId < 1) {
        return -1;
    }
    m_annotations->insert(Domain::Annotation(noteId, id, 0));
    transaction.commit();

    emit added(document);
    return id;
}

bool DocumentService::changeFile(int id, const QFileInfo &file, const QString &hash)
{
    qInfo() << "Nod::Application::DocumentService::changeFile" << id << file.filePath() << hash;
    if (id < 1 || !file.exists() || hash.isEmpty()) {
        return false;
    }
    Transaction transaction;
    Document doc = document(id);
    doc.setLocalUrl(localUrlOf(file));
    doc.setHash(hash);
    m_documents->update(doc);
    transaction.commit();
    emit fileChanged(doc);
    return true;
}

bool DocumentService::changeTitle(int id, const QString &title)
{
    qInfo() << "Nod::Application::DocumentService::changeTitle" << id << title;
    if (id < 1 || title.isEmpty()) {
        return false;
    }
    Document doc = document(id);
    if (doc.title() == title) {
        return true;
    }
    Transaction transaction;
    doc.setTitle(title);
    m_documents->update(doc);
    transaction.commit();
    emit titleChanged(doc);
    return true;
}

bool DocumentService::changeOverview(int id, const QString &overview)
{
    qInfo() << "Nod::Application::DocumentService::changeOverview" << id << overview;
    if (id <= 0) {
        return false;
    }
    Document doc = document(id);
    if (doc.overview() == overview) {
        return true;
    }
    Transaction transaction;
    doc.setOverview(overview);
    m_documents->update(doc);
    transaction.commit();
    emit overviewChanged(doc);
    return true;
}

bool DocumentService::changeLastRead(int id, const Domain::LastRead &lastRead)
{
    qInfo() << "Nod::Application::DocumentService::changeLastRead" << id;
    if (id <= 0) {
        return false;
    }
    Transaction transaction;
    Document doc = document(id);
    if (doc.lastRead() == lastRead) {
        return true;
    }
    doc.setLastRead(lastRead);
    doc.setLastReadedAt(QDateTime::currentDateTime());
    m_documents->update(doc);
    transaction.commit();
    emit lastReadChanged(doc);
    return true;
}

bool DocumentService::remove(int id)
{
    qInfo() << "Nod::Application::DocumentService::remove" << id;
    if (id <= 0) {
        return false;
    }
    const std::optional<Document> found = find(id);
    if (!found) {
        return true;
    }
    const Document doc = *found;
    emit aboutToBeRemoved(doc);

    Transaction transaction;
    QSqlQuery query;
    query.prepare(QStringLiteral(" SELECT id FROM Annotation WHERE documentId = :docId AND parentId = 0"));
    query.bindValue(QStringLiteral(":docId"), id);
    Infrastructure::execQuery(query);
    QVector<int> noteIds;
    while (query.next()) {
        noteIds.append(query.value(0).toInt());
    }
    if (noteIds.size() > 1) {
        throw std::runtime_error(
            std::to_string(noteIds.size()) + "document notes founded, documentId:" + std::to_string(id));
    }
    if (noteIds.size() == 1) {
        m_annotations->remove(noteIds.first());
    }
    m_documents->remove(doc);
    transaction.commit();

    // A relative path names a file inside the storage folder, which the library owns.
    if (!doc.localUrl().isEmpty() && QFileInfo(doc.localUrl()).isRelative()
        && !QFile::remove(doc.localUrl())) {
        qWarning() << "Nod::Application::DocumentService::removeFiles"
                   << "remove file failed, local path:" << doc.localUrl();
    }

    emit removed(doc);
    return true;
}

Document DocumentService::document(int id) const
{
    const std::optional<Document> found = m_documents->find(id);
    if (!found) {
        throw std::runtime_error("item not exist");
    }
    return *found;
}

std::optional<Document> DocumentService::find(int id) const { return m_documents->find(id); }

QVector<Document> DocumentService::documents() const { return m_documents->findAll(); }

QVector<Document> DocumentService::documentsWithPath(const QString &localUrl) const
{
    return m_documents->findByLocalUrl(localUrl);
}

QVector<Document> DocumentService::documentsWithHash(const QString &hash) const
{
    return m_documents->findByHash(hash);
}

} // namespace Nod::Application
