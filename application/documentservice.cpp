#include "documentservice.h"

#include "noteservice.h"
#include "tagservice.h"

#include <domain/annotation.h>
#include <infrastructure/transaction.h>

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace Nod::Application {

using Infrastructure::Transaction;

DocumentService::DocumentService(std::shared_ptr<Domain::IDocumentRepository> documents,
    std::shared_ptr<Domain::IAnnotationRepository> annotations, NoteService *notes, TagService *categories)
    : m_documents(std::move(documents))
    , m_annotations(std::move(annotations))
    , m_notes(notes)
    , m_categories(categories)
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

    Transaction::afterCommit([this, document] { emit added(document); });
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
    Transaction::afterCommit([this, doc] { emit fileChanged(doc); });
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
    Transaction::afterCommit([this, doc] { emit titleChanged(doc); });
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
    Transaction::afterCommit([this, doc] { emit overviewChanged(doc); });
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
    Transaction::afterCommit([this, doc] { emit lastReadChanged(doc); });
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

    // One unit: the annotation tree with its images, the category memberships and the document row
    // go together or not at all. The services called here announce their parts after the commit.
    Transaction transaction;
    m_notes->removeDocumentTree(id);
    const QVector<Domain::Tag> categories = m_categories->tagsOfDocument(id);
    for (const Domain::Tag &category : categories) {
        m_categories->removeItem(category.id(), id);
    }
    m_documents->remove(doc);
    transaction.commit();

    Transaction::afterCommit([this, doc] {
        // A relative path names a file inside the storage folder, which the library owns.
        if (!doc.localUrl().isEmpty() && QFileInfo(doc.localUrl()).isRelative()
            && !QFile::remove(doc.localUrl())) {
            qWarning() << "Nod::Application::DocumentService::removeFiles"
                       << "remove file failed, local path:" << doc.localUrl();
        }
        emit removed(doc);
    });
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
