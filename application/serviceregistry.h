#pragma once

#include <QObject>

#include <memory>

namespace Nod::Domain {
class IAnnotationRepository;
class IDocumentRepository;
class IResourceRepository;
class ITagRepository;
} // namespace Nod::Domain

namespace Nod::Application {

class DocumentService;
class NoteService;
class ResourceService;
class TagService;

// Builds the repositories and the services once, after the database is open, migrated and checked,
// and makes them reachable process-wide. Services that build one unit out of others (a document's
// removal takes its notes and memberships, a note's removal its images) are handed those services.
class ServiceRegistry final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServiceRegistry)

public:
    explicit ServiceRegistry(QObject *parent = nullptr);
    ~ServiceRegistry() override;

    // The process-wide registry; null until set. Cleared when that registry is destroyed.
    static ServiceRegistry *instance();
    static void setInstance(ServiceRegistry *registry);

    TagService *categoryService() const { return m_categoryService.get(); }
    DocumentService *documentService() const { return m_documentService.get(); }
    NoteService *noteService() const { return m_noteService.get(); }
    TagService *tagService() const { return m_tagService.get(); }
    ResourceService *resourceService() const { return m_resourceService.get(); }

private:
    // Declared in construction order, a service after those it is handed; destroyed in reverse.
    std::shared_ptr<Domain::ITagRepository> m_categoryRepository;
    std::shared_ptr<Domain::IDocumentRepository> m_documentRepository;
    std::shared_ptr<Domain::IAnnotationRepository> m_annotationRepository;
    std::shared_ptr<Domain::ITagRepository> m_tagRepository;
    std::shared_ptr<Domain::IResourceRepository> m_resourceRepository;
    std::unique_ptr<TagService> m_categoryService;
    std::unique_ptr<ResourceService> m_resourceService;
    std::unique_ptr<NoteService> m_noteService;
    std::unique_ptr<DocumentService> m_documentService;
    std::unique_ptr<TagService> m_tagService;
};

} // namespace Nod::Application
