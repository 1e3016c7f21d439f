#pragma once

#include <QString>
#include <QStringList>

namespace Nod::Indexing {

// What the user typed into the full-text search, checked and turned into an index match expression.
// Every word is required; "quoted words" must stand together; a word ending in * matches every word
// it begins. The expression is built from quoted strings only, so no input reaches the index's own
// query language: a mistake is reported in the user's terms instead.
class SearchQuery final
{
public:
    static SearchQuery parse(const QString &text);

    // False for a query with a mistake (errorString says which) and for an empty one.
    bool isValid() const { return !m_expression.isEmpty(); }
    bool isEmpty() const { return m_expression.isEmpty() && m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QString matchExpression() const { return m_expression; }
    // The words and phrases as typed, without quotes and asterisks.
    QStringList terms() const { return m_terms; }

private:
    QString m_expression;
    QString m_error;
    QStringList m_terms;
};

// Text as the index stores it: scripts written without spaces between words (Chinese, Japanese,
// Thai) get an invisible separator between their characters, so that each one is a word of its own
// and a run of them is found as a phrase. Applied alike to indexed text and to query words.
QString prepareForIndex(const QString &text);
// Text from the index as the user should see it: the separators removed.
QString fromIndex(const QString &text);

} // namespace Nod::Indexing
