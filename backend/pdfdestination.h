#pragma once

#include <QMetaType>
#include <QRectF>
#include <QString>

// Where a link or outline entry points: a page and a position on it, or a named destination.
class PDFDestination final
{
public:
    enum Kind { Explicit = 0 };

    PDFDestination() = default;
    PDFDestination(int pageNumber, const QRectF &rect, float zoom = -1.0f);

    static PDFDestination invalid();

    bool isValid() const { return m_pageNumber >= 0; }

    int pageNumber() const { return m_pageNumber; }
    void setPageNumber(int pageNumber) { m_pageNumber = pageNumber; }
    int kind() const { return m_kind; }
    void setKind(int kind) { m_kind = kind; }
    QString destinationName() const { return m_destinationName; }
    void setDestinationName(const QString &name) { m_destinationName = name; }
    // Page points; a width or height of -1 means "keep the view's size".
    QRectF rect() const { return m_rect; }
    void setRect(const QRectF &rect) { m_rect = rect; }
    // -1.0 keeps the current zoom.
    float zoom() const { return m_zoom; }
    void setZoom(float zoom) { m_zoom = zoom; }

    bool operator==(const PDFDestination &other) const;
    bool operator!=(const PDFDestination &other) const { return !(*this == other); }

private:
    int m_pageNumber = -1;
    int m_kind = Explicit;
    QString m_destinationName;
    QRectF m_rect { -1, -1, -1, -1 };
    float m_zoom = -1.0f;
};

Q_DECLARE_METATYPE(PDFDestination)
