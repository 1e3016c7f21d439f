#include "describe.h"

#include <QDebug>
#include <QMetaEnum>

namespace Nod::Application {

namespace {
template <typename T> QString debugText(const T &value)
{
    QString text;
    QDebug(&text).nospace() << value;
    return text;
}
} // namespace

QString describe(const Domain::Marker &marker)
{
    const char *outline = QMetaEnum::fromType<Domain::Marker::OutlineType>().valueToKey(marker.outline());
    return QStringLiteral("Marker(%1,%2,%3,%4)")
        .arg(debugText(marker.shape()), QString::fromLatin1(outline ? outline : "?"), debugText(marker.pen()),
            debugText(marker.brush()));
}

} // namespace Nod::Application
