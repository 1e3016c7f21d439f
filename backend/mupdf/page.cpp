#include "page.h"

#include <backend/mupdf/context.h>
#include <backend/mupdf/document.h>
#include <backend/mupdf/imagebuffers.h>
#include <backend/mupdf/pictureareas.h>
#include <backend/pdfaction.h>
#include <backend/rendercookie.h>

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <QDebug>
#include <QMutexLocker>
#include <QUrl>

namespace Backend::MuPDF {

namespace {

QRectF toRect(const fz_rect &rect) { return QRectF(rect.x0, rect.y0, rect.x1 - rect.x0, rect.y1 - rect.y0); }

QRectF charBox(const fz_stext_char *ch) { return toRect(fz_rect_from_quad(ch->quad)); }

QRectF withWidth(const QRectF &rect, qreal width)
{
    return QRectF(rect.topLeft(), QSizeF(width, rect.height()));
}

// A selection holds a zero-width box (a line end) when it holds the box's edge.
bool selectionHolds(const QList<QRectF> &selection, const QRectF &box)
{
    for (const QRectF &area : selection) {
        if (box.width() > 0 ? area.contains(box)
                            : (area.left() <= box.left() && box.left() <= area.right()
                                && area.top() <= box.top() && box.bottom() <= area.bottom())) {
            return true;
        }
    }
    return false;
}

// The page text as the program reads it, one UTF-16 unit with its box at a time, for the plain
// text and the selection boxes alike. A run of white space becomes one space and none leads the
// text; anything unprintable becomes "?"; each line ends in a "\n" whose box is the last one at
// width 0.
template <typename Add> void walkText(fz_stext_page *textPage, Add add)
{
    bool empty = true;
    bool lastIsSpace = false;
    QRectF last;
    auto put = [&](QChar unit, const QRectF &rect) {
        add(unit, rect);
        empty = false;
        lastIsSpace = unit.isSpace();
        last = rect;
    };
    for (fz_stext_block *block = textPage->first_block; block; block = block->next) {
        if (block->type != FZ_STEXT_BLOCK_TEXT) {
            continue;
        }
        for (fz_stext_line *line = block->u.t.first_line; line; line = line->next) {
            // The library joins a line's runs and inserts the spaces between them itself, so a
            // line is walked as one span.
            for (fz_stext_char *ch = line->first_char; ch; ch = ch->next) {
                const QRectF box = charBox(ch);
                const uint c = static_cast<uint>(ch->c);
                if (c > 0xFFFF && c <= 0x10FFFF) {
                    put(QChar(QChar::highSurrogate(c)), box);
                    put(QChar(QChar::lowSurrogate(c)), box);
                } else if (c <= 0xFFFF && QChar::isSpace(c)) {
                    if (!empty && !lastIsSpace) {
                        put(QLatin1Char(' '), box);
                    }
                } else if (c <= 0xFFFF && QChar::isPrint(c)) {
                    put(QChar(c), box);
                } else {
                    put(QLatin1Char('?'), box);
                }
            }
            if (!empty) {
                put(QLatin1Char('\n'), withWidth(last, 0));
            }
        }
    }
}

struct LinkData
{
    QRectF rect;
    QByteArray uri;
};

// Runs the page's annotations but the hidden ones; inside a try block.
void runAnnotations(
    fz_context *ctx, fz_page *page, fz_device *device, fz_cookie *cookie, const QSet<int> &hidden)
{
    pdf_page *pdfPage = hidden.isEmpty() ? nullptr : pdf_page_from_fz_page(ctx, page);
    if (!pdfPage) {
        fz_run_page_annots(ctx, page, device, fz_identity, cookie);
        return;
    }
    for (pdf_annot *annot = pdf_first_annot(ctx, pdfPage); annot; annot = pdf_next_annot(ctx, annot)) {
        if (cookie && cookie->abort) {
            return;
        }
        if (!hidden.contains(pdf_to_num(ctx, pdf_annot_obj(ctx, annot)))) {
            pdf_run_annot(ctx, annot, device, fz_identity, cookie);
        }
    }
}

bool rasterise(fz_context *ctx, fz_display_list *contents, fz_display_list *annotations, fz_matrix transform,
    fz_irect box, unsigned char *samples, fz_cookie *cookie, QString *error)
{
    fz_pixmap *pixmap = nullptr;
    fz_device *device = nullptr;
    bool ok = true;
    fz_var(pixmap);
    fz_var(device);
    fz_var(ok);
    fz_try(ctx)
    {
        pixmap = fz_new_pixmap_with_bbox_and_data(ctx, fz_device_bgr(ctx), box, nullptr, 1, samples);
        fz_clear_pixmap_with_value(ctx, pixmap, 255);
        if (contents || annotations) {
            device = fz_new_draw_device(ctx, fz_identity, pixmap);
            const fz_rect scissor = fz_rect_from_irect(box);
            if (contents) {
                fz_run_display_list(ctx, contents, device, transform, scissor, cookie);
            }
            if (annotations) {
                fz_run_display_list(ctx, annotations, device, transform, scissor, cookie);
            }
            fz_close_device(ctx, device);
        }
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, device);
        fz_drop_pixmap(ctx, pixmap);
    }
    fz_catch(ctx)
    {
        ok = false;
        *error = QString::fromUtf8(fz_caught_message(ctx));
    }
    return ok;
}

} // namespace

