#include "document.h"

#include <QFileInfo>

namespace Nod::Domain {

Document::Document(int id, const QString &title)
    : m_id(id)
    , m_title(title)
{ }

void Document::setLocalUrl(const QString &path)
{
    const QFileInfo info(path);
    m_localUrl = path.isEmpty() || info.isRelative() ? path : info.absoluteFilePath();
}

QByteArray Document::siderBarStateData() const { return m_lastRead.encode(); }

void Document::setSiderBarStateData(const QByteArray &bytes) { m_lastRead = LastRead::decode(bytes); }

} // namespace Nod::Domain
