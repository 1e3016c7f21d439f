#include "pdfdestination.h"

namespace {
const int s_registered = qRegisterMetaType<PDFDestination>("PDFDestination");
}

PDFDestination::PDFDestination(int pageNumber, const QRectF &rect, float zoom)
    : m_pageNumber(pageNumber)
    , m_rect(rect)
    , m_zoom(zoom)
{ }

PDFDestination PDFDestination::invalid() { return PDFDestination(); }

bool PDFDestination::operator==(const PDFDestination &other) const
{
    return m_pageNumber == other.m_pageNumber && m_kind == other.m_kind
        && m_destinationName == other.m_destinationName && m_rect == other.m_rect
        && qFuzzyCompare(1.0f + m_zoom, 1.0f + other.m_zoom);
}
