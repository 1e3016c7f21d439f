#include "pdftocitem.h"

#include <backend/pdfaction.h>

namespace Backend {

PDFToCItem::PDFToCItem(const QString &label)
    : m_label(label)
{ }

PDFToCItem::PDFToCItem(const PDFToCItem &other)
    : m_label(other.m_label)
    , m_open(other.m_open)
    , m_action(other.m_action ? other.m_action->clone() : nullptr)
    , m_color(other.m_color)
    , m_children(other.m_children)
    , m_fontFlags(other.m_fontFlags)
{ }

PDFToCItem &PDFToCItem::operator=(const PDFToCItem &other)
{
    if (this != &other) {
        PDFToCItem copy(other);
        *this = std::move(copy);
    }
    return *this;
}

PDFToCItem::~PDFToCItem() = default;

void PDFToCItem::setAction(std::unique_ptr<PDFAction> action) { m_action = std::move(action); }

} // namespace Backend
