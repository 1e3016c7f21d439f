#pragma once

#include <QList>
#include <QObject>
#include <QSharedPointer>

class BackendInterface;

namespace Backend {
class Document;
}

// The registry of back-ends; picks the first one able to open a file.
// Interface thread only.
class BackendManager final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackendManager)

public:
    static BackendManager *instance();
    ~BackendManager() override;

    // Null when no back-end accepts the file or the one that does fails to create it.
    QSharedPointer<Backend::Document> openDocument(const QString &fileName);
    QList<BackendInterface *> backends() const { return m_backends; }

private:
    explicit BackendManager(QObject *parent);

    QList<BackendInterface *> m_backends; // owned
    static BackendManager *s_instance;
};
