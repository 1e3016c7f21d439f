#pragma once

#include <QColor>
#include <QList>
#include <QString>

#include <memory>

class PDFAction;

namespace Backend {

// One outline entry with its sub-entries; copies are deep.
class PDFToCItem final
{
public:
    PDFToCItem() = default;
    explicit PDFToCItem(const QString &label);
    PDFToCItem(const PDFToCItem &other);
    PDFToCItem &operator=(const PDFToCItem &other);
    PDFToCItem(PDFToCItem &&other) noexcept = default;
    PDFToCItem &operator=(PDFToCItem &&other) noexcept = default;
    ~PDFToCItem();

    QString label() const { return m_label; }
    void setLabel(const QString &label) { m_label = label; }
    bool isOpen() const { return m_open; }
    void setOpen(bool open) { m_open = open; }
    // May be null; owned by the item.
    const PDFAction *action() const { return m_action.get(); }
    void setAction(std::unique_ptr<PDFAction> action);
    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    const QList<PDFToCItem> &children() const { return m_children; }
    QList<PDFToCItem> &children() { return m_children; }
    int fontFlags() const { return m_fontFlags; }
    void setFontFlags(int flags) { m_fontFlags = flags; }

private:
    QString m_label;
    bool m_open = false;
    std::unique_ptr<PDFAction> m_action;
    QColor m_color;
    QList<PDFToCItem> m_children;
    int m_fontFlags = 0;
};

} // namespace Backend
