#include "pdfannotations.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

namespace Nod::Exchange {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("Nod::Exchange::PdfAnnotations", text); }

// A library context used by one thread for one job. The library reports errors by jumping out of
// fz_try, so the code inside the try blocks below keeps no objects with destructors of its own.
class Context
{
public:
    Context()
        : m_ctx(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT))
    {
        if (m_ctx) {
            // Failures are reported to the caller; the library's own lines only go to the debug log.
            fz_set_error_callback(m_ctx, &Context::report, nullptr);
            fz_set_warning_callback(m_ctx, &Context::report, nullptr);
        }
    }
    ~Context()
    {
        if (m_ctx) {
            fz_drop_context(m_ctx);
        }
    }
    Q_DISABLE_COPY_MOVE(Context)
    fz_context *get() const { return m_ctx; }

private:
    static void report(void *, const char *message) { qDebug() << "MuPDF:" << message; }

    fz_context *m_ctx;
};

QColor colorOf(int n, const float *c, double alpha = 1)
{
    QColor color;
    switch (n) {
    case 1:
        color = QColor::fromRgbF(c[0], c[0], c[0]);
        break;
    case 3:
        color = QColor::fromRgbF(c[0], c[1], c[2]);
        break;
    case 4:
        color = QColor::fromCmykF(c[0], c[1], c[2], c[3]).toRgb();
        break;
    default:
        return {};
    }
    color.setAlphaF(qBound(0.0, alpha, 1.0));
    return color;
}

bool kindOf(enum pdf_annot_type type, PdfAnnotationRecord::Kind &kind)
{
    switch (type) {
    case PDF_ANNOT_HIGHLIGHT:
        kind = PdfAnnotationRecord::Highlight;
        return true;
    case PDF_ANNOT_UNDERLINE:
        kind = PdfAnnotationRecord::Underline;
        return true;
    case PDF_ANNOT_SQUIGGLY:
        kind = PdfAnnotationRecord::Squiggly;
        return true;
    case PDF_ANNOT_STRIKE_OUT:
        kind = PdfAnnotationRecord::StrikeOut;
        return true;
    case PDF_ANNOT_SQUARE:
        kind = PdfAnnotationRecord::Square;
        return true;
    case PDF_ANNOT_LINE:
        kind = PdfAnnotationRecord::Line;
        return true;
    case PDF_ANNOT_INK:
        kind = PdfAnnotationRecord::Ink;
        return true;
    case PDF_ANNOT_TEXT:
        kind = PdfAnnotationRecord::Text;
        return true;
    case PDF_ANNOT_CIRCLE:
        kind = PdfAnnotationRecord::Circle;
        return true;
    case PDF_ANNOT_FREE_TEXT:
        kind = PdfAnnotationRecord::FreeText;
        return true;
    default:
        return false;
    }
}

// Parts of a page or of another annotation rather than annotations of their own.
bool isAccessory(enum pdf_annot_type type)
{
    return type == PDF_ANNOT_POPUP || type == PDF_ANNOT_LINK || type == PDF_ANNOT_WIDGET;
}

enum pdf_annot_type typeOf(PdfAnnotationRecord::Kind kind)
{
    switch (kind) {
    case PdfAnnotationRecord::Highlight:
        return PDF_ANNOT_HIGHLIGHT;
    case PdfAnnotationRecord::Underline:
        return PDF_ANNOT_UNDERLINE;
    case PdfAnnotationRecord::Squiggly:
        return PDF_ANNOT_SQUIGGLY;
    case PdfAnnotationRecord::StrikeOut:
        return PDF_ANNOT_STRIKE_OUT;
    case PdfAnnotationRecord::Square:
        return PDF_ANNOT_SQUARE;
    case PdfAnnotationRecord::Line:
        return PDF_ANNOT_LINE;
    case PdfAnnotationRecord::Ink:
        return PDF_ANNOT_INK;
    case PdfAnnotationRecord::Text:
        return PDF_ANNOT_TEXT;
    case PdfAnnotationRecord::Circle:
        return PDF_ANNOT_CIRCLE;
    case PdfAnnotationRecord::FreeText:
        return PDF_ANNOT_FREE_TEXT;
    }
    return PDF_ANNOT_TEXT;
}

