#pragma once

#include <backend/link.h>

#include <QEvent>
#include <QGraphicsRectItem>
#include <QSharedPointer>

class PDFAction;

// An invisible clickable rectangle over a link of a page. A press and a release inside it post a
// PDFActionEvent to the scene, which hands the action to the view; the view decides what is safe to
// do with it. The tool tip is rich text with the address escaped.
class PDFLinkGraphicsItem final : public QGraphicsRectItem
{
public:
    enum { Type = UserType + 3 };

    PDFLinkGraphicsItem(const QSharedPointer<PdfAnnotation::Link> &link, QGraphicsItem *parent = nullptr);

    int type() const override { return Type; }
    QSharedPointer<PdfAnnotation::Link> link() const { return m_link; }
    void retranslateUi();

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent *event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent *event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent *event) override;

private:
    QSharedPointer<PdfAnnotation::Link> m_link;
    bool m_activated = false;
};

// Carries a link's action to the scene; the event owns a copy of the action.
class PDFActionEvent final : public QEvent
{
public:
    explicit PDFActionEvent(const PDFAction *action);
    ~PDFActionEvent() override;
    static QEvent::Type eventType();
    const PDFAction *action() const { return m_action; }

private:
    PDFAction *m_action; // owned
};