Page::Page(Document *parent, int pageNumber, const QSizeF &knownSize)
    : Backend::Page(parent, pageNumber)
    , m_context(parent->context())
{
    QWriteLocker locker(&m_lock);
    // Keeping a reference only takes the library's allocator lock.
    m_document = fz_keep_document(m_context->get(), parent->libraryDocument());
    if (!m_document) {
        m_loadFailed = true;
        m_failure = QStringLiteral("the document could not be read");
        return;
    }
    if (!knownSize.isEmpty()) {
        // Page bounds start at the origin. Made while scrolling, so no library lease is waited for.
        m_x1 = float(knownSize.width());
        m_y1 = float(knownSize.height());
        return;
    }
    fz_rect bounds = fz_empty_rect;
    const Context::Lease lease = m_context->acquire(m_document);
    fz_context *ctx = lease.context;
    fz_page *page = nullptr;
    bool owned = false;
    fz_var(page);
    fz_var(bounds);
    fz_var(owned);
    fz_try(ctx)
    {
        // A PDF page's size is in its page object. Loading the page would also resolve every
        // link on it, which costs more than drawing a text page; pages are made for the whole
        // document when it is laid out, and a render loads its page on whichever copy of the
        // document draws it.
        if (pdf_document *pdf = pdf_specifics(ctx, lease.document)) {
            fz_rect mediabox = fz_empty_rect;
            fz_matrix transform = fz_identity;
            pdf_page_obj_transform(ctx, pdf_lookup_page_obj(ctx, pdf, m_pageNumber), &mediabox, &transform);
            bounds = fz_transform_rect(mediabox, transform);
        } else {
            page = libraryPage(lease, &owned);
            bounds = fz_bound_page(ctx, page);
        }
    }
    fz_always(ctx)
    {
        if (owned) {
            fz_drop_page(ctx, page);
        }
    }
    fz_catch(ctx)
    {
        qWarning("Construct Page::Page Failed!");
        m_loadFailed = true;
        m_failure = QString::fromUtf8(fz_caught_message(ctx));
        bounds = fz_empty_rect;
    }
    m_context->release(lease);
    if (!m_loadFailed && fz_is_valid_rect(bounds)) {
        m_x0 = bounds.x0;
        m_y0 = bounds.y0;
        m_x1 = bounds.x1;
        m_y1 = bounds.y1;
    }
}

fz_page *Page::libraryPage(const Context::Lease &lease, bool *owned) const
{
    if (lease.family) {
        *owned = true;
        return fz_load_page(lease.context, lease.document, m_pageNumber);
    }
    *owned = false;
    if (!m_page) {
        m_page = fz_load_page(lease.context, lease.document, m_pageNumber);
    }
    return m_page;
}

