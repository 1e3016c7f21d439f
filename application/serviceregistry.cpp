#include "serviceregistry.h"

#include "documentservice.h"
#include "noteservice.h"
#include "resourceservice.h"
#include "tagservice.h"

#include <infrastructure/repositories/annotationrepository.h>
#include <infrastructure/repositories/documentrepository.h>
#include <infrastructure/repositories/tagrepository.h>

namespace Nod::Application {

namespace {
ServiceRegistry *g_registry = nullptr;
} // namespace

ServiceRegistry::ServiceRegistry(QObject *parent)
    : QObject(parent)
    , m_categoryRepository(std::make_shared<Infrastructure::TagRepository>(QStringLiteral("Category")))
    , m_documentRepository(std::make_unique<Infrastructure::DocumentRepository>(QStringLiteral("documents")))
    , m_annotationRepository(
          std::make_shared<Infrastructure::AnnotationRepository>(QStringLiteral("Annotation")))
    , m_tagRepository(std::make_shared<Infrastructure::TagRepository>(QStringLiteral("Tag")))
    , m_categoryService(std::make_unique<TagService>(m_categoryRepository))
    , m_documentService(
          std::make_unique<DocumentService>(m_documentRepository.get(), m_annotationRepository.get()))
    , m_noteService(std::make_unique<NoteService>(m_annotationRepository))
    , m_tagService(std::make_unique<TagService>(m_tagRepository))
    , m_resourceService(std::make_unique<ResourceService>())
{
    connect(m_noteService.get(), &NoteService::aboutToBeRemoved, this,
        [this](const Domain::Annotation &anno) { removeResourcesOf(anno); });
}

ServiceRegistry::~ServiceRegistry()
{
    if (g_registry == this) {
        g_registry = nullptr;
    }
    // Services first, in reverse order of construction, then the repositories.
    m_resourceService.reset();
    m_tagService.reset();
    m_noteService.reset();
    m_documentService.reset();
    m_categoryService.reset();
}

ServiceRegistry *ServiceRegistry::instance() { return g_registry; }

void ServiceRegistry::setInstance(ServiceRegistry *registry) { g_registry = registry; }

void ServiceRegistry::removeResourcesOf(const Domain::Annotation &annotation)
{
    const QVector<Domain::Resource> resources = m_resourceService->resources(annotation.id());
    for (const Domain::Resource &resource : resources) {
        m_resourceService->remove(resource.id());
    }
}

} // namespace Nod::Application