QRectF rectOf(fz_rect r) { return QRectF(QPointF(r.x0, r.y0), QPointF(r.x1, r.y1)).normalized(); }

// Reads one annotation; called inside a try block.
void readAnnotation(fz_context *ctx, pdf_annot *annot, PdfAnnotationRecord &record)
{
    record.objectNumber = pdf_to_num(ctx, pdf_annot_obj(ctx, annot));
    record.rect = rectOf(pdf_bound_annot(ctx, annot));
    record.opacity = pdf_annot_opacity(ctx, annot);
    record.width = pdf_annot_border(ctx, annot);
    const bool framed
        = record.kind == PdfAnnotationRecord::Square || record.kind == PdfAnnotationRecord::Circle;
    if (framed) {
        const double half = qMin(record.width / 2, qMin(record.rect.width(), record.rect.height()) / 4);
        record.rect.adjust(half, half, -half, -half);
    }
    int n = 0;
    float c[4] = { 0, 0, 0, 0 };
    pdf_annot_color(ctx, annot, &n, c);
    record.color = colorOf(n, c);
    if (framed && pdf_annot_has_interior_color(ctx, annot)) {
        n = 0;
        pdf_annot_interior_color(ctx, annot, &n, c);
        record.interior = colorOf(n, c);
    }
    if (record.kind == PdfAnnotationRecord::FreeText) {
        // The colour of free text is that of its letters; the annotation's own colour fills its box.
        record.interior = record.color;
        const char *font = nullptr;
        float size = 0;
        n = 0;
        pdf_annot_default_appearance(ctx, annot, &font, &size, &n, c);
        record.color = colorOf(n, c);
    }
    if (const char *contents = pdf_annot_contents(ctx, annot)) {
        record.contents = QString::fromUtf8(contents);
    }
    switch (record.kind) {
    case PdfAnnotationRecord::Highlight:
    case PdfAnnotationRecord::Underline:
    case PdfAnnotationRecord::Squiggly:
    case PdfAnnotationRecord::StrikeOut: {
        const int quads = pdf_annot_quad_point_count(ctx, annot);
        for (int i = 0; i < quads; ++i) {
            record.boxes.append(rectOf(fz_rect_from_quad(pdf_annot_quad_point(ctx, annot, i))));
        }
        break;
    }
    case PdfAnnotationRecord::Line: {
        fz_point a;
        fz_point b;
        pdf_annot_line(ctx, annot, &a, &b);
        record.lines.append(QLineF(a.x, a.y, b.x, b.y));
        break;
    }
    case PdfAnnotationRecord::Ink: {
        const int strokes = pdf_annot_ink_list_count(ctx, annot);
        for (int i = 0; i < strokes; ++i) {
            const int count = pdf_annot_ink_list_stroke_count(ctx, annot, i);
            for (int k = 1; k < count; ++k) {
                const fz_point a = pdf_annot_ink_list_stroke_vertex(ctx, annot, i, k - 1);
                const fz_point b = pdf_annot_ink_list_stroke_vertex(ctx, annot, i, k);
                record.lines.append(QLineF(a.x, a.y, b.x, b.y));
            }
        }
        break;
    }
    default:
        break;
    }
}

bool fail(QString *error, const QString &message)
{
    if (error) {
        *error = message;
    }
    return false;
}

// Each library call that can fail runs in a function of its own, so that no local variable of the
// caller lives across the library's jump back into a try block.

pdf_document *openPdf(fz_context *ctx, const char *fileName, QString *message)
{
    pdf_document *doc = nullptr;
    fz_var(doc);
    fz_try(ctx) { doc = pdf_open_document(ctx, fileName); }
    fz_catch(ctx)
    {
        *message = QString::fromUtf8(fz_caught_message(ctx));
        return nullptr;
    }
    return doc;
}