Page::~Page()
{
    releaseTextPage(PlainText);
    releaseTextPage(SearchText);
    QMutexLocker libraryLocker(&m_context->mutex());
    fz_context *ctx = m_context->get();
    fz_drop_page(ctx, m_page);
    fz_drop_document(ctx, m_document);
}

QSizeF Page::pageSize() const
{
    QReadLocker locker(&m_lock);
    return QSizeF(m_x1 - m_x0, m_y1 - m_y0);
}

QImage Page::renderImage(
    double xres, double yres, const QRect &renderBox, bool cache, RenderCookie *cookie) const
{
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (m_loadFailed || !(xres > 0) || !(yres > 0)) {
        return {};
    }
    fz_cookie *libraryCookie = cookie ? static_cast<fz_cookie *>(cookie->get()) : nullptr;
    const fz_rect bounds { m_x0, m_y0, m_x1, m_y1 };
    const fz_matrix transform = fz_pre_rotate(fz_scale(float(xres / 72.0), float(yres / 72.0)), 0);
    const fz_irect pageBox = fz_round_rect(fz_transform_rect(bounds, transform));
    fz_irect box = pageBox;
    if (!renderBox.isEmpty()) {
        const fz_irect wanted { pageBox.x0 + renderBox.left(), pageBox.y0 + renderBox.top(),
            pageBox.x0 + renderBox.left() + renderBox.width(),
            pageBox.y0 + renderBox.top() + renderBox.height() };
        box = fz_intersect_irect(pageBox, wanted);
    }
    if (fz_is_empty_irect(box)) {
        return {};
    }

    // Recording the lists reads the document, which only one thread may use at a time; a thread
    // finding it busy, or its family drawing for another thread, records from a replica.
    fz_display_list *contents = nullptr;
    fz_display_list *annotations = nullptr;
    QString loadFailure;
    // The lists belong to the family they were recorded in and are drawn on a clone of it.
    fz_context *ctx = nullptr;
    Context::FamilyPointer family;
    {
        const Context::Lease lease = m_context->acquire(m_document);
        // A page that cannot be loaded gives no image, not a blank one.
        if (recordPage(lease, bounds, libraryCookie, &contents, &annotations, &loadFailure)) {
            ctx = m_context->beginDrawing(lease);
            family = lease.family;
        }
        if (!ctx) {
            fz_drop_display_list(lease.context, contents);
            fz_drop_display_list(lease.context, annotations);
            contents = annotations = nullptr;
        }
        m_context->release(lease);
    }

    const int width = box.x1 - box.x0;
    const int height = box.y1 - box.y0;
    QImage image;
    QString failure;
    if (!ctx) {
        qWarning("create pixmap failed");
        failure = loadFailure.isEmpty() ? QStringLiteral("not enough memory to draw the page") : loadFailure;
    } else if (quint64(width) * quint64(height) * 4 > m_context->budget().ceiling) {
        // The image lies outside the library's budget, so the ceiling is applied here.
        qWarning("create pixmap failed");
        failure = QStringLiteral("the page is too large to draw at this size");
    } else if (!(cookie && cookie->isAborted())) {
        notePictureAreas(ctx, contents, bounds);
        image = ImageBuffers::allocate(width, height);
        if (image.isNull()) {
            qWarning("create pixmap failed");
            failure = QStringLiteral("not enough memory to draw the page");
        } else {
            // Drawing in B, G, R, A byte order fills the image's packed 0xAARRGGBB pixels in place.
            if (!rasterise(
                    ctx, contents, annotations, transform, box, image.bits(), libraryCookie, &failure)) {
                qWarning("create pixmap failed");
                image = QImage();
            }
        }
    }
    if (ctx) {
        fz_drop_display_list(ctx, contents);
        fz_drop_display_list(ctx, annotations);
        m_context->endDrawing(family, ctx);
    }
    if (cookie && cookie->isAborted()) {
        return {};
    }
    setFailure(image.isNull() ? (failure.isEmpty() ? QStringLiteral("unknown error") : failure) : QString());
    if (cache && !image.isNull()) {
        // Under the box asked for, which is the key later look-ups use.
        storeInCache(xres, yres, renderBox, image);
    }
    return image;
}

