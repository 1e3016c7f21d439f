#include "document.h"

#include <backend/mupdf/context.h>
#include <backend/mupdf/page.h>
#include <backend/mupdf/pagetreereader.h>
#include <backend/pdfaction.h>

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QUrl>

#include <utility>

namespace Backend::MuPDF {

namespace {

// An external target carries a URI action, as links do, rather than a go-to action to nowhere.
std::unique_ptr<PDFAction> outlineAction(fz_context *ctx, fz_document *doc, fz_outline *node)
{
    if (node->uri && fz_is_external_link(ctx, node->uri)) {
        return std::make_unique<PDFURIAction>(QUrl(QString::fromUtf8(node->uri)));
    }
    LinkTarget target;
    if (node->uri) {
        target = resolveLinkTarget(ctx, doc, node->uri);
    }
    return std::make_unique<PDFGotoAction>(PDFDestination(target.page, QRectF(target.x, target.y, 0, 0)));
}

// Recursion depth is bounded by the library, which refuses cyclic outlines.
void convertOutline(fz_context *ctx, fz_document *doc, fz_outline *node, QList<PDFToCItem> &items)
{
    for (; node; node = node->next) {
        PDFToCItem item(QString::fromUtf8(node->title ? node->title : ""));
        item.setOpen(node->is_open);
        item.setAction(outlineAction(ctx, doc, node));
        items.append(item);
        if (node->down) {
            convertOutline(ctx, doc, node->down, items.last().children());
        }
    }
}

QSizeF validSize(const fz_rect &bounds)
{
    return fz_is_valid_rect(bounds) ? QSizeF(bounds.x1 - bounds.x0, bounds.y1 - bounds.y0) : QSizeF();
}

// A PDF page's size is in its page object; empty when the object is damaged or missing.
QSizeF pageObjectSize(fz_context *ctx, pdf_document *pdf, int index)
{
    fz_rect bounds = fz_empty_rect;
    fz_var(bounds);
    fz_try(ctx)
    {
        fz_rect mediabox = fz_empty_rect;
        fz_matrix transform = fz_identity;
        pdf_page_obj_transform(ctx, pdf_lookup_page_obj(ctx, pdf, index), &mediabox, &transform);
        bounds = fz_transform_rect(mediabox, transform);
    }
    fz_catch(ctx) { bounds = fz_empty_rect; }
    return validSize(bounds);
}

QSizeF loadedPageSize(fz_context *ctx, fz_document *document, int index)
{
    fz_page *page = nullptr;
    fz_rect bounds = fz_empty_rect;
    fz_var(page);
    fz_var(bounds);
    fz_try(ctx)
    {
        page = fz_load_page(ctx, document, index);
        bounds = fz_bound_page(ctx, page);
    }
    fz_always(ctx) { fz_drop_page(ctx, page); }
    fz_catch(ctx) { bounds = fz_empty_rect; }
    return validSize(bounds);
}

} // namespace

Document::Document(const QString &fileName, size_t memoryCeiling, const QString &password)
    : Backend::Document(fileName)
    , m_context(new Context(memoryCeiling ? memoryCeiling : Context::DefaultMemoryCeiling))
    , m_password(password)
{
    if (m_context->isNull()) {
        qFatal("Can't create Locker context");
    }
    reload();
}

Document::~Document()
{
    stopProcessing();
    QWriteLocker locker(m_lock.data());
    detachPages();
    closeLibraryDocument();
}

void Document::closeLibraryDocument()
{
    m_context->setDocument(nullptr, QString(), QString(), false);
    QMutexLocker libraryLocker(&m_context->mutex());
    fz_drop_document(m_context->get(), m_document);
    m_document = nullptr;
    m_pageCount = 0;
}

bool Document::isValid() const
{
    QReadLocker locker(m_lock.data());
    return m_document != nullptr;
}

bool Document::isLocked() const
{
    QReadLocker locker(m_lock.data());
    return m_document != nullptr && m_lockState == Locked;
}

int Document::lockState() const
{
    QReadLocker locker(m_lock.data());
    return m_lockState;
}

bool Document::reload()
{
    m_processingThread.cancelRequests();
    QWriteLocker locker(m_lock.data());
    detachPages();
    m_pageCache.clear();
    {
        QMutexLocker pagesLocker(&m_pagesMutex);
        m_knownSizes.clear();
    }
    if (m_document) {
        closeLibraryDocument();
    }
    m_pageCount = 0;

    QMutexLocker libraryLocker(&m_context->mutex());
    fz_context *ctx = m_context->get();
    QElapsedTimer timer;
    timer.start();

    const QByteArray path = QFile::encodeName(m_fileName);
    const QByteArray magic = formatMagic(m_fileName);
    fz_stream *stream = nullptr;
    fz_document *document = nullptr;
    fz_var(stream);
    fz_var(document);
    fz_try(ctx)
    {
        stream = fz_open_file(ctx, path.constData());
        document = fz_open_document_with_stream(ctx, magic.constData(), stream);
    }
    fz_always(ctx) { fz_drop_stream(ctx, stream); }
    fz_catch(ctx)
    {
        qWarning("Open document failed: %s", fz_caught_message(ctx));
        document = nullptr;
    }
    if (!document) {
        return false;
    }
    qInfo("open document: %s %lld ms", qUtf8Printable(m_fileName), static_cast<long long>(timer.elapsed()));

    int pageCount = 0;
    int lockState = NoPassword;
    int objects = -1;
    fz_var(pageCount);
    fz_var(lockState);
    fz_var(objects);
    fz_try(ctx)
    {
        if (fz_needs_password(ctx, document)) {
            lockState = Locked;
            if (!m_password.isEmpty()
                && fz_authenticate_password(ctx, document, m_password.toUtf8().constData())) {
                lockState = Unlocked;
            }
        }
        pageCount = fz_count_pages(ctx, document);
        if (pdf_document *pdf = pdf_specifics(ctx, document)) {
            objects = pdf_xref_len(ctx, pdf);
        }
    }
    fz_catch(ctx)
    {
        qWarning("Count pages failed: %s", fz_caught_message(ctx));
        pageCount = 0;
    }
    // A PDF states its page count; every page is an object of its own, so a count beyond the
    // objects in the file is a lie. The pages past the end are reported missing when asked for.
    if (objects >= 0 && pageCount > objects) {
        qWarning("Page count %d exceeds the %d objects of the file", pageCount, objects);
        pageCount = objects;
    }
    m_document = document;
    m_lockState = lockState;
    m_pageCount = qMax(0, pageCount);
    char format[64] = {};
    fz_try(ctx) { fz_lookup_metadata(ctx, document, FZ_META_FORMAT, format, sizeof format); }
    fz_catch(ctx) { format[0] = 0; }
    m_context->setDocument(
        document, m_fileName, m_password, lockState != Locked && qstrncmp(format, "PDF", 3) == 0);
    return true;
}

std::function<QSharedPointer<Backend::Document>()> Document::reopener() const
{
    QReadLocker locker(m_lock.data());
    const QString fileName = m_fileName;
    const QString password = m_password;
    const size_t ceiling = m_context->budget().ceiling;
    return [fileName, password, ceiling] {
        QSharedPointer<Backend::Document> copy(new Document(fileName, ceiling, password));
        return copy->isValid() ? copy : QSharedPointer<Backend::Document>();
    };
}

bool Document::adopt(Backend::Document &other)
{
    auto *copy = dynamic_cast<Document *>(&other);
    if (!copy || copy == this || copy->fileName() != m_fileName) {
        return false;
    }
    m_processingThread.cancelRequests();
    copy->m_processingThread.cancelRequests();
    QWriteLocker locker(m_lock.data());
    QWriteLocker copyLocker(copy->m_lock.data());
    detachPages();
    copy->detachPages();
    m_pageCache.clear();
    if (m_document) {
        closeLibraryDocument();
    }
    // The library document belongs to the context it was opened in, so the two go together; the
    // copy keeps this document's old context, now without a document, and drops it when it goes.
    std::swap(m_context, copy->m_context);
    std::swap(m_document, copy->m_document);
    m_lockState = copy->m_lockState;
    m_pageCount = std::exchange(copy->m_pageCount, 0);
    QMutexLocker pagesLocker(&m_pagesMutex);
    QMutexLocker copyPagesLocker(&copy->m_pagesMutex);
    m_knownSizes = std::exchange(copy->m_knownSizes, {});
    return true;
}

QByteArray Document::formatMagic(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("epub"), Qt::CaseInsensitive) == 0) {
        return fileName.toLatin1();
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // A book is a zip archive.
    const QByteArray head = file.read(4);
    if (head.startsWith("%PDF")) {
        return QByteArrayLiteral("application/pdf");
    }
    if (head.startsWith("PK\x03\x04")) {
        return QByteArrayLiteral("application/epub+zip");
    }
    return {};
}

