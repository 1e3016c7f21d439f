#pragma once

#include <QObject>
#include <QSharedPointer>
#include <QString>

namespace Backend {
class Document;
}

// A plug-in able to open some kinds of document files.
class BackendInterface : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Null when the file cannot be opened by this back-end.
    virtual QSharedPointer<Backend::Document> newDocument(const QString &fileName) = 0;
    virtual QString name() const = 0;
    virtual bool canHandleFile(const QString &fileName) const = 0;
};

#define BackendInterface_iid "org.nodera.Reader.BackendInterface/1.0"
Q_DECLARE_INTERFACE(BackendInterface, BackendInterface_iid)
