#pragma once

#include <QString>
#include <QUrl>

// What the reading view may do with the target of a link. Documents are untrusted: a link can
// name any scheme, and MuPDF turns launch actions and remote go-tos into file: addresses. Only web
// and mail addresses go to the desktop; a local PDF or EPUB may be opened inside the program once
// the user agrees; everything else is refused (and logged by the caller). Nothing is ever run.
class LinkPolicy final
{
public:
    enum Verdict { Refuse, OpenExternally, OpenDocumentInside };

    // A relative file address is taken relative to baseDir (the folder of the document).
    static Verdict classify(const QUrl &url, const QString &baseDir = QString());
    // The local file a file: address names, resolved and cleaned.
    static QString localDocumentPath(const QUrl &url, const QString &baseDir = QString());
    // The rich-text tool tip of an address: escaped, and shortened when very long.
    static QString toolTipFor(const QUrl &url);
};
