#pragma once

#include <QString>

namespace Nod::Library {

enum class DocumentFormat { Unsupported, Pdf, Epub };

// What a file holds, told by its content and never by its name. An EPUB is a zip archive whose
// container names a package that is in the archive, and whose package lists chapters that are
// there too: the reader cannot open one without them. A leading "mimetype" entry is not needed,
// as many generated books lack it.
DocumentFormat documentFormat(const QString &path);

} // namespace Nod::Library
