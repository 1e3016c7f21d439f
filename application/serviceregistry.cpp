#include "serviceregistry.h"

#include "documentservice.h"
#include "noteservice.h"
#include "resourceservice.h"
#include "tagservice.h"

#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/resourcerepository.h>
#include <infrastructure/repositories/tagrepository.h>

namespace Nod::Application {

namespace {
ServiceRegistry *g_registry = nullptr;
} // namespace

ServiceRegistry::ServiceRegistry(QObject *parent)
    : QObject(parent)
    , m_categoryRepository(std::make_shared<Infrastructure::TagRepository>(QStringLiteral("Category")))
    , m_documentRepository(std::make_shared<Infrastructure::DocumentRepository>(QStringLiteral("documents")))
    , m_annotationRepository(
          std::make_shared<Infrastructure::AnnotationRepository>(QStringLiteral("Annotation")))
    , m_tagRepository(std::make_shared<Infrastructure::TagRepository>(QStringLiteral("Tag")))
    , m_resourceRepository(std::make_shared<Infrastructure::ResourceRepository>(QStringLiteral("Resource")))
    , m_categoryService(std::make_unique<TagService>(m_categoryRepository))
    , m_resourceService(std::make_unique<ResourceService>(m_resourceRepository))
    , m_noteService(std::make_unique<NoteService>(m_annotationRepository, m_resourceService.get()))
    , m_documentService(std::make_unique<DocumentService>(
          m_documentRepository, m_annotationRepository, m_noteService.get(), m_categoryService.get()))
    , m_tagService(std::make_unique<TagService>(m_tagRepository))
{ }

ServiceRegistry::~ServiceRegistry()
{
    if (g_registry == this) {
        g_registry = nullptr;
    }
    // Services first, in reverse order of construction, then the repositories.
    m_tagService.reset();
    m_documentService.reset();
    m_noteService.reset();
    m_resourceService.reset();
    m_categoryService.reset();
}

ServiceRegistry *ServiceRegistry::instance() { return g_registry; }

void ServiceRegistry::setInstance(ServiceRegistry *registry) { g_registry = registry; }

} // namespace Nod::Application