void Page::notePictureAreas(fz_context *ctx, fz_display_list *contents, const fz_rect &bounds) const
{
    {
        QMutexLocker locker(&m_foundMutex);
        if (m_picturesFound) {
            return;
        }
    }
    // Found outside the lock: two tiles of a new page may both look, and find the same.
    const QVector<QRectF> areas = findPictureAreas(ctx, contents, bounds);
    QMutexLocker locker(&m_foundMutex);
    if (!m_picturesFound) {
        m_pictureAreas = areas;
        m_picturesFound = true;
    }
}

QString Page::failureReason() const
{
    QMutexLocker locker(&m_foundMutex);
    return m_failure;
}

void Page::setFailure(const QString &failure) const
{
    QMutexLocker locker(&m_foundMutex);
    m_failure = failure;
}

QVector<QRectF> Page::pictureAreas() const
{
    {
        QMutexLocker locker(&m_foundMutex);
        if (m_picturesFound) {
            return m_pictureAreas;
        }
    }
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (m_loadFailed) {
        return {};
    }
    const fz_rect bounds { m_x0, m_y0, m_x1, m_y1 };
    const Context::Lease lease = m_context->acquire(m_document);
    fz_display_list *contents = nullptr;
    fz_display_list *annotations = nullptr;
    if (recordPage(lease, bounds, nullptr, &contents, &annotations)) {
        notePictureAreas(lease.context, contents, bounds);
    }
    fz_drop_display_list(lease.context, contents);
    fz_drop_display_list(lease.context, annotations);
    m_context->release(lease);
    QMutexLocker picturesLocker(&m_foundMutex);
    return m_pictureAreas;
}

bool Page::recordPage(const Context::Lease &lease, const fz_rect &bounds, fz_cookie *cookie,
    fz_display_list **contents, fz_display_list **annotations, QString *loadFailure) const
{
    fz_context *ctx = lease.context;
    fz_page *page = nullptr;
    bool loaded = false;
    fz_device *device = nullptr;
    fz_display_list *first = nullptr;
    fz_display_list *second = nullptr;
    bool owned = false;
    const QSet<int> hidden = hiddenAnnotations();
    fz_var(page);
    fz_var(owned);
    fz_var(device);
    fz_var(first);
    fz_var(second);
    fz_var(loaded);
    fz_try(ctx)
    {
        page = libraryPage(lease, &owned);
        loaded = true;
        // Without a second list, everything goes into the first.
        first = fz_new_display_list(ctx, bounds);
        device = fz_new_list_device(ctx, first);
        fz_run_page_contents(ctx, page, device, fz_identity, cookie);
        if (annotations) {
            fz_close_device(ctx, device);
            fz_drop_device(ctx, device);
            device = nullptr;
            second = fz_new_display_list(ctx, bounds);
            device = fz_new_list_device(ctx, second);
        }
        runAnnotations(ctx, page, device, cookie, hidden);
        fz_run_page_widgets(ctx, page, device, fz_identity, cookie);
        fz_close_device(ctx, device);
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, device);
        if (owned) {
            fz_drop_page(ctx, page);
        }
    }
    fz_catch(ctx)
    {
        qWarning("create display list failed");
        if (!loaded && loadFailure) {
            *loadFailure = QString::fromUtf8(fz_caught_message(ctx));
        }
        if (!annotations) {
            fz_drop_display_list(ctx, first);
            first = nullptr;
        }
    }
    *contents = first;
    if (annotations) {
        *annotations = second;
    }
    return loaded;
}

