#pragma once

#include <QObject>

#include <memory>

namespace Nod::Infrastructure {
class AnnotationRepository;
class DocumentRepository;
class TagRepository;
} // namespace Nod::Infrastructure

namespace Nod::Domain {
class Annotation;
}

namespace Nod::Application {

class DocumentService;
class NoteService;
class ResourceService;
class TagService;

// Builds the repositories and the services once, after the database is open, migrated and checked,
// and makes them reachable process-wide. It also wires the one rule that crosses services: an
// annotation's note images go before the annotation does.
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
    void removeResourcesOf(const Domain::Annotation &annotation);

    // Declared in construction order; destroyed in reverse.
    std::shared_ptr<Infrastructure::TagRepository> m_categoryRepository;
    std::unique_ptr<Infrastructure::DocumentRepository> m_documentRepository;
    std::shared_ptr<Infrastructure::AnnotationRepository> m_annotationRepository;
    std::shared_ptr<Infrastructure::TagRepository> m_tagRepository;
    std::unique_ptr<TagService> m_categoryService;
    std::unique_ptr<DocumentService> m_documentService;
    std::unique_ptr<NoteService> m_noteService;
    std::unique_ptr<TagService> m_tagService;
    std::unique_ptr<ResourceService> m_resourceService;
};

} // namespace Nod::Application
