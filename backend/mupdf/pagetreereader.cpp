#include "pagetreereader.h"

#include <cmath>

namespace Backend::MuPDF {

namespace {

constexpr int MaxDepth = 64;
constexpr int KeptStreams = 4;

// Each library call that can throw is wrapped on its own, so that no C++ object lives in a frame
// a library error jumps over.

struct EntryInfo
{
    char type = 0;
    int stream = 0;
    int index = 0;
    bool cached = false;
};

bool entryOf(fz_context *ctx, pdf_document *pdf, int num, EntryInfo *info)
{
    bool ok = true;
    fz_var(ok);
    fz_try(ctx)
    {
        const pdf_xref_entry *entry = pdf_get_xref_entry(ctx, pdf, num);
        if (entry) {
            info->type = entry->type;
            info->stream = entry->type == 'o' ? int(entry->ofs) : 0;
            info->index = entry->gen;
            info->cached = entry->obj != nullptr;
        } else {
            ok = false;
        }
    }
    fz_catch(ctx) { ok = false; }
    return ok;
}

pdf_obj *loadObject(fz_context *ctx, pdf_document *pdf, int num)
{
    pdf_obj *obj = nullptr;
    fz_var(obj);
    fz_try(ctx) { obj = pdf_load_object(ctx, pdf, num); }
    fz_catch(ctx) { obj = nullptr; }
    return obj;
}

fz_buffer *readStream(fz_context *ctx, pdf_document *pdf, int num, int *count, int *first)
{
    fz_buffer *buffer = nullptr;
    pdf_obj *dict = nullptr;
    fz_var(buffer);
    fz_var(dict);
    fz_try(ctx)
    {
        dict = pdf_load_object(ctx, pdf, num);
        *count = pdf_dict_get_int(ctx, dict, PDF_NAME(N));
        *first = pdf_dict_get_int(ctx, dict, PDF_NAME(First));
        buffer = pdf_load_stream_number(ctx, pdf, num);
    }
    fz_always(ctx) { pdf_drop_obj(ctx, dict); }
    fz_catch(ctx)
    {
        fz_drop_buffer(ctx, buffer);
        buffer = nullptr;
    }
    return buffer;
}

// The stream's header: count pairs of object number and offset.
bool readHeader(fz_context *ctx, fz_buffer *buffer, int count, int *numbers, int *offsets)
{
    fz_stream *stm = nullptr;
    bool ok = true;
    pdf_lexbuf lexbuf;
    pdf_lexbuf_init(ctx, &lexbuf, PDF_LEXBUF_SMALL);
    fz_var(stm);
    fz_var(ok);
    fz_try(ctx)
    {
        stm = fz_open_buffer(ctx, buffer);
        for (int i = 0; i < count; ++i) {
            if (pdf_lex(ctx, stm, &lexbuf) != PDF_TOK_INT) {
                fz_throw(ctx, FZ_ERROR_GENERIC, "object stream header");
            }
            numbers[i] = int(lexbuf.i);
            if (pdf_lex(ctx, stm, &lexbuf) != PDF_TOK_INT) {
                fz_throw(ctx, FZ_ERROR_GENERIC, "object stream header");
            }
            offsets[i] = int(lexbuf.i);
        }
    }
    fz_always(ctx)
    {
        fz_drop_stream(ctx, stm);
        pdf_lexbuf_fin(ctx, &lexbuf);
    }
    fz_catch(ctx) { ok = false; }
    return ok;
}

pdf_obj *parseAt(fz_context *ctx, pdf_document *pdf, fz_buffer *buffer, int offset)
{
    fz_stream *stm = nullptr;
    pdf_obj *obj = nullptr;
    pdf_lexbuf lexbuf;
    pdf_lexbuf_init(ctx, &lexbuf, PDF_LEXBUF_SMALL);
    fz_var(stm);
    fz_var(obj);
    fz_try(ctx)
    {
        stm = fz_open_buffer(ctx, buffer);
        fz_seek(ctx, stm, offset, SEEK_SET);
        obj = pdf_parse_stm_obj(ctx, pdf, stm, &lexbuf);
    }
    fz_always(ctx)
    {
        fz_drop_stream(ctx, stm);
        pdf_lexbuf_fin(ctx, &lexbuf);
    }
    fz_catch(ctx) { obj = nullptr; }
    return obj;
}

} // namespace

PageTreeReader::PageTreeReader(fz_context *ctx, pdf_document *pdf)
    : m_ctx(ctx)
    , m_pdf(pdf)
    , m_objectCount(pdf_xref_len(ctx, pdf))
{ }

PageTreeReader::~PageTreeReader()
{
    for (const ObjectStream &stream : qAsConst(m_streams)) {
        fz_drop_buffer(m_ctx, stream.data);
    }
}

const PageTreeReader::ObjectStream &PageTreeReader::stream(int num)
{
    const auto found = m_streams.constFind(num);
    if (found != m_streams.constEnd()) {
        return *found;
    }
    // Page objects come in tree order, stream after stream: a few recent streams are enough, and
    // their buffers are reused by the allocator instead of new memory faulted in for each.
    if (m_streams.size() >= KeptStreams) {
        for (const ObjectStream &old : qAsConst(m_streams)) {
            fz_drop_buffer(m_ctx, old.data);
        }
        m_streams.clear();
    }
    ObjectStream &stream = m_streams[num];
    int count = 0;
    int first = 0;
    fz_buffer *data = readStream(m_ctx, m_pdf, num, &count, &first);
    if (!data) {
        return stream;
    }
    const int length = int(fz_buffer_storage(m_ctx, data, nullptr));
    // Each header entry takes at least four bytes ("1 0 ").
    if (count <= 0 || first <= 0 || first > length || count > first / 4) {
        fz_drop_buffer(m_ctx, data);
        return stream;
    }
    stream.numbers.resize(count);
    stream.offsets.resize(count);
    if (!readHeader(m_ctx, data, count, stream.numbers.data(), stream.offsets.data())) {
        fz_drop_buffer(m_ctx, data);
        stream.numbers.clear();
        stream.offsets.clear();
        return stream;
    }
    stream.data = data;
    stream.first = first;
    return stream;
}

pdf_obj *PageTreeReader::load(int num)
{
    EntryInfo entry;
    if (num <= 0 || num >= m_objectCount || !entryOf(m_ctx, m_pdf, num, &entry)) {
        return nullptr;
    }
    // An object the library already holds, or one of its own at a file offset, costs nothing to
    // ask for; only objects in streams are read here.
    if (entry.cached || entry.type != 'o') {
        return loadObject(m_ctx, m_pdf, num);
    }
    const ObjectStream &stream = this->stream(entry.stream);
    if (!stream.data || entry.index >= stream.numbers.size() || stream.numbers.at(entry.index) != num) {
        return loadObject(m_ctx, m_pdf, num);
    }
    const qint64 offset = qint64(stream.first) + stream.offsets.at(entry.index);
    if (stream.offsets.at(entry.index) < 0
        || offset >= qint64(fz_buffer_storage(m_ctx, stream.data, nullptr))) {
        return loadObject(m_ctx, m_pdf, num);
    }
    pdf_obj *obj = parseAt(m_ctx, m_pdf, stream.data, int(offset));
    return obj ? obj : loadObject(m_ctx, m_pdf, num);
}

bool PageTreeReader::read(QVector<QSizeF> &sizes)
{
    m_next = 0;
    pdf_obj *root = pdf_dict_getp(m_ctx, pdf_trailer(m_ctx, m_pdf), "Root/Pages");
    if (!pdf_is_dict(m_ctx, root)) {
        return false;
    }
    m_visited.insert(pdf_to_num(m_ctx, root));
    return walk(root, Inherited(), 0, sizes) && m_next == sizes.size();
}

bool PageTreeReader::walk(pdf_obj *node, Inherited inherited, int depth, QVector<QSizeF> &sizes)
{
    if (depth > MaxDepth) {
        return false;
    }
    if (pdf_obj *box = pdf_dict_get(m_ctx, node, PDF_NAME(MediaBox))) {
        inherited.mediaBox = box;
    }
    if (pdf_obj *box = pdf_dict_get(m_ctx, node, PDF_NAME(CropBox))) {
        inherited.cropBox = box;
    }
    if (pdf_obj *rotate = pdf_dict_get(m_ctx, node, PDF_NAME(Rotate))) {
        inherited.rotate = rotate;
    }
    pdf_obj *kids = pdf_dict_get(m_ctx, node, PDF_NAME(Kids));
    const int count = pdf_array_len(m_ctx, kids);
    for (int i = 0; i < count; ++i) {
        pdf_obj *kid = pdf_array_get(m_ctx, kids, i);
        if (!pdf_is_indirect(m_ctx, kid)) {
            return false;
        }
        const int num = pdf_to_num(m_ctx, kid);
        pdf_obj *child = load(num);
        if (!child) {
            return false;
        }
        bool ok = true;
        pdf_obj *type = pdf_dict_get(m_ctx, child, PDF_NAME(Type));
        const bool isNode = pdf_name_eq(m_ctx, type, PDF_NAME(Pages))
            || (!pdf_name_eq(m_ctx, type, PDF_NAME(Page))
                && pdf_is_array(m_ctx, pdf_dict_get(m_ctx, child, PDF_NAME(Kids))));
        if (isNode) {
            ok = !m_visited.contains(num);
            m_visited.insert(num);
            ok = ok && walk(child, inherited, depth + 1, sizes);
        } else if (m_next < sizes.size()) {
            sizes[m_next++] = pageSize(child, inherited);
        } else {
            ok = false;
        }
        pdf_drop_obj(m_ctx, child);
        if (!ok) {
            return false;
        }
    }
    return true;
}

QSizeF PageTreeReader::pageSize(pdf_obj *page, const Inherited &inherited) const
{
    pdf_obj *media = pdf_dict_get(m_ctx, page, PDF_NAME(MediaBox));
    pdf_obj *crop = pdf_dict_get(m_ctx, page, PDF_NAME(CropBox));
    pdf_obj *rotation = pdf_dict_get(m_ctx, page, PDF_NAME(Rotate));
    fz_rect box = pdf_to_rect(m_ctx, media ? media : inherited.mediaBox);
    if (fz_is_empty_rect(box)) {
        box = fz_make_rect(0, 0, 612, 792);
    }
    const fz_rect cropBox = pdf_to_rect(m_ctx, crop ? crop : inherited.cropBox);
    if (!fz_is_empty_rect(cropBox)) {
        box = fz_intersect_rect(box, cropBox);
    }
    double width = std::abs(box.x1 - box.x0);
    double height = std::abs(box.y1 - box.y0);
    if (width < 1 || height < 1) {
        width = height = 1;
    }
    pdf_obj *unit = pdf_dict_get(m_ctx, page, PDF_NAME(UserUnit));
    if (pdf_is_real(m_ctx, unit)) {
        width *= pdf_to_real(m_ctx, unit);
        height *= pdf_to_real(m_ctx, unit);
    }
    int rotate = pdf_to_int(m_ctx, rotation ? rotation : inherited.rotate);
    rotate = ((rotate % 360) + 360) % 360;
    rotate = 90 * ((rotate + 45) / 90) % 360;
    return rotate == 90 || rotate == 270 ? QSizeF(height, width) : QSizeF(width, height);
}

} // namespace Backend::MuPDF
