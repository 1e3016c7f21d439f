#pragma once

#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QObject>

// A horizontal line being drawn by a line tool, a child of its page item. It is also an object so
// that the tool can hold it by a guarded pointer: a reload deletes the page and its children.
class LineItem final : public QObject, public QGraphicsLineItem
{
    Q_OBJECT

public:
    explicit LineItem(QGraphicsItem *parent = nullptr);

    // Darkens the page under it, or lightens it over a dark background, as stored marks do.
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
};

// The dashed frame around the unsaved lines of a line tool. It inverts what lies under it so that
// it shows on any page, and is hit only on its edge.
class Border final : public QObject, public QGraphicsRectItem
{
    Q_OBJECT

public:
    explicit Border(QGraphicsItem *parent = nullptr);

    QPainterPath shape() const override;
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *option, QWidget *widget) override;
};
