#include "indexsource.h"

#include "searchindex.h"

#include <QTextDocument>

namespace Nod::Indexing {

qint64 NoteSource::stamp() const { return SearchIndex::stampFor(noteText + QChar(0) + tags.join(QChar(0))); }

QString NoteSource::plainText() const
{
    QString text = noteText;
    if (Qt::mightBeRichText(noteText)) {
        QTextDocument document;
        document.setHtml(noteText);
        text = document.toPlainText();
    }
    if (!tags.isEmpty()) {
        text += QLatin1Char('\n') + tags.join(QLatin1Char(' '));
    }
    return text;
}

} // namespace Nod::Indexing
