#include "resourceservice.h"

#include <infrastructure/transaction.h>

#include <QDebug>

#include <optional>
#include <stdexcept>

namespace Nod::Application {

using Infrastructure::Transaction;

ResourceService::ResourceService(std::shared_ptr<Domain::IResourceRepository> repository)
    : m_repository(std::move(repository))
{ }

ResourceService::~ResourceService() = default;

void ResourceService::handle(const NewResource &r)
{
    qInfo() << "Nod::Application::ResourceService::handle"
            << "owner id:" << r.ownerId << ", hash:" << r.hash << ", size:" << r.size;
    if (r.ownerId <= 0 || r.hash.isEmpty() || r.size.width() <= 0 || r.size.height() <= 0
        || r.data.isEmpty()) {
        throw std::invalid_argument("Nod::Application::ResourceService::handle");
    }
    const QString hash = QString::fromLatin1(r.hash);
    if (m_repository->findByOwnerAndHash(r.ownerId, hash)) {
        return;
    }
    Transaction transaction;
    const int id = m_repository->nextId();
    if (id < 1) {
        throw std::runtime_error("Nod::Application::ResourceService::handle: no id");
    }
    Domain::Resource resource;
    resource.setId(id);
    resource.setOwnerId(r.ownerId);
    resource.setHash(hash);
    resource.setWidth(r.size.width());
    resource.setHeight(r.size.height());
    resource.setData(r.data);
    m_repository->insert(resource);
    transaction.commit();
    Transaction::afterCommit([this, resource] { emit added(resource); });
}

Domain::Resource ResourceService::existingResourceByByOwnerAndHash(int ownerId, const QString &hash)
{
    const std::optional<Domain::Resource> found = m_repository->findByOwnerAndHash(ownerId, hash);
    if (!found) {
        const QString message
            = QStringLiteral("Resource not exist, ownerId: %1, hash: %2").arg(ownerId).arg(hash);
        qWarning() << "Nod::Application::ResourceService::existingResourceByByOwnerAndHash" << message;
        throw std::runtime_error(message.toStdString());
    }
    return *found;
}

QVector<Domain::Resource> ResourceService::resources(int ownerId)
{
    return m_repository->findByOwner(ownerId);
}

void ResourceService::remove(int id)
{
    qInfo() << "Nod::Application::ResourceService::remove"
            << "id:" << id;
    const std::optional<Domain::Resource> found = m_repository->find(id);
    const Domain::Resource resource = found.value(); // throws std::bad_optional_access
    emit aboutToBeRemoved(resource);
    Transaction transaction;
    m_repository->remove(resource);
    transaction.commit();
    Transaction::afterCommit([this, resource] { emit removed(resource); });
}

void ResourceService::restore(const Domain::Resource &resource)
{
    qInfo() << "Nod::Application::ResourceService::restore"
            << "id:" << resource.id() << ", owner id:" << resource.ownerId() << ", hash:" << resource.hash();
    if (resource.id() <= 0 || resource.ownerId() <= 0 || resource.hash().isEmpty()
        || resource.data().isEmpty()) {
        throw std::invalid_argument("Nod::Application::ResourceService::restore");
    }
    if (m_repository->findByOwnerAndHash(resource.ownerId(), resource.hash())
        || m_repository->find(resource.id())) {
        return;
    }
    Transaction transaction;
    m_repository->insert(resource);
    transaction.commit();
    Transaction::afterCommit([this, resource] { emit added(resource); });
}

} // namespace Nod::Application
