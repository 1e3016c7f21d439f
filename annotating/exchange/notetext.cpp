#include "notetext.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <QUrl>
#include <QVariant>

namespace Nod::Exchange {

namespace {

// Parses a note without resolving any resource: an export needs the names, never the images.
class InertDocument final : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

const QChar kLineSeparator(0x2028);

QString safeHref(const QString &href)
{
    const QUrl url(href.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")
            && scheme != QLatin1String("mailto"))) {
        return {};
    }
    return QString::fromLatin1(url.toEncoded());
}

bool sameLook(const NoteSpan &a, const NoteSpan &b)
{
    return a.bold == b.bold && a.italic == b.italic && a.strike == b.strike && a.href == b.href;
}

void appendText(QVector<NoteSpan> &spans, const NoteSpan &look, const QString &text)
{
    if (text.isEmpty()) {
        return;
    }
    if (!spans.isEmpty() && spans.last().imageHash.isEmpty() && !spans.last().lineBreak
        && sameLook(spans.last(), look)) {
        spans.last().text += text;
        return;
    }
    NoteSpan span = look;
    span.text = text;
    spans.append(span);
}

// Leading and trailing white space moved outside emphasis markers, which must touch the text.
QString wrapped(const QString &text, const QString &marker)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text.at(begin).isSpace()) {
        ++begin;
    }
    while (end > begin && text.at(end - 1).isSpace()) {
        --end;
    }
    if (begin == end) {
        return text;
    }
    return text.left(begin) + marker + text.mid(begin, end - begin) + marker + text.mid(end);
}

} // namespace

QVector<NoteBlock> noteBlocks(const QString &html)
{
    QVector<NoteBlock> blocks;
    InertDocument document;
    document.setHtml(html);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        NoteBlock out;
        if (QTextList *list = block.textList()) {
            const QTextListFormat format = list->format();
            out.listDepth = qMax(1, format.indent());
            out.ordered = format.style() <= QTextListFormat::ListDecimal;
            out.number = list->itemNumber(block) + 1;
            out.list = list->objectIndex();
        }
        out.heading = block.blockFormat().headingLevel() > 0;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) {
                continue;
            }
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                const QUrl name(format.toImageFormat().name());
                // Stored images are named by the SHA-1 of their bytes; any other name could point
                // a written picture file outside its folder.
                static const QRegularExpression sha1(QStringLiteral("^[0-9a-f]{40}$"));
                if (name.scheme() == QLatin1String("database") && sha1.match(name.path()).hasMatch()) {
                    NoteSpan image;
                    image.imageHash = name.path();
                    // One fragment may hold several references to the same image.
                    for (int i = 0; i < fragment.length(); ++i) {
                        out.spans.append(image);
                    }
                }
                continue;
            }
            NoteSpan look;
            look.bold = out.heading || format.fontWeight() > QFont::Normal;
            look.italic = format.fontItalic();
            look.strike = format.fontStrikeOut();
            if (format.isAnchor()) {
                look.href = safeHref(format.anchorHref());
            }
            QString text = fragment.text();
            text.remove(QChar::ObjectReplacementCharacter);
            const QStringList lines = text.split(kLineSeparator);
            for (int i = 0; i < lines.size(); ++i) {
                if (i > 0) {
                    NoteSpan lineBreak;
                    lineBreak.lineBreak = true;
                    out.spans.append(lineBreak);
                }
                appendText(out.spans, look, lines.at(i));
            }
        }
        blocks.append(out);
    }
    // Empty paragraphs only space the text; a viewer would show them as nothing anyway.
    QVector<NoteBlock> kept;
    for (const NoteBlock &block : qAsConst(blocks)) {
        bool empty = true;
        for (const NoteSpan &span : block.spans) {
            if (!span.imageHash.isEmpty() || !span.text.trimmed().isEmpty()) {
                empty = false;
                break;
            }
        }
        if (!empty) {
            kept.append(block);
        }
    }
    return kept;
}

QString notePlainText(const QString &html)
{
    InertDocument document;
    document.setHtml(html);
    QString text = document.toPlainText();
    text.remove(QChar::ObjectReplacementCharacter);
    text.replace(kLineSeparator, QLatin1Char('\n'));
    return text.trimmed();
}

QString markdownEscaped(const QString &text, bool lineStart)
{
    static const QString always = QStringLiteral("\\`*_[]<>!|~&");
    QString out;
    out.reserve(text.size() + 8);
    int i = 0;
    if (lineStart) {
        while (i < text.size() && text.at(i).isSpace()) {
            ++i; // leading spaces would make an indented code block
        }
        int digits = i;
        while (digits < text.size() && text.at(digits).isDigit()) {
            ++digits;
        }
        if (digits > i && digits < text.size()
            && (text.at(digits) == QLatin1Char('.') || text.at(digits) == QLatin1Char(')'))) {
            out += text.mid(i, digits - i) + QLatin1Char('\\') + text.at(digits);
            i = digits + 1;
        } else if (i < text.size() && QStringLiteral("#+-=").contains(text.at(i))) {
            out += QLatin1Char('\\') + text.at(i);
            ++i;
        }
    }
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (always.contains(c)) {
            out += QLatin1Char('\\');
        }
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')) {
            out += QLatin1Char(' ');
        } else {
            out += c;
        }
    }
    return out;
}