bool Document::unlock(const QString &password)
{
    bool accepted = false;
    {
        QWriteLocker locker(m_lock.data());
        if (!m_document) {
            return false;
        }
        QMutexLocker libraryLocker(&m_context->mutex());
        fz_context *ctx = m_context->get();
        const QByteArray utf8 = password.toUtf8();
        fz_var(accepted);
        fz_try(ctx) { accepted = fz_authenticate_password(ctx, m_document, utf8.constData()) != 0; }
        fz_catch(ctx) { accepted = false; }
        if (accepted) {
            m_password = password;
        }
    }
    reload();
    return accepted;
}

QList<PDFToCItem> Document::toc() const
{
    QList<PDFToCItem> items;
    QReadLocker locker(m_lock.data());
    if (!m_document || m_lockState == Locked) {
        return items;
    }
    QMutexLocker libraryLocker(&m_context->mutex());
    fz_context *ctx = m_context->get();
    fz_outline *outline = nullptr;
    fz_var(outline);
    fz_try(ctx) { outline = fz_load_outline(ctx, m_document); }
    fz_catch(ctx)
    {
        fz_warn(ctx, "Couldn't load outline");
        qInfo("Couldn't load outline");
        return items;
    }
    // The conversion is C++ and must not run inside a library try block; the library calls it
    // makes guard themselves.
    convertOutline(ctx, m_document, outline, items);
    fz_drop_outline(ctx, outline);
    return items;
}