bool Page::ensureTextPage(int kind) const
{
    {
        QReadLocker locker(&m_lock);
        if (m_textBuilt[kind]) {
            return m_textPage[kind] != nullptr;
        }
    }
    QWriteLocker locker(&m_lock);
    if (m_textBuilt[kind]) {
        return m_textPage[kind] != nullptr;
    }
    m_textBuilt[kind] = true;
    if (m_loadFailed) {
        return false;
    }
    // The page runs straight into the text device: with replicas of the document, other threads
    // are not held up meanwhile, and a display list would only add a pass.
    const Context::Lease lease = m_context->acquire(m_document);
    fz_context *ctx = lease.context;
    const fz_rect bounds { m_x0, m_y0, m_x1, m_y1 };
    fz_page *page = nullptr;
    bool owned = false;
    fz_stext_page *textPage = nullptr;
    fz_device *device = nullptr;
    fz_var(page);
    fz_var(owned);
    fz_var(textPage);
    fz_var(device);
    fz_try(ctx)
    {
        fz_stext_options options {};
        options.flags = kind == SearchText ? FZ_STEXT_DEHYPHENATE : 0;
        page = libraryPage(lease, &owned);
        textPage = fz_new_stext_page(ctx, bounds);
        device = fz_new_stext_device(ctx, textPage, &options);
        fz_run_page(ctx, page, device, fz_identity, nullptr);
        fz_close_device(ctx, device);
    }
    fz_always(ctx)
    {
        fz_drop_device(ctx, device);
        if (owned) {
            fz_drop_page(ctx, page);
        }
    }
    fz_catch(ctx)
    {
        qWarning("create text page failed");
        fz_drop_stext_page(ctx, textPage);
        textPage = nullptr;
    }
    m_textFamily[kind] = lease.family;
    m_context->release(lease);
    m_textPage[kind] = textPage;
    locker.unlock();
    if (textPage) {
        // Older pages give their text back; the registry's own lock is not held meanwhile.
        TextPageRegistry &registry = m_context->textPages();
        const auto victims
            = registry.add(qSharedPointerConstCast<Backend::Page>(sharedFromThis()).toWeakRef());
        for (const auto &victim : victims) {
            if (!static_cast<const Page *>(victim.data())->dropTextPage()) {
                registry.keep(victim);
            }
        }
    }
    return textPage != nullptr;
}

fz_stext_page *Page::lockTextPage(QReadLocker &locker, int kind) const
{
    // The text may be given back between building it and reading it; then it is built again.
    for (int attempt = 0; attempt < 8 && !m_textPage[kind]; ++attempt) {
        locker.unlock();
        const bool built = ensureTextPage(kind);
        locker.relock();
        if (!built && !m_textPage[kind]) {
            return nullptr;
        }
    }
    return m_textPage[kind];
}

void Page::releaseTextPage(int kind) const
{
    if (m_textPage[kind]) {
        fz_context *ctx = m_context->clone(m_textFamily[kind]);
        if (ctx) {
            fz_drop_stext_page(ctx, m_textPage[kind]);
            fz_drop_context(ctx);
        }
    }
    m_textPage[kind] = nullptr;
    m_textFamily[kind].reset();
}

bool Page::dropTextPage() const
{
    if (!m_lock.tryLockForWrite()) {
        return false;
    }
    releaseTextPage(PlainText);
    releaseTextPage(SearchText);
    m_textBuilt[PlainText] = m_textBuilt[SearchText] = false;
    m_lock.unlock();
    return true;
}

QString Page::text(QVector<QRectF> &rects) const
{
    qDebug("Backend::MuPDF::Page::text");
    rects.clear();
    QString result;
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (fz_stext_page *textPage = lockTextPage(locker, PlainText)) {
        walkText(textPage, [&](QChar unit, const QRectF &rect) {
            result.append(unit);
            rects.append(rect);
        });
    }
    return result;
}

QList<TextBox> Page::textBoxes() const
{
    QList<TextBox> boxes;
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    if (fz_stext_page *textPage = lockTextPage(locker, PlainText)) {
        walkText(textPage, [&](QChar unit, const QRectF &rect) {
            TextBox box;
            box.rect = rect;
            box.character = unit;
            boxes.append(box);
        });
    }
    return boxes;
}

