#pragma once

#include <QtGlobal>

#include <memory>

namespace Backend {

// Lets another thread abort a render in progress. The renderer polls the flag between drawing
// operations, so a page that would take seconds (or run out of memory) stops promptly.
class RenderCookie final
{
public:
    RenderCookie();
    ~RenderCookie();
    Q_DISABLE_COPY_MOVE(RenderCookie)

    // Any thread.
    void abort();
    bool isAborted() const;
    // Only while no render uses the cookie.
    void reset();

    // The library's cookie structure, for the renderer.
    void *get() const;

private:
    struct Data;
    std::unique_ptr<Data> m_data;
};

} // namespace Backend
