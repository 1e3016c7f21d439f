#pragma once

#include <QHash>
#include <QSet>
#include <QSizeF>
#include <QVector>

#include <mupdf/pdf.h>

namespace Backend::MuPDF {

// Reads the size of every page of a PDF by walking its page tree, taking page objects straight
// from the object streams that hold them. The library, asked for one object of a stream, parses
// and keeps every object in it (links, fonts, annotations): for a long document that is nearly
// the whole file, when only the page dictionaries are needed to lay the pages out. Objects read
// here are dropped after use and the library's cache is left as it was.
//
// Sizes follow the library's own page transform: media box (inherited, US Letter when missing)
// clipped by the crop box, at least one point each way, scaled by a real UserUnit and turned by
// the inherited rotation snapped to quarter turns.
//
// Under the document's library mutex. Not reusable: one reader, one walk.
class PageTreeReader final
{
public:
    PageTreeReader(fz_context *ctx, pdf_document *pdf);
    ~PageTreeReader();
    Q_DISABLE_COPY_MOVE(PageTreeReader)

    // False when the tree cannot be read this way (damaged, cyclic, or holding another number of
    // pages than expected); sizes are then left unfinished and the caller asks the library page
    // by page.
    bool read(QVector<QSizeF> &sizes);

private:
    struct Inherited
    {
        pdf_obj *mediaBox = nullptr; // borrowed from a node of the walk
        pdf_obj *cropBox = nullptr;
        pdf_obj *rotate = nullptr;
    };
    struct ObjectStream
    {
        fz_buffer *data = nullptr; // decoded; null when the stream cannot be read
        int first = 0;
        QVector<int> numbers;
        QVector<int> offsets;
    };

    // A new reference to object num, or null.
    pdf_obj *load(int num);
    const ObjectStream &stream(int num);
    bool walk(pdf_obj *node, Inherited inherited, int depth, QVector<QSizeF> &sizes);
    QSizeF pageSize(pdf_obj *page, const Inherited &inherited) const;

    fz_context *m_ctx;
    pdf_document *m_pdf;
    int m_objectCount = 0;
    int m_next = 0; // the next page's index
    QHash<int, ObjectStream> m_streams;
    QSet<int> m_visited; // tree nodes, against cycles
};

} // namespace Backend::MuPDF