QString Page::selectedText(
    const QList<QRectF> &selection, QMap<int, QRectF> *wordBoxes, QMap<int, QRectF> *charBoxes) const
{
    if (wordBoxes) {
        wordBoxes->clear();
    }
    if (charBoxes) {
        charBoxes->clear();
    }
    QString result;
    const QList<TextBox> boxes = textBoxes();
    for (const TextBox &box : boxes) {
        if (selectionHolds(selection, box.rect)) {
            if (charBoxes) {
                charBoxes->insert(result.size(), box.rect);
            }
            result.append(box.character);
        }
    }
    return result.trimmed();
}

QVector<SearchResult> Page::search(const QString &text, int) const
{
    QVector<SearchResult> results;
    if (text.isEmpty()) {
        return results;
    }
    QReadLocker documentLocker(m_documentLock.data());
    QReadLocker locker(&m_lock);
    fz_stext_page *textPage = lockTextPage(locker, SearchText);
    if (!textPage) {
        return results;
    }
    constexpr int MaxHits = 1024;
    std::vector<fz_quad> quads(MaxHits);
    std::vector<int> marks(MaxHits, 0);
    const QByteArray needle = text.toUtf8();
    int count = 0;
    fz_var(count);
    // In the family that made the text, which the thread that made it most likely still works in;
    // another family's locks would be contended by whoever draws there.
    fz_context *ctx = m_context->clone(m_textFamily[SearchText]);
    if (!ctx) {
        return results;
    }
    fz_try(ctx)
    {
        count = fz_search_stext_page(ctx, textPage, needle.constData(), marks.data(), quads.data(), MaxHits);
    }
    fz_catch(ctx) { count = 0; }
    fz_drop_context(ctx);
    // A hit broken over lines comes as several quads; the first of each hit is marked.
    for (int i = 0; i < count; ++i) {
        const QRectF rect = toRect(fz_rect_from_quad(quads[size_t(i)]));
        if (marks[size_t(i)] || results.isEmpty()) {
            results.append(SearchResult { m_pageNumber, rect });
        } else {
            results.last().rect = results.last().rect.united(rect);
        }
    }
    return results;
}

QList<QSharedPointer<PdfAnnotation::Link>> Page::loadLinks()
{
    QReadLocker documentLocker(m_documentLock.data());
    QWriteLocker locker(&m_lock);
    if (m_linksLoaded || !m_parent || m_loadFailed) {
        return m_links;
    }
    m_linksLoaded = true;
    std::vector<LinkData> found;
    std::vector<LinkTarget> targets;
    {
        QMutexLocker libraryLocker(&m_context->mutex());
        fz_context *ctx = m_context->get();
        fz_link *links = nullptr;
        fz_var(links);
        fz_try(ctx)
        {
            bool owned = false;
            links = fz_load_links(ctx, libraryPage(Context::Lease { ctx, m_document, {} }, &owned));
        }
        fz_catch(ctx)
        {
            qWarning("Load links failed");
            links = nullptr;
        }
        for (fz_link *link = links; link; link = link->next) {
            LinkData data { toRect(link->rect), QByteArray(link->uri ? link->uri : "") };
            LinkTarget target;
            if (link->uri && !fz_is_external_link(ctx, link->uri)) {
                target = resolveLinkTarget(ctx, m_document, link->uri);
            }
            found.push_back(data);
            targets.push_back(target);
        }
        fz_drop_link(ctx, links);
    }
    const QWeakPointer<Backend::Page> self = sharedFromThis().toWeakRef();
    for (size_t i = 0; i < found.size(); ++i) {
        auto link = QSharedPointer<PdfAnnotation::Link>::create();
        link->setRect(found[i].rect);
        link->setPage(self);
        QMutexLocker libraryLocker(&m_context->mutex());
        const bool external = fz_is_external_link(m_context->get(), found[i].uri.constData());
        libraryLocker.unlock();
        if (external) {
            link->setAction(std::make_unique<PDFURIAction>(QUrl(QString::fromUtf8(found[i].uri))));
        } else {
            link->setAction(std::make_unique<PDFGotoAction>(
                PDFDestination(targets[i].page, QRectF(targets[i].x, targets[i].y, -1, -1))));
        }
        m_links.append(link);
    }
    return m_links;
}

} // namespace Backend::MuPDF
