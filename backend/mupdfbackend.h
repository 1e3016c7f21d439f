#pragma once

#include <backend/backendinterface.h>

// Opens PDF and EPUB files through MuPDF.
class MuPDFBackend final : public BackendInterface
{
    Q_OBJECT
    Q_INTERFACES(BackendInterface)

public:
    using BackendInterface::BackendInterface;

    QSharedPointer<Backend::Document> newDocument(const QString &fileName) override;
    QString name() const override;
    bool canHandleFile(const QString &fileName) const override;
};
