#pragma once

#include <QString>
#include <QVector>

#include <functional>

namespace Nod::Exchange {

// One run of a note's text with the formatting an export keeps.
struct NoteSpan
{
    QString text;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    QString href; // only web and mail addresses; anything else is dropped
    QString imageHash; // a stored image of the note ("database:" name); the span has no text then
    bool lineBreak = false; // a forced line break inside the block
};

// One paragraph or list item of a note.
struct NoteBlock
{
    int listDepth = 0; // 0: not a list item; 1: top-level item; 2 and more: nested
    bool ordered = false;
    int number = 0; // place in its list, from 1
    int list = -1; // which list of the note the item belongs to
    bool heading = false;
    QVector<NoteSpan> spans;
};

// The blocks of a note stored as HTML. Nothing the HTML names is loaded (no files, no network).
QVector<NoteBlock> noteBlocks(const QString &html);

// The note's text without formatting, as another program's annotation contents can hold it.
QString notePlainText(const QString &html);

// Where an image of the note is written or embedded; an empty result leaves the image out.
using ImageReference = std::function<QString(const QString &hash)>;

// CommonMark (with "~~" for struck text) of the blocks; paragraphs are separated by blank lines.
QString markdownOf(const QVector<NoteBlock> &blocks, const ImageReference &image);
// Markdown text of plain text: every character that could start markup is escaped.
QString markdownEscaped(const QString &text, bool lineStart = true);

// HTML elements of the blocks; text is escaped and only the given image sources are used.
QString htmlOf(const QVector<NoteBlock> &blocks, const ImageReference &image);

} // namespace Nod::Exchange
