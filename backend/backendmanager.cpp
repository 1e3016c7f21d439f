#include "backendmanager.h"

#include <backend/document.h>
#include <backend/mupdfbackend.h>

#include <QCoreApplication>

BackendManager *BackendManager::s_instance = nullptr;

BackendManager *BackendManager::instance()
{
    if (!s_instance) {
        s_instance = new BackendManager(QCoreApplication::instance());
    }
    return s_instance;
}

BackendManager::BackendManager(QObject *parent)
    : QObject(parent)
{
    m_backends.append(new MuPDFBackend());
}

BackendManager::~BackendManager()
{
    qDeleteAll(m_backends);
    m_backends.clear();
    s_instance = nullptr;
}

QSharedPointer<Backend::Document> BackendManager::openDocument(const QString &fileName)
{
    for (BackendInterface *backend : qAsConst(m_backends)) {
        if (!backend->canHandleFile(fileName)) {
            continue;
        }
        QSharedPointer<Backend::Document> document = backend->newDocument(fileName);
        if (document) {
            return document;
        }
    }
    return {};
}
