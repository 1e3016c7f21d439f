#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

namespace Nod::Indexing {

// One place where a query matched: a page of a document, the note of an annotation, or the
// document's own details (title, overview, tags; page -1, no annotation).
struct SearchHit
{
    int documentId = 0;
    int page = -1; // from 0; for a note, the page of its mark
    int annotationId = 0;
    // The matched passage; the matched words stand between EmphasisStart and EmphasisEnd.
    QString snippet;
    double rank = 0; // lower is better
    qint64 entryId = 0; // the index's own number of the page, note or details

    static constexpr QChar EmphasisStart { 0x0002 };
    static constexpr QChar EmphasisEnd { 0x0003 };

    bool isNote() const { return annotationId > 0; }
    bool isPage() const { return annotationId == 0 && page >= 0; }
    // The snippet as rich text, the matched words in bold.
    QString snippetHtml() const;
    // The snippet on one line, without emphasis.
    QString snippetText() const;
    // The first matched words of the snippet, as they stand in the text.
    QString firstEmphasis() const;
};

struct SearchResults
{
    QVector<SearchHit> hits; // best first
    int total = 0; // all matches, of which hits holds the best ones
    QString error; // a query the index could not run
    bool complete = true; // false for the first screen of hits, the whole list to follow
};

} // namespace Nod::Indexing

Q_DECLARE_METATYPE(Nod::Indexing::SearchResults)