int pageCount(fz_context *ctx, pdf_document *doc)
{
    int pages = 0;
    fz_var(pages);
    fz_try(ctx) { pages = pdf_count_pages(ctx, doc); }
    fz_catch(ctx) { return 0; }
    return pages;
}

bool readOne(fz_context *ctx, pdf_annot *annot, PdfAnnotationRecord &record)
{
    fz_try(ctx) { readAnnotation(ctx, annot, record); }
    fz_catch(ctx) { return false; }
    return true;
}

bool readPage(fz_context *ctx, pdf_document *doc, int index, QVector<PdfAnnotationRecord> &records,
    QVector<SkippedPdfAnnotation> &skipped, QString *message)
{
    pdf_page *page = nullptr;
    fz_var(page);
    fz_try(ctx)
    {
        // Most pages have no annotations; only those that declare some are loaded.
        pdf_obj *pageObject = pdf_lookup_page_obj(ctx, doc, index);
        if (pdf_array_len(ctx, pdf_dict_get(ctx, pageObject, PDF_NAME(Annots))) > 0) {
            page = pdf_load_page(ctx, doc, index);
        }
    }
    fz_catch(ctx)
    {
        *message = QString::fromUtf8(fz_caught_message(ctx));
        return false;
    }
    if (!page) {
        return true;
    }
    // A damaged annotation is left out, not the others of its page.
    for (pdf_annot *annot = pdf_first_annot(ctx, page); annot; annot = pdf_next_annot(ctx, annot)) {
        const enum pdf_annot_type type = pdf_annot_type(ctx, annot);
        if (isAccessory(type)) {
            continue;
        }
        PdfAnnotationRecord record;
        record.page = index;
        record.subtype = QString::fromLatin1(pdf_string_from_annot_type(ctx, type));
        if (!kindOf(type, record.kind)) {
            skipped.append({ index, record.subtype, SkippedPdfAnnotation::OtherKind });
        } else if (readOne(ctx, annot, record)) {
            records.append(record);
        } else {
            skipped.append({ index, record.subtype, SkippedPdfAnnotation::Damaged });
        }
    }
    fz_drop_page(ctx, reinterpret_cast<fz_page *>(page));
    return true;
}

