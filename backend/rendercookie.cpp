#include "rendercookie.h"

#include <mupdf/fitz.h>

namespace Backend {

struct RenderCookie::Data
{
    fz_cookie cookie {};
};

RenderCookie::RenderCookie()
    : m_data(new Data)
{ }

void *RenderCookie::get() const { return &m_data->cookie; }

RenderCookie::~RenderCookie() = default;

void RenderCookie::abort()
{
    // The library reads the plain int between operations; a volatile store is what it expects.
    *static_cast<volatile int *>(&m_data->cookie.abort) = 1;
}

bool RenderCookie::isAborted() const
{
    return *static_cast<volatile const int *>(&m_data->cookie.abort) != 0;
}

void RenderCookie::reset() { m_data->cookie = fz_cookie {}; }

} // namespace Backend
