#pragma once

#include <QHash>
#include <QString>
#include <QVector>

namespace Nod::Infrastructure {

struct DocumentFile
{
    int id = 0;
    QString path;
};

// Content fingerprints of the files, keyed by document id, computed several files at a time on
// the global thread pool. A missing or unreadable file gives an empty fingerprint. While waiting,
// the caller's event loop keeps running so that a progress dialog repaints.
QHash<int, QString> hashFilesInParallel(const QVector<DocumentFile> &files);

// Recomputes the fingerprint of every row of `documents` and stores it (empty for a missing file).
// Throws DatabaseException.
void updateAllDocumentHashes();

} // namespace Nod::Infrastructure