void fillAnnotation(fz_context *ctx, pdf_annot *annot, const PdfAnnotationRecord &record,
    const QByteArray &contents, const QByteArray &author)
{
    const QColor color = record.color.isValid() ? record.color.toRgb() : QColor(Qt::yellow);
    const float rgb[3] = { float(color.redF()), float(color.greenF()), float(color.blueF()) };
    pdf_set_annot_color(ctx, annot, 3, rgb);
    if (record.opacity < 1) {
        pdf_set_annot_opacity(ctx, annot, float(record.opacity));
    }
    switch (record.kind) {
    case PdfAnnotationRecord::Highlight:
    case PdfAnnotationRecord::Underline:
    case PdfAnnotationRecord::Squiggly:
    case PdfAnnotationRecord::StrikeOut:
        for (const QRectF &box : record.boxes) {
            pdf_add_annot_quad_point(ctx, annot,
                fz_quad_from_rect(fz_make_rect(
                    float(box.left()), float(box.top()), float(box.right()), float(box.bottom()))));
        }
        break;
    case PdfAnnotationRecord::Square:
    case PdfAnnotationRecord::Circle: {
        // The rectangle's border is drawn inside the annotation's box.
        const double half = record.width / 2;
        const QRectF box = record.rect.adjusted(-half, -half, half, half);
        pdf_set_annot_rect(ctx, annot,
            fz_make_rect(float(box.left()), float(box.top()), float(box.right()), float(box.bottom())));
        pdf_set_annot_border(ctx, annot, float(record.width));
        if (record.interior.isValid()) {
            const QColor fill = record.interior.toRgb();
            const float inside[3] = { float(fill.redF()), float(fill.greenF()), float(fill.blueF()) };
            pdf_set_annot_interior_color(ctx, annot, 3, inside);
        }
        break;
    }
    case PdfAnnotationRecord::Line:
        if (!record.lines.isEmpty()) {
            const QLineF line = record.lines.first();
            pdf_set_annot_line(ctx, annot, fz_make_point(float(line.x1()), float(line.y1())),
                fz_make_point(float(line.x2()), float(line.y2())));
        }
        pdf_set_annot_border(ctx, annot, float(record.width));
        break;
    case PdfAnnotationRecord::Ink:
        for (const QLineF &line : record.lines) {
            fz_point stroke[2] = { fz_make_point(float(line.x1()), float(line.y1())),
                fz_make_point(float(line.x2()), float(line.y2())) };
            pdf_add_annot_ink_list(ctx, annot, 2, stroke);
        }
        pdf_set_annot_border(ctx, annot, float(record.width));
        break;
    case PdfAnnotationRecord::Text:
        pdf_set_annot_rect(ctx, annot,
            fz_make_rect(float(record.rect.left()), float(record.rect.top()), float(record.rect.left() + 20),
                float(record.rect.top() + 20)));
        break;
    case PdfAnnotationRecord::FreeText:
        pdf_set_annot_rect(ctx, annot,
            fz_make_rect(float(record.rect.left()), float(record.rect.top()), float(record.rect.right()),
                float(record.rect.bottom())));
        break;
    }
    if (!contents.isEmpty()) {
        pdf_set_annot_contents(ctx, annot, contents.constData());
    }
    pdf_set_annot_author(ctx, annot, author.constData());
    pdf_update_annot(ctx, annot);
}

bool addAnnotation(fz_context *ctx, pdf_document *doc, const PdfAnnotationRecord &record,
    const QByteArray &contents, const QByteArray &author, QString *message)
{
    pdf_page *page = nullptr;
    pdf_annot *annot = nullptr;
    fz_var(page);
    fz_var(annot);
    fz_try(ctx)
    {
        page = pdf_load_page(ctx, doc, record.page);
        annot = pdf_create_annot(ctx, page, typeOf(record.kind));
        fillAnnotation(ctx, annot, record, contents, author);
    }
    fz_always(ctx)
    {
        pdf_drop_annot(ctx, annot);
        fz_drop_page(ctx, reinterpret_cast<fz_page *>(page));
    }
    fz_catch(ctx)
    {
        *message = QString::fromUtf8(fz_caught_message(ctx));
        return false;
    }
    return true;
}

// Takes the annotations named by object number off one page of the copy, with their popups.
bool removeAnnotations(
    fz_context *ctx, pdf_document *doc, int index, const QSet<int> &replaced, QString *message)
{
    pdf_page *page = nullptr;
    fz_var(page);
    fz_try(ctx)
    {
        // Only pages that hold one of them are loaded.
        pdf_obj *annots = pdf_dict_get(ctx, pdf_lookup_page_obj(ctx, doc, index), PDF_NAME(Annots));
        const int count = pdf_array_len(ctx, annots);
        bool holds = false;
        for (int i = 0; i < count && !holds; ++i) {
            holds = replaced.contains(pdf_to_num(ctx, pdf_array_get(ctx, annots, i)));
        }
        if (holds) {
            page = pdf_load_page(ctx, doc, index);
            pdf_annot *annot = pdf_first_annot(ctx, page);
            while (annot) {
                pdf_annot *next = pdf_next_annot(ctx, annot);
                if (replaced.contains(pdf_to_num(ctx, pdf_annot_obj(ctx, annot)))) {
                    pdf_delete_annot(ctx, page, annot);
                }
                annot = next;
            }
        }
    }
    fz_always(ctx) { fz_drop_page(ctx, reinterpret_cast<fz_page *>(page)); }
    fz_catch(ctx)
    {
        *message = QString::fromUtf8(fz_caught_message(ctx));
        return false;
    }
    return true;
}

