#pragma once

#include <domain/document.h>
#include <domain/iannotationrepository.h>
#include <domain/idocumentrepository.h>
#include <domain/lastread.h>

#include <QObject>
#include <QVector>

#include <memory>
#include <optional>

class QFileInfo;

namespace Nod::Application {

class NoteService;
class TagService;

using Domain::Document;

// The only writer of documents: adds a document with its document note, changes its file, title,
// overview and reading state, and removes it with its annotations, their images and its category
// memberships (and its file, when the file lives inside the storage folder). Each change runs in one
// transaction and is announced once the outermost transaction has committed.
class DocumentService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentService)

public:
    // The note and category services are not owned and must outlive this one.
    DocumentService(std::shared_ptr<Domain::IDocumentRepository> documents,
        std::shared_ptr<Domain::IAnnotationRepository> annotations, NoteService *notes,
        TagService *categories);
    ~DocumentService() override;

    int newDocument(const QString &hash, const QString &filePath, const QString &title);
    bool changeFile(int id, const QFileInfo &file, const QString &hash);
    bool changeTitle(int id, const QString &title);
    bool changeOverview(int id, const QString &overview);
    bool changeLastRead(int id, const Domain::LastRead &lastRead);
    bool remove(int id);

    // Throws std::runtime_error "item not exist".
    Document document(int id) const;
    std::optional<Document> find(int id) const;
    QVector<Document> documents() const;
    QVector<Document> documentsWithPath(const QString &localUrl) const;
    QVector<Document> documentsWithHash(const QString &hash) const;

    // The stored form of a file's path: a relative path unchanged, any other absolute.
    static QString localUrlOf(const QFileInfo &file);

signals:
    void added(Document doc);
    void aboutToBeRemoved(Document doc);
    void removed(Document doc);
    void titleChanged(Document doc);
    void fileChanged(Document doc);
    void overviewChanged(Document doc);
    void lastReadChanged(Document doc);

private:
    std::shared_ptr<Domain::IDocumentRepository> m_documents;
    std::shared_ptr<Domain::IAnnotationRepository> m_annotations;
    NoteService *m_notes; // not owned
    TagService *m_categories; // not owned
};

} // namespace Nod::Application
