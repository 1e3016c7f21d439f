#include "mupdfbackend.h"

#include <backend/mupdf/document.h>

QSharedPointer<Backend::Document> MuPDFBackend::newDocument(const QString &fileName)
{
    QSharedPointer<Backend::Document> document(new Backend::MuPDF::Document(fileName));
    // A file the library cannot open yields nothing, so the caller reports the failure at once.
    return document->isValid() ? document : QSharedPointer<Backend::Document>();
}

QString MuPDFBackend::name() const { return QStringLiteral("mupdf"); }

bool MuPDFBackend::canHandleFile(const QString &fileName) const
{
    return !Backend::MuPDF::Document::formatMagic(fileName).isEmpty();
}
