#include "mupdfbackend.h"

#include <backend/mupdf/document.h>

#include <QFileInfo>

QSharedPointer<Backend::Document> MuPDFBackend::newDocument(const QString &fileName)
{
    return QSharedPointer<Backend::Document>(new Backend::MuPDF::Document(fileName));
}

QString MuPDFBackend::name() const
{
    return QStringLiteral("mupdf");
}

bool MuPDFBackend::canHandleFile(const QString &fileName) const
{
    const QString suffix = QFileInfo(fileName).suffix();
    return suffix.compare(QLatin1String("PDF"), Qt::CaseInsensitive) == 0
           || suffix.compare(QLatin1String("EPUB"), Qt::CaseInsensitive) == 0;
}
