#include "searchhit.h"

namespace Nod::Indexing {

QString SearchHit::snippetHtml() const
{
    QString html = snippet.toHtmlEscaped();
    html.replace(EmphasisStart, QLatin1String("<b>"));
    html.replace(EmphasisEnd, QLatin1String("</b>"));
    return html;
}

QString SearchHit::snippetText() const
{
    QString text = snippet;
    text.remove(EmphasisStart);
    text.remove(EmphasisEnd);
    return text.simplified();
}

QString SearchHit::firstEmphasis() const
{
    const int start = snippet.indexOf(EmphasisStart);
    const int end = snippet.indexOf(EmphasisEnd, start + 1);
    return start >= 0 && end > start ? snippet.mid(start + 1, end - start - 1) : QString();
}

} // namespace Nod::Indexing
