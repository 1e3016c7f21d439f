#pragma once

#include <backend/abstractannotation.h>

#include <QPolygonF>

#include <memory>

class PDFAction;

namespace PdfAnnotation {

// A link annotation: a page area and the action it runs when activated.
class Link final : public AbstractAnnotation
{
public:
    Link();
    ~Link() override;

    int type() const override { return AnnotationLink; }

    int highlightMode() const { return m_highlightMode; }
    QPolygonF quadPoints() const { return m_quadPoints; }
    // Owned by the link; may be null.
    const PDFAction *action() const { return m_action.get(); }
    void setAction(std::unique_ptr<PDFAction> action);

private:
    int m_highlightMode = 0;
    QPolygonF m_quadPoints;
    std::unique_ptr<PDFAction> m_action;
};

} // namespace PdfAnnotation
