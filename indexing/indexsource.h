#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace Nod::Indexing {

// What the index keeps of one note: the note as stored and the names of its tags.
struct NoteSource
{
    int annotationId = 0;
    int documentId = 0;
    int page = -1;
    QString noteText; // rich text or plain
    QStringList tags;

    qint64 stamp() const;
    QString plainText() const; // any thread
};

// What the index keeps of one document, gathered on the interface thread for the worker.
struct DocumentSource
{
    int id = 0;
    QString path; // absolute
    QString hash;
    QString details; // title, overview and tag names
    QVector<NoteSource> notes;
};

} // namespace Nod::Indexing
