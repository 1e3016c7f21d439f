#include "mupdfbackend.h"

#include <backend/mupdf/document.h>

#include <QFileInfo>

QSharedPointer<Backend::Document> MuPDFBackend::newDocument(const QString &fileName)
{
    QSharedPointer<Backend::Document> document(new Backend::MuPDF::Document(fileName));
    // A file the library cannot open yields nothing, so the caller reports the failure at once.
    return document->isValid() ? document : QSharedPointer<Backend::Document>();
}

QString MuPDFBackend::name() const { return QStringLiteral("mupdf"); }

bool MuPDFBackend::canHandleFile(const QString &fileName) const
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.compare(QLatin1String("PDF"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("EPUB"), Qt::CaseInsensitive) == 0;
}
