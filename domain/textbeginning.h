#pragma once

#include <QString>

namespace Nod::Domain {

// The beginning of a stored text, read where only that much is shown, and how long the whole is.
struct TextBeginning
{
    QString text;
    qint64 storedBytes = 0;
    bool whole = true; // text is all of it
};

} // namespace Nod::Domain
