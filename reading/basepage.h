#pragma once

#include <QGraphicsObject>
#include <QSharedPointer>
#include <QSizeF>
#include <QTransform>
#include <QWeakPointer>

namespace Backend {
class Document;
class Page;
} // namespace Backend

namespace Nod::Presentation {
class NoteAreaLayout;
}

namespace Base {

// One document page in a scene: its size in item units (points × resolution / 72), the transform
// from page points into item coordinates, and the note area beside it that widens the bounding
// rectangle (mode 1 right, 2 left, 3 both; the note area takes 30% of the total width).
class Page : public QGraphicsObject
{
    Q_OBJECT

public:
    enum { Type = UserType + 1 };
    enum NoteAreaMode { NoNoteArea = 0, RightNoteArea = 1, LeftNoteArea = 2, BothNoteAreas = 3 };

    // A page the back-end could not load keeps its place with fallbackSize (points), blank.
    Page(const QWeakPointer<Backend::Page> &page, int pageNumber, double resolutionX, double resolutionY,
        const QSizeF &fallbackSize = QSizeF(612, 792), QGraphicsItem *parent = nullptr);
    // A page of the document whose size (points) is known: its back-end page is made on first use,
    // so that a long document lays out without loading every page.
    Page(const QSharedPointer<Backend::Document> &document, int pageNumber, double resolutionX,
        double resolutionY, const QSizeF &size, QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }
    QRectF boundingRect() const override;

    // Null when the back-end cannot load the page.
    QWeakPointer<Backend::Page> page() const;
    int pageNumber() const { return m_pageNumber; }
    double resolutionX() const { return m_dpiX; }
    double resolutionY() const { return m_dpiY; }
    // Page points to item coordinates.
    QTransform pageTransform() const { return m_pointScale; }
    // The page without its note area, in item coordinates.
    QRectF pageRect() const { return QRectF(QPointF(0, 0), m_pageSize); }
    QSizeF pageSize() const { return m_pageSize; }
    double zoom() const { return m_zoom; }
    int noteAreaMode() const { return m_noteAreaMode; }
    void setNoteAreaMode(int mode);
    double noteAreaWidth() const;
    // The object that places this page's marks and notes for its note-area mode; the caller owns
    // it. Pages that show their annotations differently (the summary's rows) bring their own.
    virtual Nod::Presentation::NoteAreaLayout *createNoteAreaLayout();

signals:
    void requestPopulateChildren();

protected:
    mutable QWeakPointer<Backend::Page> m_page; // made by page() when a document is given
    QWeakPointer<Backend::Document> m_document;
    mutable bool m_pageRequested = false;
    double m_dpiX;
    double m_dpiY;
    QTransform m_pointScale;
    double m_zoom = 1.0;
    QSizeF m_pageSize;
    int m_pageNumber = -1;
    int m_noteAreaMode = NoNoteArea;
};

} // namespace Base
