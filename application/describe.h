#pragma once

#include <domain/marker.h>

#include <QString>

namespace Nod::Application {

// How a Marker reads in the log: "Marker(shape,outline,pen,brush)".
QString describe(const Domain::Marker &marker);

} // namespace Nod::Application