bool savePdf(fz_context *ctx, pdf_document *doc, const char *fileName, QString *message)
{
    fz_try(ctx)
    {
        pdf_write_options options = pdf_default_write_options;
        options.do_compress = 1;
        options.do_garbage = 1;
        pdf_save_document(ctx, doc, fileName, &options);
    }
    fz_catch(ctx)
    {
        *message = QString::fromUtf8(fz_caught_message(ctx));
        return false;
    }
    return true;
}

} // namespace

bool readPdfAnnotations(const QString &path, QVector<PdfAnnotationRecord> &records, QString *error,
    QVector<SkippedPdfAnnotation> *skipped)
{
    records.clear();
    QVector<SkippedPdfAnnotation> left;
    Context context;
    fz_context *ctx = context.get();
    if (!ctx) {
        return fail(error, tr("Out of memory"));
    }
    QString message;
    pdf_document *doc = openPdf(ctx, QFile::encodeName(path).constData(), &message);
    if (!doc) {
        return fail(error, tr("%1 cannot be read as a PDF file: %2").arg(path, message));
    }
    bool ok = true;
    const int pages = pageCount(ctx, doc);
    for (int i = 0; i < pages; ++i) {
        // A damaged page loses its annotations, not the others'.
        if (!readPage(ctx, doc, i, records, left, &message)) {
            ok = false;
            fail(error, message);
        }
    }
    pdf_drop_document(ctx, doc);
    if (skipped) {
        *skipped = left;
    }
    return ok || !records.isEmpty();
}

bool writeAnnotatedPdf(const QString &source, const QString &target,
    const QVector<PdfAnnotationRecord> &records, QString *error, const QSet<int> &replaced)
{
    const QFileInfo from(source);
    const QFileInfo to(target);
    if (!from.isFile()) {
        return fail(error, tr("The document file %1 does not exist.").arg(source));
    }
    if (from.canonicalFilePath() == to.canonicalFilePath()
        || from.absoluteFilePath() == to.absoluteFilePath()) {
        return fail(error, tr("The annotated copy must not replace the document itself."));
    }
    Context context;
    fz_context *ctx = context.get();
    if (!ctx) {
        return fail(error, tr("Out of memory"));
    }

    // The copy is written under a name of its own beside the target, then renamed over it.
    QTemporaryFile partial(
        to.absoluteDir().filePath(QStringLiteral(".%1-XXXXXX.partial").arg(to.fileName())));
    if (!partial.open()) {
        return fail(error, tr("Cannot write in %1: %2").arg(to.absolutePath(), partial.errorString()));
    }
    partial.close();

    QString message;
    pdf_document *doc = openPdf(ctx, QFile::encodeName(source).constData(), &message);
    if (!doc) {
        return fail(error, tr("%1 cannot be read as a PDF file: %2").arg(source, message));
    }
    const QByteArray author = QCoreApplication::applicationName().toUtf8();
    const int pages = pageCount(ctx, doc);
    bool ok = true;
    for (int i = 0; ok && !replaced.isEmpty() && i < pages; ++i) {
        ok = removeAnnotations(ctx, doc, i, replaced, &message);
    }
    for (const PdfAnnotationRecord &record : records) {
        if (ok && record.page >= 0 && record.page < pages
            && !addAnnotation(ctx, doc, record, record.contents.toUtf8(), author, &message)) {
            ok = false;
        }
    }
    ok = ok && savePdf(ctx, doc, QFile::encodeName(partial.fileName()).constData(), &message);
    pdf_drop_document(ctx, doc);
    if (!ok) {
        return fail(error, tr("The annotated copy could not be written: %1").arg(message));
    }
    if (std::rename(QFile::encodeName(partial.fileName()).constData(),
            QFile::encodeName(to.absoluteFilePath()).constData())
        != 0) {
        return fail(error, tr("Cannot write %1").arg(target));
    }
    partial.setAutoRemove(false); // renamed away
    return true;
}

} // namespace Nod::Exchange
