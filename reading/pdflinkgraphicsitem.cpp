#include "pdflinkgraphicsitem.h"

#include <reading/linkpolicy.h>

#include <backend/pdfaction.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPen>

PDFLinkGraphicsItem::PDFLinkGraphicsItem(
    const QSharedPointer<PdfAnnotation::Link> &link, QGraphicsItem *parent)
    : QGraphicsRectItem(link ? link->rect() : QRectF(), parent)
    , m_link(link)
{
    setPen(QPen(Qt::transparent));
    setAcceptHoverEvents(true);
    setAcceptedMouseButtons(Qt::LeftButton);
    setZValue(999999);
    retranslateUi();
}

void PDFLinkGraphicsItem::retranslateUi()
{
    const PDFAction *action = m_link ? m_link->action() : nullptr;
    if (!action) {
        setToolTip(QString());
        return;
    }
    switch (action->type()) {
    case PDFAction::ActionTypeGoTo: {
        const auto *goTo = static_cast<const PDFGotoAction *>(action);
        if (goTo->isRemote()) {
            setToolTip(QStringLiteral("<p>%1</p>").arg(goTo->fileName().toHtmlEscaped()));
        } else {
            setToolTip(QStringLiteral("<p>%1</p>")
                           .arg(QCoreApplication::translate("PDFLinkGraphicsItem", "Goto page %1")
                                    .arg(goTo->destination().pageNumber() + 1)));
        }
        break;
    }
    case PDFAction::ActionTypeURI:
        setToolTip(LinkPolicy::toolTipFor(static_cast<const PDFURIAction *>(action)->url()));
        break;
    default:
        setToolTip(QString());
        break;
    }
}

void PDFLinkGraphicsItem::hoverEnterEvent(QGraphicsSceneHoverEvent *event)
{
    Q_UNUSED(event);
    setCursor(Qt::PointingHandCursor);
}

void PDFLinkGraphicsItem::hoverLeaveEvent(QGraphicsSceneHoverEvent *event)
{
    Q_UNUSED(event);
    unsetCursor();
}

void PDFLinkGraphicsItem::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    m_activated = true;
    event->accept();
}

void PDFLinkGraphicsItem::mouseReleaseEvent(QGraphicsSceneMouseEvent *event)
{
    const bool activated = m_activated;
    m_activated = false;
    if (activated && contains(event->pos()) && m_link && m_link->action() && scene()) {
        QCoreApplication::postEvent(scene(), new PDFActionEvent(m_link->action()));
    }
}

PDFActionEvent::PDFActionEvent(const PDFAction *action)
    : QEvent(eventType())
    , m_action(action ? action->clone() : nullptr)
{ }

PDFActionEvent::~PDFActionEvent() { delete m_action; }

QEvent::Type PDFActionEvent::eventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
