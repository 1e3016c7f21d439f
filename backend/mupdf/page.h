#pragma once

#include <backend/mupdf/context.h>
#include <backend/page.h>

#include <QMutex>
#include <QSharedPointer>
#include <QVector>

#include <mupdf/fitz.h>

namespace Backend::MuPDF {

class Document;

// A page of a MuPDF document.
//
// Library work that touches the document (loading the page, recording display lists, links)
// runs on the shared context under its mutex; rasterising and text analysis then run on a clone
// without it, so renders of several pages of one document proceed in parallel.
class Page final : public Backend::Page
{
public:
    // With a known size (points, from the page tree) the page is made without asking the library.
    Page(Document *parent, int pageNumber, const QSizeF &knownSize = QSizeF());
    ~Page() override;

    QSizeF pageSize() const override;
    QList<QSharedPointer<PdfAnnotation::Link>> loadLinks() override;
    QList<TextBox> textBoxes() const override;
    QString selectedText(const QList<QRectF> &selection, QMap<int, QRectF> *wordBoxes = nullptr,
        QMap<int, QRectF> *charBoxes = nullptr) const override;
    QString text(QVector<QRectF> &rects) const override;
    QImage renderImage(double xres, double yres, const QRect &renderBox = QRect(), bool cache = false,
        RenderCookie *cookie = nullptr) const override;
    QVector<SearchResult> search(const QString &text, int flags) const override;
    // Found by the first render, or by recording the page when asked before it.
    QVector<QRectF> pictureAreas() const override;
    QString failureReason() const override;

    // Whether the library found the page; a page past the end of a damaged file is not found.
    bool isLoaded() const { return !m_loadFailed; }
    // Releases the structured text unless the page is busy; false when it is. Any thread.
    bool dropTextPage() const;

private:
    // Text as laid out, for extraction and selection; and with words broken by a hyphen at a line
    // end rejoined, for search (as the library's own page search does). Joining rewrites the lines,
    // so the two are kept apart.
    enum TextKind { PlainText = 0, SearchText = 1 };

    // This page in the leased document; owned tells whether the caller drops it. May throw.
    fz_page *libraryPage(const Context::Lease &lease, bool *owned) const;
    // Records the page's contents and, given a place for them, its annotations apart, from the
    // leased document; false when the page cannot be loaded. Pages are loaded on first use, so this
    // is where a damaged page object shows.
    bool recordPage(const Context::Lease &lease, const fz_rect &bounds, fz_cookie *cookie,
        fz_display_list **contents, fz_display_list **annotations, QString *loadFailure = nullptr) const;
    // Builds the structured text once; false when it cannot be built. Needs the document lock.
    bool ensureTextPage(int kind) const;
    // With the page lock held for reading through locker: the text, built if need be; null when
    // it cannot be built.
    fz_stext_page *lockTextPage(QReadLocker &locker, int kind) const;

    QSharedPointer<Context> m_context;
    fz_document *m_document = nullptr; // a reference of our own, so detached pages stay valid
    mutable fz_page *m_page = nullptr; // of the main document, loaded on first use; under its mutex
    bool m_loadFailed = false;
    float m_x0 = 0;
    float m_y0 = 0;
    float m_x1 = 0;
    float m_y1 = 0;
    // Releases one kind of text in the family that made it; under the page write lock.
    void releaseTextPage(int kind) const;

    mutable fz_stext_page *m_textPage[2] = { nullptr, nullptr };
    mutable Context::FamilyPointer m_textFamily[2];
    mutable bool m_textBuilt[2] = { false, false };
    // Keeps what findPictureAreas() gives for the recorded contents, unless known already.
    void notePictureAreas(fz_context *ctx, fz_display_list *contents, const fz_rect &bounds) const;

    void setFailure(const QString &failure) const;

    // Guards what renders find out about the page.
    mutable QMutex m_foundMutex;
    mutable QString m_failure;
    mutable QVector<QRectF> m_pictureAreas;
    mutable bool m_picturesFound = false;
    QList<QSharedPointer<PdfAnnotation::Link>> m_links;
    bool m_linksLoaded = false;
};

} // namespace Backend::MuPDF
