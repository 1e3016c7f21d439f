#pragma once

#include <domain/iresourcerepository.h>
#include <domain/resource.h>

#include <QByteArray>
#include <QObject>
#include <QSize>
#include <QVector>

#include <memory>

namespace Nod::Application {

struct NewResource
{
    int ownerId = 0; // the annotation whose note holds the image
    QByteArray hash; // hex SHA-1 of the bytes
    QSize size; // pixels
    QByteArray data; // the image file's bytes
};

// The images embedded in notes, stored once per note and named within it by the SHA-1 of their bytes.
class ResourceService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ResourceService)

public:
    explicit ResourceService(std::shared_ptr<Domain::IResourceRepository> repository);
    ~ResourceService() override;

    // Adds the image unless the note holds it already. Throws std::invalid_argument on invalid input.
    void handle(const NewResource &request);
    // Throws std::runtime_error "Resource not exist, ownerId: <id>, hash: <hash>".
    Domain::Resource existingResourceByByOwnerAndHash(int ownerId, const QString &hash);
    QVector<Domain::Resource> resources(int ownerId);
    // Throws std::bad_optional_access when there is no such resource.
    void remove(int id);
    // Puts back a resource exactly as it was stored (same id), as undoing a removal needs it; nothing
    // happens when the note holds that image already. Throws std::invalid_argument on invalid input.
    void restore(const Domain::Resource &resource);

signals:
    void added(Domain::Resource res);
    void aboutToBeRemoved(Domain::Resource res);
    void removed(Domain::Resource res);
    void sizeChanged(Domain::Resource res);

private:
    std::shared_ptr<Domain::IResourceRepository> m_repository;
};

} // namespace Nod::Application
