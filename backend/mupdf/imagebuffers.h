#pragma once

#include <QImage>

namespace Backend::MuPDF {

// Pixel memory for rendered pages, recycled. A page image is several megabytes; fresh memory of
// that size comes from the system as untouched pages, and faulting them in costs about as much as
// drawing the page, and more when two render threads fault at once. Fresh buffers of that size are
// mapped in large pages where the kernel gives them; buffers released by their last image go back
// to a small bounded pool for the next render of the same size.
namespace ImageBuffers {

// An uninitialised ARGB32 image on recycled memory; null when memory is short. Thread-safe.
QImage allocate(int width, int height);

} // namespace ImageBuffers

} // namespace Backend::MuPDF
