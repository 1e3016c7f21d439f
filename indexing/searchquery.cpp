#include "searchquery.h"

#include <QCoreApplication>

namespace Nod::Indexing {

namespace {

constexpr QChar Separator(0x200B); // zero width space: no word character, and invisible

bool isUnspacedScript(uint code)
{
    return (code >= 0x0E00 && code <= 0x0EFF) // Thai, Lao
        || (code >= 0x3040 && code <= 0x30FF) // Hiragana, Katakana
        || (code >= 0x3400 && code <= 0x4DBF) // CJK extension A
        || (code >= 0x4E00 && code <= 0x9FFF) // CJK unified ideographs
        || (code >= 0xF900 && code <= 0xFAFF) // CJK compatibility ideographs
        || (code >= 0x20000 && code <= 0x3134F); // CJK extensions B to G
}

bool hasWordCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c.isSurrogate()) {
            return true;
        }
    }
    return false;
}

QString tr(const char *text) { return QCoreApplication::translate("Nod::Indexing::SearchQuery", text); }

} // namespace

QString prepareForIndex(const QString &text)
{
    QString result;
    result.reserve(text.size() + text.size() / 8);
    bool previousUnspaced = false;
    for (int i = 0; i < text.size(); ++i) {
        uint code = text.at(i).unicode();
        int length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            length = 2;
        }
        const bool unspaced = isUnspacedScript(code);
        if (unspaced || previousUnspaced) {
            result.append(Separator);
        }
        result.append(text.midRef(i, length));
        previousUnspaced = unspaced;
        i += length - 1;
    }
    return result;
}

QString fromIndex(const QString &text)
{
    QString result = text;
    result.remove(Separator);
    return result;
}

SearchQuery SearchQuery::parse(const QString &text)
{
    SearchQuery query;
    QStringList parts;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        if (text.at(i).isSpace()) {
            ++i;
            continue;
        }
        QString term;
        bool phrase = false;
        if (text.at(i) == QLatin1Char('"')) {
            const int close = text.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0) {
                query.m_error = tr("A quotation mark is not closed: put a \" after the last word of the "
                                   "phrase.");
                return query;
            }
            term = text.mid(i + 1, close - i - 1);
            phrase = true;
            i = close + 1;
        } else {
            const int start = i;
            while (i < n && !text.at(i).isSpace() && text.at(i) != QLatin1Char('"')) {
                ++i;
            }
            term = text.mid(start, i - start);
        }
        bool prefix = false;
        if (i < n && phrase && text.at(i) == QLatin1Char('*')) {
            prefix = true;
            ++i;
        } else if (!phrase && term.endsWith(QLatin1Char('*'))) {
            prefix = true;
            term.chop(1);
        }
        if (i < n && phrase && !text.at(i).isSpace()) {
            query.m_error = tr("Leave a space after the closing quotation mark of a phrase.");
            return query;
        }
        if (term.contains(QLatin1Char('*'))) {
            query.m_error = tr("An asterisk may only end a word, as in read* for read, reader and reading.");
            return query;
        }
        if (!hasWordCharacter(term)) {
            if (prefix || phrase) {
                query.m_error = tr("Put at least one letter or digit before the asterisk or between the "
                                   "quotation marks.");
                return query;
            }
            continue; // punctuation on its own is not looked for
        }
        query.m_terms.append(term.simplified());
        QString quoted = prepareForIndex(term);
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        parts.append(
            QLatin1Char('"') + quoted + QLatin1Char('"') + (prefix ? QLatin1String("*") : QString()));
    }
    if (parts.isEmpty() && !text.trimmed().isEmpty()) {
        query.m_error = tr("Type a word to search for.");
        return query;
    }
    query.m_expression = parts.join(QLatin1String(" AND "));
    return query;
}

} // namespace Nod::Indexing
