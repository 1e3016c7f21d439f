#include "rootmindnodeitem.h"

#include <QGraphicsTextItem>
#include <QGuiApplication>
#include <QTextDocument>

namespace Nod::Presentation {

RootMindNodeItem::RootMindNodeItem(const QString &title, QGraphicsItem *parent)
    : MindNodeItem(parent)
    , m_text(new QGraphicsTextItem(this))
{
    QFont font = QGuiApplication::font();
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 2);
    } else {
        font.setPixelSize(font.pixelSize() * 2);
    }
    m_text->setFont(font);
    m_text->document()->setDocumentMargin(16);
    m_text->setPlainText(title);
    setHorizontalGap(120);
    updateGeometry();
}

QString RootMindNodeItem::title() const { return m_text->toPlainText(); }

void RootMindNodeItem::setTitle(const QString &title)
{
    if (title == m_text->toPlainText()) {
        return;
    }
    prepareGeometryChange();
    m_text->setPlainText(title);
    updateGeometry();
}

QRectF RootMindNodeItem::boundingRect() const { return m_text->boundingRect(); }

void RootMindNodeItem::paint(QPainter *, const QStyleOptionGraphicsItem *, QWidget *) { }

} // namespace Nod::Presentation