QVector<QSizeF> Document::pageSizes()
{
    QReadLocker locker(m_lock.data());
    {
        // Read once per opening, often on the thread that opened the file.
        QMutexLocker pagesLocker(&m_pagesMutex);
        if (!m_knownSizes.isEmpty() && m_knownSizes.size() == m_pageCount) {
            return m_knownSizes;
        }
    }
    QVector<QSizeF> sizes(qMax(0, m_pageCount));
    if (!m_document || m_lockState == Locked || sizes.isEmpty()) {
        return sizes;
    }
    QMutexLocker libraryLocker(&m_context->mutex());
    fz_context *ctx = m_context->get();
    pdf_document *pdf = pdf_specifics(ctx, m_document);
    if (!pdf || !PageTreeReader(ctx, pdf).read(sizes)) {
        // A damaged page tree, or a reflowed document (its laid-out pages are cheap to load): the
        // library's own look-up, page by page.
        if (pdf) {
            qInfo("page tree not read in bulk, page by page instead: %s", qUtf8Printable(m_fileName));
        }
        for (int i = 0; i < sizes.size(); ++i) {
            sizes[i] = pdf ? pageObjectSize(ctx, pdf, i) : loadedPageSize(ctx, m_document, i);
        }
    }
    QMutexLocker pagesLocker(&m_pagesMutex);
    m_knownSizes = sizes;
    return sizes;
}

QSharedPointer<Backend::Page> Document::createPage(int index)
{
    const QSizeF known = index < m_knownSizes.size() ? m_knownSizes.at(index) : QSizeF();
    QSharedPointer<Page> page(new Page(this, index, known));
    if (!page->isLoaded()) {
        m_pageFailures[index] = page->failureReason();
        return {};
    }
    m_pageFailures.erase(index);
    return page;
}

} // namespace Backend::MuPDF