QString markdownOf(const QVector<NoteBlock> &blocks, const ImageReference &image)
{
    QString out;
    const NoteBlock *previous = nullptr;
    int topList = -1;
    for (const NoteBlock &block : blocks) {
        // Items of one list, nested ones included, stay together; anything else, a following list
        // too, is set off by a blank line.
        if (previous) {
            const bool sameList = previous->listDepth > 0 && block.listDepth > 0
                && (block.listDepth > 1 || block.list == topList);
            out += sameList ? QStringLiteral("\n") : QStringLiteral("\n\n");
        }
        if (block.listDepth == 1) {
            topList = block.list;
        }
        QString line;
        if (block.listDepth > 0) {
            line += QString(4 * (block.listDepth - 1), QLatin1Char(' '));
            line += block.ordered ? QString::number(block.number) + QStringLiteral(". ")
                                  : QStringLiteral("- ");
        }
        bool lineStart = true;
        for (const NoteSpan &span : block.spans) {
            if (span.lineBreak) {
                line += QStringLiteral("\\\n");
                if (block.listDepth > 0) {
                    line += QString(4 * block.listDepth, QLatin1Char(' '));
                }
                lineStart = true;
                continue;
            }
            if (!span.imageHash.isEmpty()) {
                const QString target = image ? image(span.imageHash) : QString();
                if (!target.isEmpty()) {
                    line += QStringLiteral("![](") + target + QLatin1Char(')');
                    lineStart = false;
                }
                continue;
            }
            QString text = markdownEscaped(span.text, lineStart);
            if (span.bold && span.italic) {
                text = wrapped(text, QStringLiteral("***"));
            } else if (span.bold) {
                text = wrapped(text, QStringLiteral("**"));
            } else if (span.italic) {
                text = wrapped(text, QStringLiteral("*"));
            }
            if (span.strike) {
                text = wrapped(text, QStringLiteral("~~"));
            }
            if (!span.href.isEmpty()) {
                QString href = span.href;
                href.replace(QLatin1Char('('), QStringLiteral("%28"))
                    .replace(QLatin1Char(')'), QStringLiteral("%29"));
                text = QLatin1Char('[') + text + QStringLiteral("](") + href + QLatin1Char(')');
            }
            line += text;
            lineStart = false;
        }
        out += line;
        previous = &block;
    }
    return out;
}

QString htmlOf(const QVector<NoteBlock> &blocks, const ImageReference &image)
{
    struct Level
    {
        bool ordered = false;
        bool itemOpen = false;
    };
    QVector<Level> lists;
    QString out;
    auto closeLevel = [&] {
        if (lists.last().itemOpen) {
            out += QStringLiteral("</li>");
        }
        out += lists.last().ordered ? QStringLiteral("</ol>\n") : QStringLiteral("</ul>\n");
        lists.removeLast();
    };
    for (const NoteBlock &block : blocks) {
        while (lists.size() > block.listDepth) {
            closeLevel();
        }
        if (block.listDepth > 0) {
            if (lists.size() == block.listDepth && lists.last().ordered != block.ordered) {
                closeLevel();
            }
            while (lists.size() < block.listDepth) {
                if (!lists.isEmpty() && !lists.last().itemOpen) {
                    out += QStringLiteral("<li>");
                    lists.last().itemOpen = true;
                }
                const bool ordered = lists.size() + 1 == block.listDepth ? block.ordered : false;
                out += ordered ? QStringLiteral("<ol>") : QStringLiteral("<ul>");
                lists.append({ ordered, false });
            }
            if (lists.last().itemOpen) {
                out += QStringLiteral("</li>\n");
            }
            out += QStringLiteral("<li>");
            lists.last().itemOpen = true;
        } else {
            out += QStringLiteral("<p>");
        }
        for (const NoteSpan &span : block.spans) {
            if (span.lineBreak) {
                out += QStringLiteral("<br/>");
                continue;
            }
            if (!span.imageHash.isEmpty()) {
                const QString source = image ? image(span.imageHash) : QString();
                if (!source.isEmpty()) {
                    out += QStringLiteral("<img src=\"") + source.toHtmlEscaped()
                        + QStringLiteral("\" alt=\"\"/>");
                }
                continue;
            }
            QString text = span.text.toHtmlEscaped();
            if (span.bold) {
                text = QStringLiteral("<strong>") + text + QStringLiteral("</strong>");
            }
            if (span.italic) {
                text = QStringLiteral("<em>") + text + QStringLiteral("</em>");
            }
            if (span.strike) {
                text = QStringLiteral("<s>") + text + QStringLiteral("</s>");
            }
            if (!span.href.isEmpty()) {
                text = QStringLiteral("<a href=\"") + span.href.toHtmlEscaped() + QStringLiteral("\">") + text
                    + QStringLiteral("</a>");
            }
            out += text;
        }
        if (block.listDepth == 0) {
            out += QStringLiteral("</p>\n");
        }
    }
    while (!lists.isEmpty()) {
        closeLevel();
    }
    return out;
}

} // namespace Nod::Exchange
