#pragma once

#include <reading/basepage.h>

#include <QList>
#include <QPointer>

namespace Reviewing {

class Summary;
class SummaryLayout;

// A document page in the summary: only its annotated parts, one row each, stacked from its top. Its
// height is the height of its rows, so a page without annotations takes no space.
class Page final : public Base::Page
{
    Q_OBJECT

public:
    // The back-end page is made when a row first needs its image; `size` is in points.
    Page(const QSharedPointer<Backend::Document> &document, int pageNumber, double resolutionX,
        double resolutionY, const QSizeF &size, QGraphicsItem *parent = nullptr);
    ~Page() override;

    QRectF boundingRect() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;

    double height() const { return m_height; }
    // The rows in order; empty until the page is filled.
    QList<Summary *> summaries() const;
    SummaryLayout *layout() const;

    Nod::Presentation::NoteAreaLayout *createNoteAreaLayout() override;

    // Forgets the rendered excerpts of every row (the page went out of view).
    void dropImages();

signals:
    void heightChanged(double h);

public slots:
    void on_layout_heightChanged(double h);
    void on_imageReady();

private:
    double m_height = 0;
    QPointer<SummaryLayout> m_layout; // owned by whoever asked for it
};

} // namespace Reviewing
