#pragma once

#include <QColor>
#include <QDateTime>
#include <QRectF>
#include <QString>
#include <QWeakPointer>

namespace Backend {
class Page;
}

namespace PdfAnnotation {

// An annotation of a document page, in page points.
class AbstractAnnotation
{
public:
    enum AnnotationType { AnnotationLink = 1 };

    virtual ~AbstractAnnotation();

    virtual int type() const = 0;
    virtual bool isMarkup() const { return false; }
    virtual QRectF rect() const { return m_rect; }
    virtual QString contents() const { return m_contents; }
    virtual QWeakPointer<Backend::Page> page() const { return m_page; }
    virtual QString name() const { return m_name; }
    virtual QDateTime lastModified() const { return m_lastModified; }
    virtual int &flagsRef() { return m_flags; }
    virtual int flags() const { return m_flags; }
    virtual QColor color() const { return m_color; }
    virtual void setRect(const QRectF &rect) { m_rect = rect; }
    virtual void setContents(const QString &contents) { m_contents = contents; }
    virtual void setPage(const QWeakPointer<Backend::Page> &page) { m_page = page; }
    virtual void setName(const QString &name) { m_name = name; }
    virtual void setLastModified(const QDateTime &dateTime) { m_lastModified = dateTime; }
    virtual void setColor(const QColor &color) { m_color = color; }

protected:
    AbstractAnnotation() = default;
    Q_DISABLE_COPY_MOVE(AbstractAnnotation)

private:
    QRectF m_rect;
    QString m_contents;
    QWeakPointer<Backend::Page> m_page;
    QString m_name;
    QDateTime m_lastModified;
    int m_flags = 0;
    QColor m_color;
};

} // namespace PdfAnnotation
